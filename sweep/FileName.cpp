#include "FileName.h"

namespace {

// The length of the UTF-8 sequence that `lead` starts, or 0 for a byte no
// sequence starts with.
int sequenceLength(unsigned char lead)
{
    return lead < 0x80 ? 1 : lead < 0xc2 ? 0 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : lead < 0xf5 ? 4 : 0;
}

} // namespace

void walkUtf8(const QByteArray &bytes, const std::function<void(char32_t)> &character,
              const std::function<void(unsigned char)> &stray)
{
    for (qsizetype at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const int length = sequenceLength(lead);
        char32_t value = length == 1 ? lead : lead & (0x7f >> length);
        int taken = length > 0 && at + length <= bytes.size() ? 1 : 0;
        for (; taken > 0 && taken < length && (static_cast<unsigned char>(bytes[at + taken]) & 0xc0) == 0x80; ++taken)
            value = value << 6 | (static_cast<unsigned char>(bytes[at + taken]) & 0x3f);
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (taken == length && length > 0 && value >= Least[length] && value <= 0x10ffff
            && (value < 0xd800 || value > 0xdfff)) {
            character(value);
            at += length;
        } else {
            stray(lead);
            ++at;
        }
    }
}

QString shownName(const QByteArray &name)
{
    QString shown;
    walkUtf8(
        name,
        [&](char32_t c) {
            if (c < 0x20 || c == 0x7f)
                shown += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
            else if (c >= 0x80 && c < 0xa0)
                shown += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
            else
                shown += QString::fromUcs4(&c, 1);
        },
        [&](unsigned char byte) { shown += QStringLiteral("\\x%1").arg(uint(byte), 2, 16, QLatin1Char('0')); });
    return shown;
}

QString textOfBytes(const QByteArray &bytes)
{
    QString text;
    walkUtf8(
        bytes, [&](char32_t c) { text += QString::fromUcs4(&c, 1); },
        [&](unsigned char byte) { text += QChar(char16_t(0xdc00 + byte)); });
    return text;
}

QByteArray bytesOfText(const QString &text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (unit >= 0xdc80 && unit <= 0xdcff)
            bytes += char(unit - 0xdc00);
        else
            bytes += text.mid(i, pair ? 2 : 1).toUtf8();
        i += pair ? 1 : 0;
    }
    return bytes;
}
