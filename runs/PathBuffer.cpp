#include "PathBuffer.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
// A leading U+FEFF is part of a name like any other character.
constexpr auto Flags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
} // namespace

std::optional<QByteArray> encodePath(const QString &path)
{
    QStringEncoder encoder(QStringConverter::System, Flags);
    QByteArray bytes = encoder.encode(path);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

QString decodePath(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::System, Flags);
    return decoder.decode(bytes);
}

QString shownPath(const QString &path)
{
    QString text = path;
    return text.replace(QChar(0), QStringLiteral("\\0"));
}
