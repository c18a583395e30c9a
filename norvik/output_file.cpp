#include "output_file.h"

#include "norvik.h"

namespace norvik {

namespace {

static_assert(Workspace::BufferSize >= BlockWriter::BlockSize);

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
      writer_(replacement_.fd(), durable(target_), workspace.blocks[0].get(), workspace.blocks[1].get())
{
}

int OutputFile::commit()
{
    if (!writer_.finish())
        return NORVIK_TARGET_ERROR;
    return replacement_.commit(target_, durable(target_));
}

} // namespace norvik
