#include "Merge.h"

#include "FileName.h"
#include "Json.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace {

struct Refusal {
    QString why;
};

[[noreturn]] void refuse(const QString &why)
{
    throw Refusal{why};
}

QString shown(const QString &text)
{
    return shownName(text.toUtf8());
}

struct Shard {
    QString name; // the file it came from
    Report report;
    int index = 0, count = 0;
};

// "I/N" with 1 <= I <= N.
std::pair<int, int> shardOf(const Shard &shard)
{
    for (const auto &[key, value] : shard.report.made.options)
        if (key == QLatin1String("shard")) {
            const QStringList parts = value.toString().split(QLatin1Char('/'));
            bool first = false, second = false;
            const int index = parts.value(0).toInt(&first), count = parts.value(1).toInt(&second);
            if (parts.size() == 2 && first && second && count >= 1 && index >= 1 && index <= count)
                return {index, count};
            refuse(QStringLiteral("%1: its shard is %2, not I/N with 1 <= I <= N").arg(shown(shard.name), shown(QString::fromUtf8(jsonOf(value)))));
        }
    refuse(QStringLiteral("%1: it does not say which shard it is").arg(shown(shard.name)));
}

std::map<QString, QJsonValue> optionsBut(const Shard &shard, const char *left)
{
    std::map<QString, QJsonValue> options;
    for (const auto &[key, value] : shard.report.made.options)
        if (key != QLatin1String(left))
            options[key] = value;
    return options;
}

// The first option two shards differ in, in words.
void requireSameOptions(const Shard &shard, const Shard &first)
{
    const auto mine = optionsBut(shard, "shard"), theirs = optionsBut(first, "shard");
    std::set<QString> keys;
    for (const auto &options : {mine, theirs})
        for (const auto &[key, value] : options)
            keys.insert(key);
    for (const QString &key : keys) {
        const auto a = mine.find(key), b = theirs.find(key);
        const QString here = a == mine.end() ? QStringLiteral("missing") : shown(QString::fromUtf8(jsonOf(a->second)));
        const QString there = b == theirs.end() ? QStringLiteral("missing") : shown(QString::fromUtf8(jsonOf(b->second)));
        if (here != there)
            refuse(QStringLiteral("%1 was made with other options than %2: %3 is %4 there, %5 here")
                       .arg(shown(shard.name), shown(first.name), key, there, here));
    }
    if (shard.count != first.count)
        refuse(QStringLiteral("%1 is a shard of %2, %3 of %4").arg(shown(shard.name)).arg(shard.count).arg(shown(first.name)).arg(first.count));
}

void requireSameFiles(const Shard &shard, const Shard &first)
{
    const auto &mine = shard.report.made.files, &theirs = first.report.made.files;
    for (std::size_t i = 0; i < std::max(mine.size(), theirs.size()); ++i) {
        if (i >= mine.size() || i >= theirs.size() || mine[i].name != theirs[i].name)
            refuse(QStringLiteral("%1 and %2 list other files").arg(shown(shard.name), shown(first.name)));
        if (mine[i].size != theirs[i].size || mine[i].sha256 != theirs[i].sha256)
            refuse(QStringLiteral("%1 measured %2 with other content than %3 did (%4 bytes, SHA-256 %5; there %6 bytes, %7)")
                       .arg(shown(shard.name), shownName(mine[i].name), shown(first.name))
                       .arg(mine[i].size).arg(QString::fromLatin1(mine[i].sha256.left(12)))
                       .arg(theirs[i].size).arg(QString::fromLatin1(theirs[i].sha256.left(12))));
    }
}

QStringList listed(const Shard &shard, const char *key, const char *member = nullptr)
{
    for (const auto &[name, value] : shard.report.made.options)
        if (name == QLatin1String(key)) {
            QStringList items;
            for (const QJsonValue item : value.toArray())
                items << (member ? item.toObject().value(QLatin1String(member)).toString() : item.toString());
            return items;
        }
    return {};
}

QString distinct(const std::vector<Shard> &shards, QString Provenance::*field)
{
    QStringList kept;
    for (const Shard &shard : shards)
        if (!kept.contains(shard.report.made.*field))
            kept << shard.report.made.*field;
    return kept.join(QStringLiteral("; "));
}

