#include "LibraryList.h"

#include "Json.h"
#include "LibraryChoice.h"

#include <QFile>
#include <QStringList>

QByteArray libraryList(ReportFormat format)
{
    if (format == ReportFormat::Json) {
        // Levels as numbers, null for a library without them; a file not installed, null.
        QByteArrayList objects;
        for (const Reference &reference : references()) {
            const QString file = referenceFile(reference.name);
            const bool levels = reference.highest != 0;
            const auto level = [&](int value) { return levels ? QByteArray::number(value) : QByteArray("null"); };
            objects << "  {\"name\": " + jsonText(QString::fromLatin1(reference.name)) + ", \"lowest_level\": " + level(reference.lowest)
                           + ", \"highest_level\": " + level(reference.highest) + ", \"default_level\": " + level(reference.standard)
                           + ", \"path\": " + (file.isEmpty() ? QByteArray("null") : jsonString(QFile::encodeName(file)))
                           + ", \"description\": " + jsonText(QString::fromUtf8(reference.description)) + '}';
        }
        return "[\n" + objects.join(",\n") + "\n]\n";
    }
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
