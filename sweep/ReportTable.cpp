#include "ReportTable.h"

#include "FileName.h"

#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

// A mark for each note, explained under the table.
struct NoteMark {
    const char *note, *mark, *meaning;
};
constexpr NoteMark Marks[] = {
    {Note::SlowFirstCompress, "a", "the first compression took over 10 times the median: "
                                   "results kept between calls? (try --fresh)"},
    {Note::SlowFirstDecompress, "b", "the first decompression took over 10 times the median: "
                                     "results kept between calls? (try --fresh)"},
    {Note::CpuBelowWall, "w", "on one thread, CPU time well below wall time: the calls waited "
                              "(a busy machine, or the disk)"},
};

// Three significant figures, and never fewer decimals than that needs.
QString readable(std::optional<double> value, double scale = 1)
{
    if (!value)
        return QStringLiteral("-");
    const double v = *value * scale;
    const int decimals = v == 0 ? 0 : std::clamp(2 - int(std::floor(std::log10(std::fabs(v)))), 0, 6);
    return QString::number(v, 'f', decimals);
}

// CPU time over wall time, both directions' timed calls: 1 for one thread
// that never waited, more for a library that works on several.
std::optional<double> cpuOverWall(const ReportLine &line)
{
    if (!line.compress.cpu || !line.decompress.cpu || !line.compress.median || !line.decompress.median
        || *line.compress.median + *line.decompress.median <= 0)
        return std::nullopt;
    return (*line.compress.cpu + *line.decompress.cpu) / (*line.compress.median + *line.decompress.median);
}

QString marks(const ReportLine &line)
{
    QString shown;
    for (const NoteMark &mark : Marks)
        if (line.notes.contains(QLatin1String(mark.note)))
            shown += QLatin1String(mark.mark);
    return shown;
}

QStringList cells(const ReportLine &line)
{
    return {QStringLiteral("  ") + shortened(shownName(line.label.toUtf8()), ShortName),
            ratioOf(line) ? QString::number(*ratioOf(line), 'f', 3) : QStringLiteral("-"),
            readable(speedOf(line, line.compress)), readable(line.compress.median, 1e3),
            readable(speedOf(line, line.decompress)), readable(line.decompress.median, 1e3),
            cpuOverWall(line) ? QString::number(*cpuOverWall(line), 'f', 2) : QStringLiteral("-"),
            readable(line.compress.peakMiB && line.decompress.peakMiB
                         ? std::optional(std::max(*line.compress.peakMiB, *line.decompress.peakMiB)) : std::nullopt),
            QString::fromLatin1(statusName(line.status)), marks(line)};
}

QString heading(const ReportLine &line, qsizetype files)
{
    const QString size = QStringLiteral(", %1 bytes").arg(line.size);
    if (line.total)
        return QStringLiteral("(all), %1 files").arg(files) + size;
    return shortened(shownName(line.file), TableWidth - size.size()) + size;
}

// Text centred over the columns from `first` to `last`, whose widths are given.
void centre(QString &line, const std::vector<qsizetype> &widths, std::size_t first, std::size_t last, const QString &text)
{
    qsizetype at = 0;
    for (std::size_t i = 0; i < first; ++i)
        at += widths[i] + 2;
    qsizetype span = -2;
    for (std::size_t i = first; i <= last; ++i)
        span += widths[i] + 2;
    const qsizetype start = at + std::max<qsizetype>(0, (span - text.size()) / 2);
    line = line.leftJustified(start) + text;
}

} // namespace

QString shortened(const QString &name, qsizetype width)
{
    if (name.size() <= width)
        return name;
    const qsizetype kept = std::max<qsizetype>(width - 1, 2), front = (kept + 1) / 2;
    return name.left(front) + QChar(0x2026) + name.right(kept - front);
}

