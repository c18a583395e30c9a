#include "output_file.h"

#include "norvik.h"

namespace fileio {

namespace {

// Replacing an existing file is made durable: its old content is at stake.
bool durable(const Target &target)
{
    return target.exists();
}

} // namespace

OutputFile::OutputFile(const char *target, const struct stat &source, Workspace &workspace)
    : target_(target, source),
      replacement_(target_),
      status_(target_.status() != NORVIK_OK ? target_.status() : replacement_.status()),
      writer_(workspace.writer)
{
    writer_.begin(replacement_.fd(), durable(target_));
}

OutputFile::~OutputFile()
{
    writer_.end();
}

int OutputFile::commit()
{
    if (!writer_.finish())
        return NORVIK_TARGET_ERROR;
    return replacement_.commit(target_, durable(target_));
}

} // namespace fileio
