#include "Report.h"

#include "FileName.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::array Columns{"library", "file", "size", "compressed", "ratio", "compress_s_min",
                             "compress_s_median", "decompress_s_min", "decompress_s_median", "compress_mb_s",
                             "decompress_mb_s", "cpu_s", "peak_rss_mib", "status"};

// A value as it is written (text in UTF-8, a file name as the system gives
// it), or nothing; text is quoted where the format quotes.
struct Cell {
    std::optional<QByteArray> value;
    bool text = false, name = false;
};

Cell number(std::optional<double> value, int decimals)
{
    return {value ? std::optional(QByteArray::number(*value, 'f', decimals)) : std::nullopt};
}

Cell text(const QString &value)
{
    return {value.toUtf8(), true};
}

std::array<Cell, Columns.size()> cells(const Row &row)
{
    const auto bytes = [](std::optional<unsigned long long> value) {
        return Cell{value ? std::optional(QByteArray::number(*value)) : std::nullopt};
    };
    return {text(row.library),
            Cell{row.file, true, true},
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
            text(QString::fromLatin1(statusName(row.status)))};
}

// Text always in quotes, a quote doubled: a file name may hold anything, and
// keeps its bytes.
QByteArray csvField(const Cell &cell)
{
    if (!cell.text)
        return cell.value.value_or(QByteArray());
    return '"' + QByteArray(*cell.value).replace("\"", "\"\"") + '"';
}

// JSON is UTF-8 text: a byte of a name that is not UTF-8 is written as the
// escape of a lone low surrogate, \udc80 to \udcff, which Python's
// surrogateescape reads back as that byte.
QByteArray jsonValue(const Cell &cell)
{
    if (!cell.value)
        return "null";
    if (!cell.text)
        return *cell.value;
    QByteArray quoted = "\"";
    walkUtf8(
        *cell.value,
        [&](char32_t c) {
            if (c == u'"' || c == u'\\')
                quoted += '\\' + QByteArray(1, char(c));
            else if (c < 0x20)
                quoted += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0')).toLatin1();
            else
                quoted += QString::fromUcs4(&c, 1).toUtf8();
        },
        [&](unsigned char byte) { quoted += QStringLiteral("\\udc%1").arg(uint(byte), 2, 16, QLatin1Char('0')).toLatin1(); });
    return quoted + '"';
}

QByteArray csv(const std::vector<Row> &rows)
{
    QByteArrayList lines{QByteArrayList(Columns.begin(), Columns.end()).join(',')};
    for (const Row &row : rows) {
        QByteArrayList fields;
        for (const Cell &cell : cells(row))
            fields << csvField(cell);
        lines << fields.join(',');
    }
    return lines.join('\n') + '\n';
}

QByteArray json(const std::vector<Row> &rows)
{
    QByteArrayList objects;
    for (const Row &row : rows) {
        const auto values = cells(row);
        QByteArrayList members;
        for (std::size_t i = 0; i < Columns.size(); ++i)
            members << '"' + QByteArray(Columns[i]) + "\": " + jsonValue(values[i]);
        objects << "  {" + members.join(", ") + '}';
    }
    return "[\n" + objects.join(",\n") + (rows.empty() ? "]\n" : "\n]\n");
}

// For a terminal: names with what a terminal would act on escaped.
QByteArray table(const std::vector<Row> &rows)
{
    std::vector<std::array<QString, Columns.size()>> all;
    std::array<qsizetype, Columns.size()> widths{};
    std::array<bool, Columns.size()> left{};
    for (std::size_t i = 0; i < Columns.size(); ++i)
        widths[i] = qsizetype(std::strlen(Columns[i]));
    for (const Row &row : rows) {
        const auto line = cells(row);
        all.emplace_back();
        for (std::size_t i = 0; i < Columns.size(); ++i) {
            const QByteArray value = line[i].value.value_or("-");
            all.back()[i] = line[i].name ? shownName(value) : QString::fromUtf8(value);
            widths[i] = std::max(widths[i], all.back()[i].size());
            left[i] = line[i].text;
        }
    }
    QString text;
    for (std::size_t i = 0; i < Columns.size(); ++i)
        text += QString::fromLatin1(Columns[i]).leftJustified(widths[i]) + (i + 1 < Columns.size() ? "  " : "\n");
    for (const auto &line : all) {
        QString out;
        for (std::size_t i = 0; i < Columns.size(); ++i)
            out += (left[i] ? line[i].leftJustified(widths[i]) : line[i].rightJustified(widths[i]))
                   + (i + 1 < Columns.size() ? "  " : "");
        text += out.trimmed() + QLatin1Char('\n');
    }
    return text.toUtf8();
}

} // namespace

QByteArray report(const std::vector<Row> &rows, ReportFormat format)
{
    switch (format) {
    case ReportFormat::Csv: return csv(rows);
    case ReportFormat::Json: return json(rows);
    case ReportFormat::Table: break;
    }
    return table(rows);
}
