// File names as the system gives them: bytes, not always valid UTF-8. They are
// kept so everywhere, and escaped only where they are shown.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// Walks `bytes` as UTF-8: `character` gets each well-formed character, and
// `stray` each byte that is not part of one.
void walkUtf8(const QByteArray &bytes, const std::function<void(char32_t)> &character,
              const std::function<void(unsigned char)> &stray);

// `name` as a terminal may show it: a control character, which a terminal
// would act on, and a byte that is not UTF-8 are written as \xNN (\u0080 to
// \u009f for the C1 controls).
QString shownName(const QByteArray &name);

// A name as text: each well-formed character itself, each byte that is not
// part of one the lone low surrogate U+DC80 to U+DCFF (what Python's
// surrogateescape makes of it); and back.
QString textOfBytes(const QByteArray &bytes);
QByteArray bytesOfText(const QString &text);