QByteArray table(const std::vector<ReportLine> &lines, const Provenance &made)
{
    std::vector<QStringList> grid{{"library", "ratio", "MB/s", "ms", "MB/s", "ms", "/wall", "MiB", "status"}};
    std::vector<std::pair<std::size_t, QString>> headings; // before which grid row
    QSet<QByteArray> names;
    for (const ReportLine &line : lines)
        if (!line.total)
            names.insert(line.file);
    const qsizetype files = names.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 0 || lines[i].file != lines[i - 1].file || lines[i].total != lines[i - 1].total)
            headings.emplace_back(grid.size(), heading(lines[i], files));
        grid.push_back(cells(lines[i]));
    }
    std::vector<bool> left(10, false);
    left[0] = left[8] = left[9] = true;
    std::vector<qsizetype> widths;
    const QStringList rows = aligned(grid, left, &widths).split(QLatin1Char('\n'));
    QString top;
    centre(top, widths, 2, 3, QStringLiteral("compress"));
    centre(top, widths, 4, 5, QStringLiteral("decompress"));
    centre(top, widths, 6, 6, QStringLiteral("CPU"));
    centre(top, widths, 7, 7, QStringLiteral("peak"));
    QStringList out{top, rows[0]};
    std::size_t next = 0;
    for (std::size_t row = 1; row < grid.size(); ++row) {
        for (; next < headings.size() && headings[next].first == row; ++next)
            out << headings[next].second;
        out << rows[qsizetype(row)];
    }
    const QString provenance = footer(made);
    const qsizetype split = provenance.indexOf(QStringLiteral(" \u00b7 "));
    if (provenance.size() > TableWidth && split > 0)
        out << provenance.left(split) << provenance.mid(split + 3);
    else
        out << provenance;
    // Which codec each library ran on, with its version.
    QStringList codecs;
    for (const ReportLine &line : lines)
        if (!line.total && !line.codecs.isEmpty()) {
            const QString entry = shortened(shownName(line.label.toUtf8()), ShortName) + QStringLiteral(": ") + shownName(line.codecs.toUtf8());
            if (!codecs.contains(entry))
                codecs << entry;
        }
    QString wrapped;
    for (const QString &entry : codecs) {
        if (!wrapped.isEmpty() && wrapped.size() + 3 + entry.size() > TableWidth)
            out << wrapped, wrapped.clear();
        wrapped += (wrapped.isEmpty() ? QString() : QStringLiteral(" \u00b7 ")) + entry;
    }
    if (!wrapped.isEmpty())
        out << wrapped;
    out << QStringLiteral("MB = 10^6 bytes; ms: the median call; CPU/wall: CPU time over wall time, both ways");
    for (const NoteMark &mark : Marks)
        if (std::any_of(lines.begin(), lines.end(), [&](const ReportLine &line) { return line.notes.contains(QLatin1String(mark.note)); }))
            out << QStringLiteral("%1: %2").arg(QLatin1String(mark.mark), QLatin1String(mark.meaning));
    return (out.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QString aligned(const std::vector<QStringList> &rows, const std::vector<bool> &left, std::vector<qsizetype> *widths)
{
    std::vector<qsizetype> width(left.size(), 0);
    for (const QStringList &row : rows)
        for (std::size_t i = 0; i < width.size(); ++i)
            width[i] = std::max(width[i], row.value(qsizetype(i)).size());
    QStringList text;
    for (const QStringList &row : rows) {
        QString line;
        for (std::size_t i = 0; i < width.size(); ++i)
            line += (left[i] ? row.value(qsizetype(i)).leftJustified(width[i]) : row.value(qsizetype(i)).rightJustified(width[i]))
                    + QStringLiteral("  ");
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        text << line;
    }
    if (widths)
        *widths = std::move(width);
    return text.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString footer(const Provenance &made)
{
    // What a report read back says is shown as names are: nothing in it acts on a terminal.
    QString text = QStringLiteral("%1 \u00b7 %2 \u00b7 brevimeter-bench %3")
                       .arg(shownName(made.machine.toUtf8()), shownName(made.date.toUtf8()), shownName(made.version.toUtf8()));
    for (const auto &[key, value] : made.options)
        if (key == QLatin1String("threads"))
            text += QStringLiteral(" \u00b7 %1 thread%2").arg(value.toInt()).arg(value.toInt() == 1 ? "" : "s");
    return text;
}
