#include "Json.h"

#include "Columns.h"
#include "FileName.h"

#include <QJsonArray>
#include <QJsonObject>

QByteArray jsonText(const QString &text)
{
    QByteArray quoted = "\"";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (unit == u'"' || unit == u'\\')
            quoted += '\\' + QByteArray(1, char(unit));
        else if (unit < 0x20 || (QChar::isSurrogate(unit) && !pair))
            quoted += QStringLiteral("\\u%1").arg(uint(unit), 4, 16, QLatin1Char('0')).toLatin1();
        else
            quoted += text.mid(i, pair ? 2 : 1).toUtf8();
        i += pair ? 1 : 0;
    }
    return quoted + '"';
}

QByteArray jsonString(const QByteArray &bytes)
{
    return jsonText(textOfBytes(bytes));
}

QByteArray jsonOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool: return value.toBool() ? "true" : "false";
    case QJsonValue::Double: return shortest(value.toDouble());
    case QJsonValue::String: return jsonText(value.toString());
    case QJsonValue::Array: {
        QByteArrayList items;
        for (const QJsonValue item : value.toArray())
            items << jsonOf(item);
        return '[' + items.join(", ") + ']';
    }
    case QJsonValue::Object: {
        QByteArrayList members;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            members << jsonText(it.key()) + ": " + jsonOf(it.value());
        return '{' + members.join(", ") + '}';
    }
    default: return "null";
    }
}
