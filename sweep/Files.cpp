#include "Files.h"

#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <memory>
#include <sys/stat.h>

bool copyInto(const QByteArray &original, const QByteArray &copy)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> from(std::fopen(original.constData(), "rbe"), std::fclose);
    std::FILE *to = from ? std::fopen(copy.constData(), "wbxe") : nullptr;
    if (!to)
        return false;
    char buffer[65536];
    bool ok = true;
    for (std::size_t n; ok && (n = std::fread(buffer, 1, sizeof buffer, from.get())) > 0;)
        ok = std::fwrite(buffer, 1, n, to) == n;
    ok = ok && !std::ferror(from.get());
    return std::fclose(to) == 0 && ok;
}

std::optional<Stamp> stampOf(const QByteArray &file)
{
    struct stat status {};
    if (::stat(file.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return Stamp{status.st_dev, status.st_ino, status.st_size, status.st_ctim.tv_sec, status.st_ctim.tv_nsec};
}

std::optional<QString> notAFileOfItsOwn(const QByteArray &output, bool mayBeEmpty)
{
    struct stat status {};
    if (::lstat(output.constData(), &status) != 0)
        return QStringLiteral("the library left no output");
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("the library's output is a symbolic link, not a file of its own");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("the library's output is not a regular file");
    if (status.st_nlink != 1)
        return QStringLiteral("the library's output is another file's second name (a hard link), not a file of its own");
    if (status.st_size == 0 && !mayBeEmpty)
        return QStringLiteral("the library wrote an empty file for a source that is not empty");
    return std::nullopt;
}

bool sameContent(const QByteArray &a, const QByteArray &b)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> first(std::fopen(a.constData(), "rbe"), std::fclose),
        second(std::fopen(b.constData(), "rbe"), std::fclose);
    char x[65536], y[65536];
    for (std::size_t n = 1; n > 0;) {
        if (!first || !second || (n = std::fread(x, 1, sizeof x, first.get())) != std::fread(y, 1, sizeof y, second.get())
            || std::memcmp(x, y, n) != 0)
            return false;
    }
    return std::feof(first.get()) && std::feof(second.get());
}

namespace {

// Every byte, or the error that stopped it.
int writeAll(int fd, const QByteArray &text)
{
    for (qsizetype done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.constData() + done, std::size_t(text.size() - done));
        if (n > 0)
            done += n;
        else if (n == 0 || errno != EINTR)
            return n == 0 ? EIO : errno;
    }
    return 0;
}

} // namespace

std::optional<QString> writtenWhole(const QByteArray &name, const QByteArray &text)
{
    // A device, a pipe or a link is written through, as it is.
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        const int fd = ::open(name.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        int error = fd < 0 ? errno : writeAll(fd, text);
        if (fd >= 0 && ::close(fd) != 0 && error == 0)
            error = errno;
        return error == 0 ? std::nullopt : std::optional(QString::fromLocal8Bit(std::strerror(error)));
    }
    const qsizetype slash = name.lastIndexOf('/');
    QByteArray temporary = (slash < 0 ? QByteArray(".") : name.left(slash)) + "/.brevimeter-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    int error = writeAll(fd, text);
    // The mode any new file gets, as if it had been made by its name.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (error == 0 && ::fchmod(fd, 0666 & ~mask) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.constData(), name.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return QString::fromLocal8Bit(std::strerror(error));
    }
    return std::nullopt;
}
