#include "Compare.h"

#include "Columns.h"
#include "FileName.h"
#include "Json.h"
#include "ReportTable.h"
#include "Statistics.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace {

using Pair = std::pair<QString, QByteArray>; // label, file

std::optional<double> percentOf(double ratio)
{
    return std::isfinite(ratio) ? std::optional((ratio - 1) * 100) : std::nullopt;
}

// Each side's files' samples of one direction; a total sums the medians.
struct Sides {
    std::vector<const std::vector<double> *> before, after;
};

double totalMedian(const std::vector<const std::vector<double> *> &files, std::mt19937_64 *random)
{
    double total = 0;
    for (const std::vector<double> *samples : files) {
        if (!random) {
            total += *median(*samples);
            continue;
        }
        std::vector<double> drawn(samples->size());
        std::uniform_int_distribution<std::size_t> pick(0, samples->size() - 1);
        for (double &value : drawn)
            value = (*samples)[pick(*random)];
        total += *median(drawn);
    }
    return total;
}

// Speed after over speed before is time before over time after.
Change speedChange(const Sides &sides)
{
    Change change;
    if (sides.before.empty())
        return change;
    change.percent = percentOf(totalMedian(sides.before, nullptr) / totalMedian(sides.after, nullptr));
    const auto enough = [](const std::vector<const std::vector<double> *> &files) {
        return std::all_of(files.begin(), files.end(), [](const auto *samples) { return samples->size() >= FewestCalls; });
    };
    if (!change.percent || !enough(sides.before) || !enough(sides.after))
        return change;
    std::mt19937_64 random(20261208);
    std::vector<double> ratios;
    for (int i = 0; i < Resamples; ++i)
        ratios.push_back(totalMedian(sides.before, &random) / totalMedian(sides.after, &random));
    std::sort(ratios.begin(), ratios.end());
    change.low = percentOf(ratios[std::size_t(Resamples * 0.025)]);
    change.high = percentOf(ratios[std::size_t(Resamples * 0.975) - 1]);
    change.significant = change.low && change.high && (*change.low > 0 || *change.high < 0);
    return change;
}

Change sizeChange(std::optional<unsigned long long> before, std::optional<unsigned long long> after)
{
    Change change;
    if (before && after && *before > 0) {
        change.percent = change.low = change.high = percentOf(double(*after) / double(*before));
        change.significant = *after != *before;
    }
    return change;
}

QString shown(const std::optional<double> &percent)
{
    return percent ? QString::asprintf("%+.1f%%", *percent) : QStringLiteral("-");
}

QString interval(const Change &change)
{
    return change.low && change.high ? QString::asprintf("[%+.1f, %+.1f]", *change.low, *change.high) : QString();
}

QByteArray number(const std::optional<double> &value)
{
    return value ? shortest(*value) : QByteArray();
}

// The comparison's columns, as CSV and JSON write them.
struct ComparisonColumn {
    const char *name;
    bool text;
    QByteArray (*value)(const Comparison &);
};

const ComparisonColumn Columns[] = {
    {"label", true, [](const Comparison &c) { return c.label.toUtf8(); }},
    {"file", true, [](const Comparison &c) { return c.file; }},
    {"compressed_before", false, [](const Comparison &c) { return c.before ? QByteArray::number(*c.before) : QByteArray(); }},
    {"compressed_after", false, [](const Comparison &c) { return c.after ? QByteArray::number(*c.after) : QByteArray(); }},
    {"size_change_pct", false, [](const Comparison &c) { return number(c.size.percent); }},
    {"compress_change_pct", false, [](const Comparison &c) { return number(c.compress.percent); }},
    {"compress_change_low", false, [](const Comparison &c) { return number(c.compress.low); }},
    {"compress_change_high", false, [](const Comparison &c) { return number(c.compress.high); }},
    {"compress_significant", false, [](const Comparison &c) { return QByteArray(c.compress.significant ? "true" : "false"); }},
    {"decompress_change_pct", false, [](const Comparison &c) { return number(c.decompress.percent); }},
    {"decompress_change_low", false, [](const Comparison &c) { return number(c.decompress.low); }},
    {"decompress_change_high", false, [](const Comparison &c) { return number(c.decompress.high); }},
    {"decompress_significant", false, [](const Comparison &c) { return QByteArray(c.decompress.significant ? "true" : "false"); }},
    {"status_before", true, [](const Comparison &c) { return c.beforeStatus.toUtf8(); }},
    {"status_after", true, [](const Comparison &c) { return c.afterStatus.toUtf8(); }},
    {"content_differs", false, [](const Comparison &c) { return QByteArray(c.otherContent ? "true" : "false"); }},
};

QByteArray csv(const std::vector<Comparison> &comparisons)
{
    QByteArrayList names, out;
    for (const ComparisonColumn &column : Columns)
        names << column.name;
    out << names.join(',');
    for (const Comparison &comparison : comparisons) {
        QByteArrayList fields;
        for (const ComparisonColumn &column : Columns)
            fields << (column.text ? csvText(column.value(comparison)) : column.value(comparison));
        out << fields.join(',');
    }
    return out.join('\n') + '\n';
}

