// JSON as the reports write it: members in the order given, and text whose
// lone surrogates (file names' stray bytes, see textOfBytes) are escaped, so
// that a name keeps its bytes through a JSON file and back.
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>

// A JSON string.
QByteArray jsonText(const QString &text);
// A file name's bytes as a JSON string.
QByteArray jsonString(const QByteArray &bytes);
// Any value, on one line; an object's members in key order.
QByteArray jsonOf(const QJsonValue &value);
