#include "LibraryList.h"

#include "LibraryChoice.h"

#include <QStringList>

QByteArray libraryList(ReportFormat format)
{
    std::vector<QStringList> rows{{"name", "levels", "default_level", "path", "description"}};
    for (const Reference &reference : references()) {
        const QString file = referenceFile(reference.name);
        rows.push_back({QString::fromLatin1(reference.name),
                        reference.highest == 0 ? QString() : QStringLiteral("%1-%2").arg(reference.lowest).arg(reference.highest),
                        reference.highest == 0 ? QString() : QString::number(reference.standard),
                        file.isEmpty() ? QStringLiteral("(not installed)") : file, QString::fromUtf8(reference.description)});
    }
    QString text;
    if (format == ReportFormat::Csv) {
        for (const QStringList &row : rows) {
            QStringList quoted;
            for (qsizetype i = 0; i < row.size(); ++i)
                quoted << (i == 2 || &row == &rows.front() ? row[i]
                                                                     : QLatin1Char('"') + QString(row[i]).replace("\"", "\"\"") + QLatin1Char('"'));
            text += quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
        }
        return text.toUtf8();
    }
    rows.front() = QStringList{"name", "levels", "default", "file", "what it is"};
    std::vector<qsizetype> widths(5, 0);
    for (const QStringList &row : rows)
        for (int i = 0; i < 5; ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], row[i].size());
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < 5; ++i)
            line += row[i].leftJustified(widths[std::size_t(i)]) + QStringLiteral("  ");
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text.toUtf8();
}
