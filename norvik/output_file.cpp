#include "output_file.h"

#include "norvik.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <system_error>
#include <unistd.h>

namespace norvik {

namespace {

constexpr std::size_t BlockSize = std::size_t(1) << 20;

// Where the target really is: a symlink is followed, so the file it names is
// replaced and the link stays.
std::string resolveTarget(const char *target)
{
    struct stat link {};
    if (::lstat(target, &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char *real = ::realpath(target, nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return target;
}

std::string folderOf(const std::string &path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name beside the target, short enough for any file system. The
// letters come from the system's random source (no generator of the standard
// library, whose template code would become visible in the library's exports).
std::string temporaryName(const std::string &target, std::random_device &random)
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = "." + nameOf(target).substr(0, 200) + ".";
    for (int i = 0; i < 8; ++i)
        name += letters[random() % (sizeof letters - 1)];
    name += ".part";
    std::string folder = folderOf(target);
    return (folder == "/" ? "/" : folder + "/") + name;
}

} // namespace

OutputFile::OutputFile(const char *target, const struct stat &source)
    : status_(NORVIK_TARGET_ERROR), final_(resolveTarget(target))
{
    mode_t mode = 0666;
    bool keepMode = false;
    struct stat existing {};
    if (::stat(final_.c_str(), &existing) == 0) {
        if (existing.st_dev == source.st_dev && existing.st_ino == source.st_ino) {
            status_ = NORVIK_SAME_FILE;
            return;
        }
        // Only a regular file is ever replaced: never a folder, and never a
        // device such as /dev/null, which a rename would destroy.
        if (!S_ISREG(existing.st_mode))
            return;
        mode = existing.st_mode & 07777;
        keepMode = true;
    }

    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = temporaryName(final_, random);
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = std::move(candidate);
            break;
        }
        if (errno != EEXIST)
            return;
    }
    if (fd_ < 0)
        return;
    // A replaced target keeps its permissions; a new one gets the usual ones.
    if (keepMode)
        (void)::fchmod(fd_, mode);
    status_ = NORVIK_OK;
}

OutputFile::~OutputFile()
{
    stopWriter();
    if (fd_ >= 0)
        ::close(fd_);
    if (!temporary_.empty() && !committed_)
        ::unlink(temporary_.c_str());
}

std::span<char> OutputFile::space()
{
    Block &block = blocks_[filling_];
    if (!block.bytes)
        block.bytes.reset(new char[BlockSize]);
    return {block.bytes.get() + block.used, BlockSize - block.used};
}

bool OutputFile::advance(std::size_t size)
{
    Block &block = blocks_[filling_];
    block.used += size;
    return block.used < BlockSize ? true : handOver();
}

bool OutputFile::handOver()
{
    if (!writer_.joinable())
        writer_ = std::thread([this] { writerLoop(); });
    if (!waitIdle())
        return false;
    {
        std::lock_guard lock(mutex_);
        inHand_ = &blocks_[filling_];
    }
    changed_.notify_all();
    filling_ ^= 1;
    blocks_[filling_].used = 0;
    return true;
}

bool OutputFile::waitIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return inHand_ == nullptr; });
    return !failed_;
}

void OutputFile::stopWriter()
{
    if (!writer_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    writer_.join();
}

void OutputFile::writerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return inHand_ != nullptr || stopping_; });
        if (inHand_ == nullptr)
            return;
        Block *block = inHand_;
        bool ok = !failed_;
        lock.unlock();
        if (ok)
            ok = writeAll(block->bytes.get(), block->used);
        lock.lock();
        failed_ = failed_ || !ok;
        inHand_ = nullptr;
        changed_.notify_all();
    }
}

bool OutputFile::writeAll(const char *bytes, std::size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd_, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int OutputFile::commit()
{
    // The last block is written here: with the writer idle, or never started.
    const Block &last = blocks_[filling_];
    const bool written = waitIdle() && (last.used == 0 || writeAll(last.bytes.get(), last.used));
    stopWriter();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || !written)
        return NORVIK_TARGET_ERROR;
    if (::rename(temporary_.c_str(), final_.c_str()) != 0)
        return NORVIK_TARGET_ERROR;
    committed_ = true;
    return NORVIK_OK;
}

} // namespace norvik
