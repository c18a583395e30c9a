#include "Merge.h"

#include "FileName.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <set>

namespace {

std::optional<Merged> refuse(const QString &why)
{
    std::fprintf(stderr, "brevimeter-bench: %s\n", qPrintable(why));
    return std::nullopt;
}

std::optional<double> figure(const QJsonObject &row, const char *key)
{
    const QJsonValue value = row.value(QLatin1String(key));
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

Direction direction(const QJsonObject &row, const QString &way)
{
    const auto key = [&](const char *what) { return (way + QLatin1String(what)).toLatin1(); };
    return {figure(row, key("_s_min")), figure(row, key("_s_median")), figure(row, key("_s_max")),
            figure(row, key("_cpu_s")), figure(row, key("_peak_mib")), figure(row, key("_faults"))};
}

Line lineFrom(const QJsonObject &row)
{
    Line line{row.value(QLatin1String("label")).toString(), row.value(QLatin1String("library")).toString(),
              bytesOfJsonText(row.value(QLatin1String("file")).toString()), false,
              static_cast<unsigned long long>(row.value(QLatin1String("size")).toDouble())};
    if (const auto compressed = figure(row, "compressed"))
        line.compressed = static_cast<unsigned long long>(*compressed);
    line.compress = direction(row, QStringLiteral("compress"));
    line.decompress = direction(row, QStringLiteral("decompress"));
    line.cpuRoundTrip = figure(row, "cpu_s");
    line.peakMiB = figure(row, "peak_rss_mib");
    line.status = statusNamed(row.value(QLatin1String("status")).toString()).value_or(RowStatus::Failed);
    return line;
}

QString distinct(const QStringList &values)
{
    QStringList kept;
    for (const QString &value : values)
        if (!kept.contains(value))
            kept << value;
    return kept.join(QStringLiteral("; "));
}

} // namespace

std::optional<Merged> merge(const QStringList &files)
{
    QJsonObject common;
    QStringList machines, dates, versions;
    std::set<int> shards;
    int count = 0;
    std::vector<QJsonObject> rows;
    for (const QString &name : files) {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            return refuse(QStringLiteral("%1: %2").arg(name, file.errorString()));
        const QJsonObject part = QJsonDocument::fromJson(file.readAll()).object();
        QJsonObject options = part.value(QLatin1String("options")).toObject();
        const QStringList shard = options.take(QLatin1String("shard")).toString().split(QLatin1Char('/'));
        if (!part.value(QLatin1String("rows")).isArray() || shard.size() != 2)
            return refuse(QStringLiteral("%1: not a JSON report of brevimeter-bench").arg(name));
        if (name != files.first() && (options != common || shard[1].toInt() != count))
            return refuse(QStringLiteral("%1 was made with other options than %2").arg(name, files.first()));
        common = options;
        count = shard[1].toInt();
        if (!shards.insert(shard[0].toInt()).second)
            return refuse(QStringLiteral("%1: part %2 is given twice").arg(name, shard.join(QLatin1Char('/'))));
        machines << part.value(QLatin1String("machine")).toString();
        dates << part.value(QLatin1String("date")).toString();
        versions << part.value(QLatin1String("version")).toString();
        for (const QJsonValue row : part.value(QLatin1String("rows")).toArray())
            rows.push_back(row.toObject());
    }
    for (int shard = 1; shard <= count; ++shard)
        if (!shards.count(shard))
            return refuse(QStringLiteral("part %1/%2 is missing").arg(shard).arg(count));

    // Back into the order of one sweep: file by file, the libraries side by side.
    QByteArrayList order;
    for (const QJsonValue file : common.value(QLatin1String("files")).toArray())
        order << bytesOfJsonText(file.toString());
    const QJsonArray libraries = common.value(QLatin1String("libraries")).toArray();
    const auto place = [&](const Line &line) {
        qsizetype library = 0;
        while (library < libraries.size() && libraries[library].toObject().value(QLatin1String("label")).toString() != line.label)
            ++library;
        return std::pair(order.indexOf(line.file), library);
    };
    Merged merged;
    for (const QJsonObject &row : rows) {
        Line line = lineFrom(row);
        if (order.contains(line.file)) // not a total
            merged.lines.push_back(std::move(line));
    }
    std::stable_sort(merged.lines.begin(), merged.lines.end(), [&](const Line &a, const Line &b) { return place(a) < place(b); });

    merged.made = {distinct(machines), distinct(dates), distinct(versions), {}};
    for (auto it = common.begin(); it != common.end(); ++it) {
        QByteArray value = QJsonDocument(QJsonArray{it.value()}).toJson(QJsonDocument::Compact).chopped(1).mid(1);
        if (it.key() == QLatin1String("files")) { // names keep their bytes
            QByteArrayList names;
            for (const QByteArray &file : order)
                names << jsonString(file);
            value = '[' + names.join(", ") + ']';
        }
        merged.made.options.emplace_back(it.key().toUtf8(), value);
    }
    merged.made.options.emplace_back("shard", "\"1/1\""); // the whole sweep now
    return merged;
}
