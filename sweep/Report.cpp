#include "Report.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::array Columns{"library", "file", "size", "compressed", "ratio", "compress_s_min",
                             "compress_s_median", "decompress_s_min", "decompress_s_median", "compress_mb_s",
                             "decompress_mb_s", "cpu_s", "peak_rss_mib", "status"};

// A value as it is written, or nothing; text is quoted where the format quotes.
struct Cell {
    std::optional<QString> value;
    bool text = false;
};

Cell number(std::optional<double> value, int decimals)
{
    return {value ? std::optional(QString::number(*value, 'f', decimals)) : std::nullopt};
}

std::array<Cell, Columns.size()> cells(const Row &row)
{
    const auto bytes = [](std::optional<unsigned long long> value) {
        return Cell{value ? std::optional(QString::number(*value)) : std::nullopt};
    };
    return {Cell{row.library, true},
            Cell{row.file, true},
            bytes(row.size),
            bytes(row.compressed),
            number(ratioOf(row), 3),
            number(minimum(row.compressSeconds), 6),
            number(median(row.compressSeconds), 6),
            number(minimum(row.decompressSeconds), 6),
            number(median(row.decompressSeconds), 6),
            number(speedOf(row, row.compressSeconds), 3),
            number(speedOf(row, row.decompressSeconds), 3),
            number(cpuPerRoundTrip(row), 6),
            number(row.peakMiB, 1),
            Cell{QString::fromLatin1(statusName(row.status)), true}};
}

// Text always in quotes, a quote doubled: a file name may hold anything.
QString csvField(const Cell &cell)
{
    if (!cell.text)
        return cell.value.value_or(QString());
    return QLatin1Char('"') + QString(*cell.value).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString jsonValue(const Cell &cell)
{
    if (!cell.value)
        return QStringLiteral("null");
    if (!cell.text)
        return *cell.value;
    QString quoted = QStringLiteral("\"");
    for (QChar c : *cell.value) {
        if (c == u'"' || c == u'\\')
            quoted += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            quoted += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString csv(const std::vector<Row> &rows)
{
    QStringList lines{QStringList(Columns.begin(), Columns.end()).join(QLatin1Char(','))};
    for (const Row &row : rows) {
        QStringList fields;
        for (const Cell &cell : cells(row))
            fields << csvField(cell);
        lines << fields.join(QLatin1Char(','));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString json(const std::vector<Row> &rows)
{
    QStringList objects;
    for (const Row &row : rows) {
        const auto values = cells(row);
        QStringList members;
        for (std::size_t i = 0; i < Columns.size(); ++i)
            members << QStringLiteral("\"%1\": %2").arg(QLatin1String(Columns[i]), jsonValue(values[i]));
        objects << QStringLiteral("  {") + members.join(QStringLiteral(", ")) + QLatin1Char('}');
    }
    return QStringLiteral("[\n") + objects.join(QStringLiteral(",\n")) + (rows.empty() ? "]\n" : "\n]\n");
}

QString table(const std::vector<Row> &rows)
{
    std::vector<std::array<Cell, Columns.size()>> all;
    std::array<qsizetype, Columns.size()> widths{};
    for (std::size_t i = 0; i < Columns.size(); ++i)
        widths[i] = qsizetype(std::strlen(Columns[i]));
    for (const Row &row : rows) {
        all.push_back(cells(row));
        for (std::size_t i = 0; i < Columns.size(); ++i)
            widths[i] = std::max(widths[i], all.back()[i].value.value_or(QStringLiteral("-")).size());
    }
    QString text;
    for (std::size_t i = 0; i < Columns.size(); ++i)
        text += QString::fromLatin1(Columns[i]).leftJustified(widths[i]) + (i + 1 < Columns.size() ? "  " : "\n");
    for (const auto &line : all) {
        QString out;
        for (std::size_t i = 0; i < Columns.size(); ++i) {
            const QString value = line[i].value.value_or(QStringLiteral("-"));
            out += (line[i].text ? value.leftJustified(widths[i]) : value.rightJustified(widths[i]))
                   + (i + 1 < Columns.size() ? "  " : "");
        }
        text += out.trimmed() + QLatin1Char('\n');
    }
    return text;
}

} // namespace

QString report(const std::vector<Row> &rows, ReportFormat format)
{
    switch (format) {
    case ReportFormat::Csv: return csv(rows);
    case ReportFormat::Json: return json(rows);
    case ReportFormat::Table: break;
    }
    return table(rows);
}
