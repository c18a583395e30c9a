// The worker's side of a sweep: a process of its own that measures one library
// on one file, so that a library that crashes, exits or hangs takes only its
// own row with it.
#pragma once

#include <QStringList>

// Arguments: the library, the file's name in hexadecimal (its bytes as the
// system gave them), a folder for the work, the number of runs, of warm-up
// calls, and the least seconds of timed calls. Copies the file into the
// folder, hands the library only the copy, compresses it (the warm-up calls
// uncounted, then the runs, then more until the seconds are reached), then
// decompresses the result the same way, checking every result against the
// user's file. Reports to the sweep a line at a time on the standard output
// it was started with; the library's standard output goes to standard error
// instead:
//   loaded FILE                    the library file the loader took
//   call compress|decompress RUN   before a call (RUN 0 for a warm-up call)
//   took WALL_NS CPU_NS FAULTS     after a timed one
//   peak compress|decompress KIB   after a direction's calls: the most memory
//                                  they held above what the worker held before
//   size BYTES                     once every compression went through
//   failed REASON | mismatch RUN   and then nothing more
//   peak KIB                       at the end of a row that went through
int runWorker(const QStringList &arguments);
