#include "Report.h"

#include "FileName.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr std::array Columns{"library", "file", "size", "compressed", "ratio", "compress_s_min",
                             "compress_s_median", "decompress_s_min", "decompress_s_median", "compress_mb_s",
                             "decompress_mb_s", "cpu_s", "peak_rss_mib", "status", "label", "compress_s_max",
                             "decompress_s_max", "compress_cpu_s", "decompress_cpu_s", "compress_peak_mib",
                             "decompress_peak_mib", "compress_faults", "decompress_faults"};

// A value as it is written (text in UTF-8, a file name as the system gives
// it), or nothing; text is quoted where the format quotes.
struct Cell {
    std::optional<QByteArray> value;
    bool text = false;
};

// The shortest text that reads back as the same number.
Cell number(std::optional<double> value)
{
    return {value ? std::optional(QString::number(*value, 'g', QLocale::FloatingPointShortest).toLatin1()) : std::nullopt};
}

Cell text(const QByteArray &value)
{
    return {value, true};
}

std::array<Cell, Columns.size()> cells(const Line &line)
{
    const auto bytes = [](std::optional<unsigned long long> value) {
        return Cell{value ? std::optional(QByteArray::number(*value)) : std::nullopt};
    };
    return {text(line.library.toUtf8()),
            text(line.file),
            bytes(line.size),
            bytes(line.compressed),
            number(ratioOf(line)),
            number(line.compress.min),
            number(line.compress.median),
            number(line.decompress.min),
            number(line.decompress.median),
            number(speedOf(line, line.compress)),
            number(speedOf(line, line.decompress)),
            number(line.cpuRoundTrip),
            number(line.peakMiB),
            text(statusName(line.status)),
            text(line.label.toUtf8()),
            number(line.compress.max),
            number(line.decompress.max),
            number(line.compress.cpu),
            number(line.decompress.cpu),
            number(line.compress.peakMiB),
            number(line.decompress.peakMiB),
            number(line.compress.faults),
            number(line.decompress.faults)};
}

// Text always in quotes: a file name may hold anything, and keeps its bytes.
QByteArray csvField(const Cell &cell)
{
    return cell.text ? csvText(*cell.value) : cell.value.value_or(QByteArray());
}

QByteArray jsonValue(const Cell &cell)
{
    return !cell.value ? QByteArray("null") : cell.text ? jsonString(*cell.value) : *cell.value;
}

QByteArray csv(const std::vector<Line> &lines)
{
    QByteArrayList out{QByteArrayList(Columns.begin(), Columns.end()).join(',')};
    for (const Line &line : lines) {
        QByteArrayList fields;
        for (const Cell &cell : cells(line))
            fields << csvField(cell);
        out << fields.join(',');
    }
    return out.join('\n') + '\n';
}

QByteArray json(const std::vector<Line> &lines, const Provenance &made)
{
    QByteArrayList objects, options;
    for (const Line &line : lines) {
        const auto values = cells(line);
        QByteArrayList members;
        for (std::size_t i = 0; i < Columns.size(); ++i)
            members << '"' + QByteArray(Columns[i]) + "\": " + jsonValue(values[i]);
        objects << "    {" + members.join(", ") + '}';
    }
    for (const auto &[key, value] : made.options)
        options << "\"" + key + "\": " + value;
    return "{\n  \"rows\": [\n" + objects.join(",\n") + (lines.empty() ? "" : "\n") + "  ],\n"
           + "  \"machine\": " + jsonString(made.machine.toUtf8()) + ",\n"
           + "  \"date\": " + jsonString(made.date.toUtf8()) + ",\n"
           + "  \"version\": " + jsonString(made.version.toUtf8()) + ",\n"
           + "  \"options\": {" + options.join(", ") + "}\n}\n";
}

// Three significant figures, and never fewer decimals than that needs.
QString readable(std::optional<double> value, double scale = 1)
{
    if (!value)
        return QStringLiteral("-");
    const double v = *value * scale;
    const int decimals = v == 0 ? 0 : std::clamp(2 - int(std::floor(std::log10(std::fabs(v)))), 0, 6);
    return QString::number(v, 'f', decimals);
}

// For a terminal: names as given, what a terminal would act on escaped.
QByteArray table(const std::vector<Line> &lines, const Provenance &made)
{
    const QStringList heads{"library", "file", "size", "ratio", "MB/s", "ms", "max ms", "MB/s", "ms", "max ms",
                            "peak MiB", "status"};
    std::vector<QStringList> all{heads};
    for (const Line &line : lines) {
        const std::optional<double> peak = line.compress.peakMiB && line.decompress.peakMiB
                                               ? std::optional(std::max(*line.compress.peakMiB, *line.decompress.peakMiB))
                                               : std::nullopt;
        all.push_back({line.label, shownName(line.file), QString::number(line.size),
                       ratioOf(line) ? QString::number(*ratioOf(line), 'f', 3) : QStringLiteral("-"),
                       readable(speedOf(line, line.compress)), readable(line.compress.median, 1e3),
                       readable(line.compress.max, 1e3), readable(speedOf(line, line.decompress)),
                       readable(line.decompress.median, 1e3), readable(line.decompress.max, 1e3), readable(peak),
                       QString::fromLatin1(statusName(line.status))});
    }
    std::vector<bool> left(heads.size(), false);
    left[0] = left[1] = left.back() = true;
    std::vector<qsizetype> widths;
    const QString body = aligned(all, left, &widths);
    // Over the speed and times of each direction, its name.
    qsizetype at = 0;
    for (std::size_t i = 0; i < 4; ++i)
        at += widths[i] + 2;
    const qsizetype group = widths[4] + widths[5] + widths[6] + 4;
    const QString head = QString(at, QLatin1Char(' ')) + QStringLiteral("compress").leftJustified(group + 2)
                         + QStringLiteral("decompress\n");
    return (head + body + footer(made) + QLatin1Char('\n')).toUtf8();
}

} // namespace

QByteArray csvText(const QByteArray &text)
{
    return '"' + QByteArray(text).replace("\"", "\"\"") + '"';
}

QString aligned(const std::vector<QStringList> &rows, const std::vector<bool> &left, std::vector<qsizetype> *widths)
{
    std::vector<qsizetype> width(left.size(), 0);
    for (const QStringList &row : rows)
        for (std::size_t i = 0; i < width.size(); ++i)
            width[i] = std::max(width[i], row.value(qsizetype(i)).size());
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (std::size_t i = 0; i < width.size(); ++i)
            line += (left[i] ? row.value(qsizetype(i)).leftJustified(width[i]) : row.value(qsizetype(i)).rightJustified(width[i]))
                    + QStringLiteral("  ");
        text += line.trimmed() + QLatin1Char('\n');
    }
    if (widths)
        *widths = std::move(width);
    return text;
}

QString footer(const Provenance &made)
{
    return QStringLiteral("%1 \u00b7 %2 \u00b7 brevimeter-bench %3").arg(made.machine, made.date, made.version);
}

QByteArray report(const std::vector<Line> &lines, ReportFormat format, const Provenance &made)
{
    switch (format) {
    case ReportFormat::Csv: return csv(lines);
    case ReportFormat::Json: return json(lines, made);
    case ReportFormat::Table: break;
    }
    return table(lines, made);
}
