#include "LevelRange.h"

#include "FileName.h"

#include <QRegularExpression>
#include <limits>
#include <vector>

std::variant<QStringList, QString> expandedLevels(const QString &given)
{
    // A level is a whole number, negative ones too; a range is two joined by "-".
    static const QRegularExpression Given(QStringLiteral("^(.*):((-?\\d+(--?\\d+)?)(,(-?\\d+(--?\\d+)?))*)$"));
    static const QRegularExpression Range(QStringLiteral("^(-?\\d+)-(-?\\d+)$"));
    const QRegularExpressionMatch levels = Given.match(given);
    if (!levels.hasMatch() || (!Range.match(levels.captured(2)).hasMatch() && !levels.captured(2).contains(QLatin1Char(','))))
        return QStringList{given}; // one level
    const QString name = levels.captured(1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    const QString label = equals > 0 ? name.left(equals) : QString();
    const QString shown = shownName(given.toUtf8());
    QStringList expanded;
    // Counted before any is written: a range as wide as a number can be is refused, not expanded.
    long long count = 0;
    std::vector<std::pair<long long, long long>> ranges;
    for (const QString &part : levels.captured(2).split(QLatin1Char(','))) {
        const QRegularExpressionMatch range = Range.match(part);
        bool ok = false, alsoOk = true;
        const long long first = (range.hasMatch() ? range.captured(1) : part).toLongLong(&ok);
        const long long last = range.hasMatch() ? range.captured(2).toLongLong(&alsoOk) : first;
        if (!ok || !alsoOk || first < std::numeric_limits<int>::min() || last > std::numeric_limits<int>::max())
            return QStringLiteral("%1: %2 is no level a library has").arg(shown, part);
        if (last < first)
            return QStringLiteral("%1: the range %2 runs backwards; write it %3-%4").arg(shown, part).arg(last).arg(first);
        if ((count += last - first + 1) > MostLevels)
            return QStringLiteral("%1: more than %2 levels in one argument").arg(shown).arg(MostLevels);
        ranges.emplace_back(first, last);
    }
    for (const auto &[first, last] : ranges)
        for (long long level = first; level <= last; ++level)
            expanded << (label.isEmpty() ? QString() : QStringLiteral("%1:%2=").arg(label).arg(level))
                            + name.mid(equals + 1) + QLatin1Char(':') + QString::number(level);
    return expanded;
}
