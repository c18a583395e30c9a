// The target side of a run: a replacement for the target, written block by
// block, that becomes the target only when the run commits it.
#pragma once

#include "block_writer.h"
#include "replacement.h"
#include "target.h"
#include "workspace.h"

#include <cstddef>
#include <span>
#include <sys/stat.h>

namespace fileio {

class OutputFile {
public:
    // Judges `target` (see Target) against the file described by `source`, and
    // creates the replacement, to be written through the workspace's writer.
    OutputFile(const char *target, const struct stat &source, Workspace &workspace);

    // NORVIK_OK once the replacement is open, else why it could not be.
    int status() const { return status_; }
    // Nothing writes to the replacement any more, whatever happened.
    ~OutputFile();

    std::span<char> space() { return writer_.space(); }
    bool advance(std::size_t size, bool ending) { return writer_.advance(size, ending); }
    // The output should come to about `size` bytes (see BlockWriter::expect).
    void expect(unsigned long long size) { writer_.expect(size); }

    // Writes what is left and gives the replacement the target's name.
    // Returns NORVIK_OK or why not; on failure the target is as it was.
    int commit();

private:
    Target target_;
    Replacement replacement_;
    int status_;
    BlockWriter &writer_;
};

} // namespace fileio
