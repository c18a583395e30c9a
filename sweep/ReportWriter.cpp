// The report as CSV and JSON, and the choice of format.
#include "Columns.h"
#include "Json.h"
#include "Report.h"
#include "Samples.h"

#include <QJsonArray>

#include "ReportTable.h"

namespace {

// Text always in quotes: a file name may hold anything, and keeps its bytes.
QByteArray csvField(const Cell &cell)
{
    return cell.format == Format::Bytes || cell.format == Format::Count || cell.format == Format::Figure ? cell.value.value_or(QByteArray())
                                                                         : csvText(cell.value.value_or(QByteArray()));
}

QByteArray csv(const std::vector<ReportLine> &lines)
{
    QByteArrayList names;
    for (const Column &column : columns())
        names << column.name;
    QByteArrayList out{names.join(',')};
    for (const ReportLine &line : lines) {
        QByteArrayList fields;
        for (const Column &column : columns())
            fields << csvField(column.value(line));
        out << fields.join(',');
    }
    return out.join('\n') + '\n';
}

QByteArray samplesOf(const DirectionSamples &samples)
{
    QByteArrayList members;
    for (const SampleSeries &series : sampleSeries()) {
        QByteArrayList values;
        for (double value : samples.*series.member)
            values << shortest(value);
        members << '"' + QByteArray(series.name) + "\": [" + values.join(", ") + ']';
    }
    for (const SampleFigure &figure : sampleFigures())
        members << '"' + QByteArray(figure.name) + "\": " + (samples.*figure.member ? shortest(*(samples.*figure.member)) : "null");
    members << '"' + QByteArray(OneThread) + "\": " + (samples.oneThread ? "true" : "false");
    return '{' + members.join(", ") + '}';
}

QByteArray json(const Report &report, const std::vector<ReportLine> &lines)
{
    QByteArrayList rows;
    std::size_t measured = 0;
    for (const ReportLine &line : lines) {
        QByteArrayList members;
        for (const Column &column : columns())
            members << '"' + QByteArray(column.name) + "\": " + jsonOfCell(column.value(line));
        members << QByteArray("\"total\": ") + (line.total ? "true" : "false");
        if (!line.total) {
            const Measurement &measurement = report.measurements.at(measured++);
            members << "\"samples\": {\"compress\": " + samplesOf(measurement.compress) + ", \"decompress\": "
                           + samplesOf(measurement.decompress) + '}';
        }
        rows << "    {" + members.join(", ") + '}';
    }
    const Provenance &made = report.made;
    QByteArrayList options, files;
    for (const auto &[key, value] : made.options)
        options << jsonText(key) + ": " + jsonOf(value);
    for (const FileFacts &file : made.files)
        files << "    {\"name\": " + jsonString(file.name) + ", \"size\": " + QByteArray::number(file.size)
                     + ", \"sha256\": " + jsonText(QString::fromLatin1(file.sha256)) + '}';
    const auto list = [](const QByteArrayList &items) { return items.isEmpty() ? QByteArray("[]") : "[\n" + items.join(",\n") + "\n  ]"; };
    return "{\n  \"rows\": " + list(rows) + ",\n"
           + "  \"machine\": " + jsonText(made.machine) + ",\n"
           + "  \"date\": " + jsonText(made.date) + ",\n"
           + "  \"version\": " + jsonText(made.version) + ",\n"
           + "  \"options\": {" + options.join(", ") + "},\n"
           + "  \"files\": " + list(files) + ",\n"
           + "  \"complete\": " + (made.complete ? "true" : "false") + "\n}\n";
}

} // namespace

QByteArray csvText(const QByteArray &text)
{
    return '"' + QByteArray(text).replace("\"", "\"\"") + '"';
}

QByteArray written(const Report &report, ReportFormat format)
{
    const std::vector<ReportLine> lines = linesOf(report.measurements);
    switch (format) {
    case ReportFormat::Csv: return csv(lines);
    case ReportFormat::Json: return json(report, lines);
    case ReportFormat::Table: break;
    }
    return table(lines, report.made);
}
