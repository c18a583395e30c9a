// Paths in the 8-bit form the library takes: the system's encoding (UTF-8 on
// Linux, the ANSI code page on Windows).
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The path's bytes, or nothing when the encoding cannot represent every character
// (a path is never passed on altered).
std::optional<QByteArray> encodePath(const QString &path);

// Every byte back to text, an embedded NUL included.
QString decodePath(const QByteArray &bytes);

// A path as a message shows it: a NUL as "\0".
QString shownPath(const QString &path);
