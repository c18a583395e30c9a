#include "LevelRange.h"

#include <QRegularExpression>

std::variant<QStringList, QString> expandedLevels(const QString &given)
{
    // A level is a whole number, negative ones too; a range is two joined by "-".
    static const QRegularExpression Spec(QStringLiteral("^(.*):((-?\\d+(--?\\d+)?)(,(-?\\d+(--?\\d+)?))*)$"));
    static const QRegularExpression Range(QStringLiteral("^(-?\\d+)-(-?\\d+)$"));
    const QRegularExpressionMatch spec = Spec.match(given);
    if (!spec.hasMatch() || (!Range.match(spec.captured(2)).hasMatch() && !spec.captured(2).contains(QLatin1Char(','))))
        return QStringList{given}; // one level
    const QString name = spec.captured(1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    const QString label = equals > 0 ? name.left(equals) : QString();
    QStringList expanded;
    for (const QString &part : spec.captured(2).split(QLatin1Char(','))) {
        const QRegularExpressionMatch range = Range.match(part);
        const int first = range.hasMatch() ? range.captured(1).toInt() : part.toInt();
        const int last = range.hasMatch() ? range.captured(2).toInt() : first;
        if (last < first)
            return QStringLiteral("%1: the range %2 runs backwards; write it %3-%4").arg(given, part).arg(last).arg(first);
        for (int level = first; level <= last; ++level)
            expanded << (label.isEmpty() ? QString() : QStringLiteral("%1:%2=").arg(label).arg(level))
                            + name.mid(equals + 1) + QLatin1Char(':') + QString::number(level);
    }
    return expanded;
}
