#include "input_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace fileio {

InputFile::InputFile(const char *path)
{
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    if (::fstat(fd, &status_) != 0 || !S_ISREG(status_.st_mode)) {
        ::close(fd);
        return;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

InputFile::~InputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

long long InputFile::readFull(void *buffer, std::size_t size)
{
    auto *bytes = static_cast<char *>(buffer);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::read(fd_, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

} // namespace fileio
