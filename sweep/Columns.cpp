#include "Columns.h"

#include "Json.h"

#include <QLocale>
#include <QString>

namespace {

Cell figure(std::optional<double> value)
{
    return {value ? std::optional(shortest(*value)) : std::nullopt, Format::Figure};
}

Cell bytes(std::optional<unsigned long long> value)
{
    return {value ? std::optional(QByteArray::number(*value)) : std::nullopt, Format::Bytes};
}

Cell text(const QString &value, Format format = Format::Text)
{
    return {value.toUtf8(), format};
}

constexpr Column Columns[] = {
    {"library", Format::Text, [](const ReportLine &l) { return text(l.library); }},
    {"file", Format::Name, [](const ReportLine &l) { return Cell{l.file, Format::Name}; }},
    {"size", Format::Bytes, [](const ReportLine &l) { return bytes(l.size); }},
    {"compressed", Format::Bytes, [](const ReportLine &l) { return bytes(l.compressed); }},
    {"ratio", Format::Figure, [](const ReportLine &l) { return figure(ratioOf(l)); }},
    {"compress_s_min", Format::Figure, [](const ReportLine &l) { return figure(l.compress.min); }},
    {"compress_s_median", Format::Figure, [](const ReportLine &l) { return figure(l.compress.median); }},
    {"decompress_s_min", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.min); }},
    {"decompress_s_median", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.median); }},
    {"compress_mb_s", Format::Figure, [](const ReportLine &l) { return figure(speedOf(l, l.compress)); }},
    {"decompress_mb_s", Format::Figure, [](const ReportLine &l) { return figure(speedOf(l, l.decompress)); }},
    {"cpu_s", Format::Figure, [](const ReportLine &l) { return figure(l.cpuRoundTrip); }},
    {"peak_rss_mib", Format::Figure, [](const ReportLine &l) { return figure(l.peakMiB); }},
    {"status", Format::Text, [](const ReportLine &l) { return text(QString::fromLatin1(statusName(l.status))); }},
    {"label", Format::Text, [](const ReportLine &l) { return text(l.label); }},
    {"compress_s_max", Format::Figure, [](const ReportLine &l) { return figure(l.compress.max); }},
    {"decompress_s_max", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.max); }},
    {"compress_cpu_s", Format::Figure, [](const ReportLine &l) { return figure(l.compress.cpu); }},
    {"decompress_cpu_s", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.cpu); }},
    {"compress_peak_mib", Format::Figure, [](const ReportLine &l) { return figure(l.compress.peakMiB); }},
    {"decompress_peak_mib", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.peakMiB); }},
    {"compress_faults", Format::Figure, [](const ReportLine &l) { return figure(l.compress.faults); }},
    {"decompress_faults", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.faults); }},
    {"compress_s_first", Format::Figure, [](const ReportLine &l) { return figure(l.compress.first); }},
    {"decompress_s_first", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.first); }},
    {"compress_calls", Format::Figure, [](const ReportLine &l) { return figure(l.compress.calls); }},
    {"decompress_calls", Format::Figure, [](const ReportLine &l) { return figure(l.decompress.calls); }},
    {"notes", Format::Words, [](const ReportLine &l) { return text(l.notes.join(QLatin1Char(' ')), Format::Words); }},
    {"reason", Format::Text, [](const ReportLine &l) { return text(l.reason); }},
    {"codecs", Format::Text, [](const ReportLine &l) { return text(l.codecs); }},
    {"threads", Format::Count, [](const ReportLine &l) { return Cell{QByteArray::number(l.threads), Format::Count}; }},
    {"library_sha256", Format::Text, [](const ReportLine &l) { return text(QString::fromLatin1(l.librarySha256)); }},
};

} // namespace

std::span<const Column> columns()
{
    return Columns;
}

QByteArray shortest(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest).toLatin1();
}

QByteArray jsonOfCell(const Cell &cell)
{
    if (!cell.value)
        return "null";
    if (cell.format == Format::Name)
        return jsonString(*cell.value);
    return cell.format == Format::Bytes || cell.format == Format::Count || cell.format == Format::Figure ? *cell.value : jsonText(QString::fromUtf8(*cell.value));
}
