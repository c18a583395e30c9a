#include "FileLength.h"

#include "PathBuffer.h"
#include "RunError.h"

#include <filesystem>
#include <string>

namespace {

// As a user reads it: the file, and what the system said of it.
[[noreturn]] void cannotRead(const QString &path, const QString &reason)
{
    throw RunError(QStringLiteral("Cannot read file \"%1\": %2").arg(shownPath(path), reason));
}

} // namespace

std::uint64_t fileLength(const QString &path)
{
    if (path.contains(QChar(0)))
        cannotRead(path, QStringLiteral("the name holds a NUL character."));
    std::optional<QByteArray> bytes = encodePath(path);
    if (!bytes)
        cannotRead(path, QStringLiteral("the name cannot be represented in the system's 8-bit encoding."));

    namespace fs = std::filesystem;
    const fs::path file(bytes->toStdString());
    std::error_code error;
    fs::file_status status = fs::status(file, error);
    if (error)
        cannotRead(path, QString::fromStdString(error.message()) + QLatin1Char('.'));
    if (status.type() != fs::file_type::regular)
        cannotRead(path, QStringLiteral("it is not a regular file."));
    std::uintmax_t length = fs::file_size(file, error);
    if (error)
        cannotRead(path, QString::fromStdString(error.message()) + QLatin1Char('.'));
    return length;
}
