#include "LibraryList.h"

#include "LibraryChoice.h"

#include <QStringList>

QByteArray libraryList(ReportFormat format)
{
    std::vector<QStringList> rows{{"name", "levels", "default", "file", "what it is"}}; // the table's head
    for (const Reference &reference : references()) {
        const QString file = referenceFile(reference.name);
        rows.push_back({QString::fromLatin1(reference.name),
                        reference.highest == 0 ? QString() : QStringLiteral("%1-%2").arg(reference.lowest).arg(reference.highest),
                        reference.highest == 0 ? QString() : QString::number(reference.standard),
                        file.isEmpty() ? QStringLiteral("(not installed)") : file, QString::fromUtf8(reference.description)});
    }
    if (format == ReportFormat::Csv) {
        QByteArray text = "name,levels,default_level,path,description\n";
        for (const QStringList &row : std::vector<QStringList>(rows.begin() + 1, rows.end()))
            text += csvText(row[0].toUtf8()) + ',' + csvText(row[1].toUtf8()) + ',' + row[2].toUtf8() + ','
                    + csvText(row[3].toUtf8()) + ',' + csvText(row[4].toUtf8()) + '\n';
        return text;
    }
    return aligned(rows, std::vector<bool>(5, true)).toUtf8();
}