Report joined(std::vector<Shard> &shards)
{
    const Shard &first = shards.front();
    std::set<int> seen;
    for (Shard &shard : shards) {
        std::tie(shard.index, shard.count) = shardOf(shard);
        requireSameOptions(shard, first);
        requireSameFiles(shard, first);
        if (!shard.report.made.complete)
            refuse(QStringLiteral("%1: shard %2/%3 was cut short (stopped by a signal, such as a job's time limit), "
                                  "so it holds only some of its pairs; measure it again")
                       .arg(shown(shard.name)).arg(shard.index).arg(shard.count));
        if (!seen.insert(shard.index).second)
            refuse(QStringLiteral("%1: shard %2/%3 is given twice").arg(shown(shard.name)).arg(shard.index).arg(shard.count));
    }
    for (int index = 1; index <= first.count; ++index)
        if (!seen.count(index))
            refuse(QStringLiteral("shard %1/%2 is missing").arg(index).arg(first.count));

    // Every (library, file) pair of the options exactly once, in the order of one sweep.
    const QStringList labels = listed(first, "libraries", "label");
    QByteArrayList files;
    for (const QString &file : listed(first, "files"))
        files << bytesOfText(file);
    const std::vector<FileFacts> &facts = first.report.made.files;
    for (qsizetype file = 0; file < files.size(); ++file)
        if (std::size_t(files.size()) != facts.size() || facts[std::size_t(file)].name != files[file])
            refuse(QStringLiteral("%1: its files and its options' files differ").arg(shown(first.name)));
    std::map<std::pair<qsizetype, qsizetype>, const Measurement *> pairs;
    for (const Shard &shard : shards)
        for (const Measurement &measured : shard.report.measurements) {
            const qsizetype file = files.indexOf(measured.file), library = labels.indexOf(measured.label);
            const QString pair = QStringLiteral("%1 on %2").arg(shown(measured.label), shownName(measured.file));
            if (file < 0 || library < 0)
                refuse(QStringLiteral("%1 holds %2, which its options do not name").arg(shown(shard.name), pair));
            if (measured.size != facts[std::size_t(file)].size)
                refuse(QStringLiteral("%1: %2 has %3 bytes, where the file has %4").arg(shown(shard.name), pair).arg(measured.size).arg(facts[std::size_t(file)].size));
            if (!pairs.emplace(std::pair(file, library), &measured).second)
                refuse(QStringLiteral("%1 is in more than one shard (again in %2)").arg(pair, shown(shard.name)));
        }
    // A library is one build of one codec throughout, wherever it loaded.
    std::map<QString, std::pair<const Measurement *, QString>> builds; // label: a row that loaded it, and its shard
    for (const Shard &shard : shards)
        for (const Measurement &measured : shard.report.measurements) {
            if (measured.librarySha256.isEmpty() && measured.codecs.isEmpty())
                continue; // it never loaded
            const auto [seen, fresh] = builds.emplace(measured.label, std::pair(&measured, shard.name));
            const Measurement &first = *seen->second.first;
            if (fresh)
                continue;
            if (first.codecs != measured.codecs)
                refuse(QStringLiteral("%1 ran on %2 in %3, on %4 in %5").arg(shown(measured.label), shown(first.codecs),
                                                                            shown(seen->second.second), shown(measured.codecs), shown(shard.name)));
            if (first.librarySha256 != measured.librarySha256)
                refuse(QStringLiteral("%1 is one build of its library in %2 (SHA-256 %3), another in %4 (%5)")
                           .arg(shown(measured.label), shown(seen->second.second), shown(QString::fromLatin1(first.librarySha256)),
                                shown(shard.name), shown(QString::fromLatin1(measured.librarySha256))));
        }
    Report merged;
    for (qsizetype file = 0; file < files.size(); ++file)
        for (qsizetype library = 0; library < labels.size(); ++library) {
            const auto found = pairs.find({file, library});
            if (found == pairs.end())
                refuse(QStringLiteral("no shard holds %1 on %2").arg(shown(labels[library]), shownName(files[file])));
            merged.measurements.push_back(*found->second);
        }
    merged.made = {distinct(shards, &Provenance::machine), distinct(shards, &Provenance::date),
                   distinct(shards, &Provenance::version), {}, first.report.made.files, true};
    for (const auto &[key, value] : first.report.made.options)
        merged.made.options.emplace_back(key, key == QLatin1String("shard") ? QJsonValue(QStringLiteral("1/1")) : value);
    return merged;
}

} // namespace

std::optional<Report> merge(const QStringList &files)
{
    try {
        std::vector<Shard> shards;
        for (const QString &name : files) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly))
                refuse(QStringLiteral("%1: %2").arg(shown(name), file.errorString()));
            auto read = readReport(file.readAll());
            if (const QString *why = std::get_if<QString>(&read))
                refuse(QStringLiteral("%1: %2").arg(shown(name), *why));
            shards.push_back({name, std::move(std::get<Report>(read))});
        }
        return joined(shards);
    } catch (const Refusal &refusal) {
        std::fprintf(stderr, "brevimeter-bench: %s\n", qPrintable(refusal.why));
        return std::nullopt;
    }
}