QByteArray json(const std::vector<Comparison> &comparisons, const Provenance &before, const Provenance &after)
{
    QByteArrayList rows;
    for (const Comparison &comparison : comparisons) {
        QByteArrayList members;
        for (const ComparisonColumn &column : Columns) {
            const QByteArray value = column.value(comparison);
            members << '"' + QByteArray(column.name) + "\": "
                           + (column.name == std::string("file") ? jsonString(value)
                              : column.text                      ? jsonText(QString::fromUtf8(value))
                              : value.isEmpty()                  ? QByteArray("null")
                                                                 : value);
        }
        rows << "    {" + members.join(", ") + '}';
    }
    const auto made = [](const Provenance &p) {
        return "{\"machine\": " + jsonText(p.machine) + ", \"date\": " + jsonText(p.date) + ", \"version\": " + jsonText(p.version) + '}';
    };
    return "{\n  \"rows\": [\n" + rows.join(",\n") + (rows.isEmpty() ? "" : "\n") + "  ],\n  \"before\": " + made(before)
           + ",\n  \"after\": " + made(after) + ",\n  \"options_differ\": " + jsonText(differingOptions(before, after).join(QStringLiteral(", ")))
           + ",\n  \"method\": " + jsonText(QStringLiteral(
               "speeds: ratio of median call times, 95% percentile bootstrap of the timed calls, %1 resamples; "
               "fewer than %2 calls a side: no interval").arg(Resamples).arg(FewestCalls)) + "\n}\n";
}

