#include "FileStamp.h"

#include "PathBuffer.h"
#include "RunError.h"

#include <filesystem>

#if defined(_WIN32)
#  include <QFileInfo>
#else
#  include <sys/stat.h>
#endif

std::optional<FileStamp> stampOf(const QString &path)
{
    if (path.contains(QChar(0)))
        return std::nullopt;
#if defined(_WIN32)
    QFileInfo file(path);
    if (!file.isFile())
        return std::nullopt;
    const QDateTime changed = file.lastModified();
    return FileStamp{0, 0, static_cast<unsigned long long>(file.size()), changed.toSecsSinceEpoch(),
                     changed.time().msec() * 1000000LL};
#else
    std::optional<QByteArray> bytes = encodePath(path);
    struct stat status {};
    if (!bytes || ::stat(bytes->constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FileStamp{static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino),
                     static_cast<unsigned long long>(status.st_size), status.st_ctim.tv_sec, status.st_ctim.tv_nsec};
#endif
}

void TargetWatch::requireWritten(const QString &targetAfter) const
{
    const std::optional<FileStamp> after = stampOf(targetAfter);
    if (!after) {
        std::error_code error;
        const std::optional<QByteArray> name = encodePath(targetAfter);
        const QString why = targetAfter.contains(QChar(0)) ? QStringLiteral(": the name holds a NUL character.")
                            : name && std::filesystem::exists(name->toStdString(), error)
                                ? QStringLiteral(": what is there is not a regular file.")
                                : QStringLiteral(".");
        throw RunError(QStringLiteral("The compression library wrote no file at \"%1\"").arg(shownPath(targetAfter)) + why);
    }
    if (before_ && targetAfter == target_ && after == before_)
        throw RunError(QStringLiteral("The compression library did not write \"%1\": "
                                      "the file is as it was before the run.").arg(target_));
}
