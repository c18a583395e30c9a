// The worker's side of a sweep: a process of its own that measures one library
// on one file, so that a library that crashes, exits or hangs takes only its
// own row with it.
#pragma once

#include <QStringList>

// Arguments: the library, the file, a folder for the outputs, the number of
// runs. Compresses the file that many times, then decompresses it that many
// times, checking every result against the file, and tells the sweep what
// happens on standard output, a line at a time:
//   call compress|decompress RUN   before a call
//   took WALL_NS CPU_NS            after it
//   failed REASON | mismatch RUN   and then nothing more
//   size BYTES, peak KIB           at the end of a row that went through
int runWorker(const QStringList &arguments);