QByteArray table(const std::vector<Comparison> &comparisons, const Provenance &before, const Provenance &after)
{
    std::vector<QStringList> grid{{"library", "size", "compress", "", "decompress", "", ""}};
    std::vector<std::pair<std::size_t, QString>> headings;
    for (std::size_t i = 0; i < comparisons.size(); ++i) {
        const Comparison &c = comparisons[i];
        if (i == 0 || c.file != comparisons[i - 1].file)
            headings.emplace_back(grid.size(), c.total ? QStringLiteral("(all), the files both measured") : shortened(shownName(c.file), TableWidth));
        const QString status = c.otherContent                  ? QStringLiteral("other content, not compared")
                               : c.beforeStatus == c.afterStatus ? (c.afterStatus == QLatin1String("ok") ? QString() : c.afterStatus)
                                                                 : c.beforeStatus + QStringLiteral(" \u2192 ") + c.afterStatus;
        grid.push_back({QStringLiteral("  ") + shortened(shownName(c.label.toUtf8()), ShortName), shown(c.size.percent),
                        shown(c.compress.percent) + (c.compress.significant ? QStringLiteral("*") : QStringLiteral(" ")),
                        interval(c.compress),
                        shown(c.decompress.percent) + (c.decompress.significant ? QStringLiteral("*") : QStringLiteral(" ")),
                        interval(c.decompress), status});
    }
    std::vector<bool> left{true, false, false, true, false, true, true};
    const QStringList rows = aligned(grid, left).split(QLatin1Char('\n'));
    QStringList out{rows[0]};
    std::size_t next = 0;
    for (std::size_t row = 1; row < grid.size(); ++row) {
        for (; next < headings.size() && headings[next].first == row; ++next)
            out << headings[next].second;
        out << rows[qsizetype(row)];
    }
    for (const auto &[name, made] : {std::pair("before", &before), std::pair("after", &after)}) {
        const QString line = QStringLiteral("%1: ").arg(QLatin1String(name)) + footer(*made);
        const qsizetype split = line.indexOf(QStringLiteral(" \u00b7 "));
        if (line.size() > TableWidth && split > 0)
            out << line.left(split) << QStringLiteral("  ") + line.mid(split + 3);
        else
            out << line;
    }
    if (const QStringList differing = differingOptions(before, after); !differing.isEmpty())
        out << QStringLiteral("options that differ: ") + shownName(differing.join(QStringLiteral(", ")).toUtf8());
    out
        << QStringLiteral("size: the compressed size's change; speeds: + is faster, by the ratio of median call times")
        << QStringLiteral("[low, high]: its 95% interval, a percentile bootstrap of the timed calls (%1 resamples)").arg(Resamples)
        << QStringLiteral("*: a change, where the interval excludes none");
    return (out.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

} // namespace

std::vector<Comparison> compared(const Report &before, const Report &after)
{
    std::map<Pair, const Measurement *> earlier, later;
    std::vector<Pair> order;
    for (const auto &[report, into] : {std::pair(&before, &earlier), std::pair(&after, &later)})
        for (const Measurement &measured : report->measurements) {
            const Pair pair{measured.label, measured.file};
            if (!earlier.count(pair) && !later.count(pair))
                order.push_back(pair);
            (*into)[pair] = &measured;
        }
    std::map<QByteArray, QByteArray> digestBefore, digestAfter;
    for (const auto &[made, into] : {std::pair(&before.made, &digestBefore), std::pair(&after.made, &digestAfter)})
        for (const FileFacts &facts : made->files)
            (*into)[facts.name] = facts.sha256;
    std::vector<Comparison> comparisons;
    std::map<QString, std::pair<QString, QString>> worst; // each library's first pair not ok, each side
    std::map<QString, std::pair<Sides, Sides>> totals; // each library's files in both, each way
    std::map<QString, std::pair<unsigned long long, unsigned long long>> sizes;
    std::vector<QString> labels;
    for (const Pair &pair : order) {
        const Measurement *a = earlier.count(pair) ? earlier[pair] : nullptr, *b = later.count(pair) ? later[pair] : nullptr;
        Comparison comparison{pair.first, pair.second, false};
        comparison.beforeStatus = a ? QString::fromLatin1(statusName(a->status)) : QStringLiteral("missing");
        comparison.afterStatus = b ? QString::fromLatin1(statusName(b->status)) : QStringLiteral("missing");
        if (std::find(labels.begin(), labels.end(), pair.first) == labels.end())
            labels.push_back(pair.first);
        comparison.otherContent = digestBefore.count(pair.second) && digestAfter.count(pair.second)
                                  && digestBefore[pair.second] != digestAfter[pair.second];
        auto &[worstBefore, worstAfter] = worst[pair.first];
        for (const auto &[into, status] : {std::pair(&worstBefore, comparison.beforeStatus), std::pair(&worstAfter, comparison.afterStatus)})
            if (into->isEmpty() && status != QLatin1String("ok"))
                *into = status;
        if (a && b && a->status == RowStatus::Ok && b->status == RowStatus::Ok && !comparison.otherContent) {
            comparison.before = a->compressed;
            comparison.after = b->compressed;
            comparison.size = sizeChange(a->compressed, b->compressed);
            const Sides compress{{&a->compress.seconds}, {&b->compress.seconds}}, decompress{{&a->decompress.seconds}, {&b->decompress.seconds}};
            comparison.compress = speedChange(compress);
            comparison.decompress = speedChange(decompress);
            auto &[c, d] = totals[pair.first];
            for (auto [into, from] : {std::pair(&c, &compress), std::pair(&d, &decompress)}) {
                into->before.push_back(from->before.front());
                into->after.push_back(from->after.front());
            }
            sizes[pair.first].first += a->compressed.value_or(0);
            sizes[pair.first].second += b->compressed.value_or(0);
        }
        comparisons.push_back(std::move(comparison));
    }
    const bool manyFiles = std::any_of(comparisons.begin(), comparisons.end(),
                                       [&](const Comparison &c) { return c.file != comparisons.front().file; });
    for (const QString &label : manyFiles ? labels : std::vector<QString>()) {
        Comparison total{label, "(all)", true};
        total.beforeStatus = worst[label].first.isEmpty() ? QStringLiteral("ok") : worst[label].first;
        total.afterStatus = worst[label].second.isEmpty() ? QStringLiteral("ok") : worst[label].second;
        if (totals.count(label)) {
            total.before = sizes[label].first;
            total.after = sizes[label].second;
            total.size = sizeChange(total.before, total.after);
            total.compress = speedChange(totals[label].first);
            total.decompress = speedChange(totals[label].second);
        }
        comparisons.push_back(std::move(total));
    }
    return comparisons;
}

QByteArray writtenComparison(const std::vector<Comparison> &comparisons, ReportFormat format, const Provenance &before,
                             const Provenance &after)
{
    switch (format) {
    case ReportFormat::Csv: return csv(comparisons);
    case ReportFormat::Json: return json(comparisons, before, after);
    case ReportFormat::Table: break;
    }
    return table(comparisons, before, after);
}

bool slowerThan(const std::vector<Comparison> &comparisons, double percent)
{
    for (const Comparison &c : comparisons)
        for (const Change *change : {&c.compress, &c.decompress})
            if (change->significant && change->percent && *change->percent < -percent)
                return true;
    return false;
}

bool worsened(const std::vector<Comparison> &comparisons)
{
    return std::any_of(comparisons.begin(), comparisons.end(), [](const Comparison &c) {
        return !c.total && (c.otherContent || (c.beforeStatus == QLatin1String("ok") && c.afterStatus != QLatin1String("ok")));
    });
}

QStringList differingOptions(const Provenance &before, const Provenance &after)
{
    std::map<QString, QJsonValue> earlier(before.options.begin(), before.options.end()), later(after.options.begin(), after.options.end());
    QStringList names;
    for (const auto &[name, value] : earlier)
        if (!later.count(name) || later[name] != value)
            names << name;
    for (const auto &[name, value] : later)
        if (!earlier.count(name))
            names << name;
    return names;
}
