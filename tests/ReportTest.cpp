// The report of a sweep from its measurements: every figure of a line and of
// a library's total, the notes, JSON written and read back with every figure
// checked, shards dealt and joined, and the table for a terminal.
#include "Compare.h"
#include "Deal.h"
#include "Merge.h"
#include "Progress.h"
#include "Report.h"
#include "ReportLine.h"
#include "ReportTable.h"
#include "support/QStringPrinter.h"
#include "support/ScratchFolder.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cstring>
#include <numeric>
#include <set>

namespace {

// Times that add up exactly, so that every total can be written out.
Measurement measured(const char *label, const char *file, unsigned long long size, std::optional<unsigned long long> compressed,
                     DirectionSamples compress, DirectionSamples decompress, RowStatus status = RowStatus::Ok)
{
    return {QString::fromLatin1(label), QStringLiteral("lib/%1.so").arg(QLatin1String(label)), file, size, compressed,
            std::move(compress), std::move(decompress), status, status == RowStatus::Ok ? QString() : QStringLiteral("boom")};
}

Report sample()
{
    Report report;
    report.measurements = {
        measured("a", "f1", 1000, 400, {{0.75, 0.25, 0.5}, {0.5, 0.25, 0.375}, {3, 1, 2}, 1.5, 4, 9},
                 {{0.125, 0.375}, {0.125, 0.25}, {5, 7}, 0.5, 2, 7}),
        measured("b", "f1", 1000, 1000, {{0.5}, {0.5}, {0}, 0.5, 0, 1}, {{0.5}, {0.5}, {0}, 0.5, 0, 1}),
        // Slow to start, and on one thread far from busy all the time.
        measured("a", "f2", 3000, 1000, {{2}, {0.5}, {10}, 32, 6, 8}, {{1}, {1}, {1}, 1.5, 1, 3}),
        // A failure after a file that went through.
        measured("b", "f2", 3000, 10, {{0.5}, {0.5}, {1}, 0.5, 1, 2}, {}, RowStatus::Failed)};
    report.made = {"a machine", "2026-12-08 10:00 UTC", "9.9",
                   {{"runs", 2}, {"files", QJsonArray{"f1", "f2"}}, {"shard", "1/1"}},
                   {{"f1", 1000, "aa"}, {"f2", 3000, "bb"}}, true};
    return report;
}

QStringList csvLines(const Report &report)
{
    return QString::fromUtf8(written(report, ReportFormat::Csv)).split('\n', Qt::SkipEmptyParts);
}

// Every column of a measurement's line and of each library's total: sizes
// and times summed over the files, peaks the highest, notes any file's, and a
// total that is ok only where every file is.
TEST(Report, GivesEveryFigureOfALineAndOfATotal)
{
    const QStringList lines = csvLines(sample());
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines.mid(1), (QStringList{
        R"-("lib/a.so","f1",1000,400,2.5,0.25,0.5,0.125,0.25,0.002,0.004,0.5625,9,"ok","a",0.75,0.375,0.375,0.1875,4,2,2,6,1.5,0.5,3,2,"","","",1,"")-",
        R"-("lib/b.so","f1",1000,1000,1,0.5,0.5,0.5,0.5,0.002,0.002,1,1,"ok","b",0.5,0.5,0.5,0.5,0,0,0,0,0.5,0.5,1,1,"","","",1,"")-",
        R"-("lib/a.so","f2",3000,1000,3,2,2,1,1,0.0015,0.003,1.5,8,"ok","a",2,1,0.5,1,6,1,10,1,32,1.5,1,1,"first-compress-slow cpu-below-wall","","",1,"")-",
        R"-("lib/b.so","f2",3000,10,300,0.5,0.5,,,0.006,,,,"failed","b",0.5,,0.5,,1,,1,,0.5,,1,,"","boom","",1,"")-",
        R"-("lib/a.so","(all)",4000,1400,2.857142857142857,2.25,2.5,1.125,1.25,0.0016,0.0032,2.0625,9,"ok","a",2.75,1.375,0.875,1.1875,6,2,12,7,33.5,2,4,3,"first-compress-slow cpu-below-wall","","",1,"")-",
        R"-("lib/b.so","(all)",4000,1010,3.9603960396039604,1,1,,,0.004,,,,"failed","b",1,,1,,1,,1,,1,,2,,"","","",1,"")-"}));
    EXPECT_EQ(lines[0].count(',') + 1, QString(lines[1]).count(',') + 1) << "as many columns as names";
}

// A note says what a reader should know of the figures: a first call far
// slower than the median (each way), and calls on one thread that spent well
// under their wall time in CPU time (not for a few microseconds, not on
// several threads).
TEST(Report, NotesWhatTheFiguresDoNotShow)
{
    struct Case {
        DirectionSamples compress, decompress;
        QStringList notes;
    };
    const Case cases[] = {
        {{{1, 1}, {1, 1}, {}, 10}, {{1}, {1}, {}, 10.5}, {"first-decompress-slow"}},
        {{{1, 1}, {1, 1}, {}, 10.5}, {{1}, {1}, {}, 10}, {"first-compress-slow"}},
        {{{1, 1}, {1.5, 0.4}, {}, 1}, {{1}, {1}, {}, 1}, {}},
        {{{1, 1}, {0.7, 0.7}, {}, 1}, {{1}, {1}, {}, 1}, {"cpu-below-wall"}},
        {{{1, 1}, {0.7, 0.7}, {}, 1, {}, {}, false}, {{1}, {1}, {}, 1}, {}},
        {{{1}, {1}, {}, 1}, {{1e-4}, {2e-5}, {}, 1e-4}, {}},
        {{{1}, {1}, {}, 1}, {{0.01}, {0.001}, {}, 0.01}, {"cpu-below-wall"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(lineOf(measured("a", "f", 1, 1, c.compress, c.decompress)).notes, c.notes) << c.notes.join(' ').toStdString();
}

// JSON gives back the measurements, samples and provenance it was written
// from, and a report whose figures do not follow from its samples, or that
// holds what no measurement gives, is refused with the row and the figure.
TEST(Report, ReadsBackWhatItWroteAndNothingElse)
{
    const Report report = sample();
    const QByteArray json = written(report, ReportFormat::Json);
    const auto read = readReport(json);
    ASSERT_TRUE(std::holds_alternative<Report>(read)) << std::get<QString>(read).toStdString();
    const Report &back = std::get<Report>(read);
    EXPECT_EQ(back.measurements, report.measurements);
    EXPECT_EQ(back.made.files, report.made.files);
    EXPECT_EQ(back.made.complete, true);
    EXPECT_EQ(written(back, ReportFormat::Csv), written(report, ReportFormat::Csv));
    const std::pair<std::pair<const char *, const char *>, const char *> edits[] = {
        {{"\"compress_s_median\": 0.5,", "\"compress_s_median\": 0.25,"},
         "row 1 (a on f1): compress_s_median is 0.25, but its samples give 0.5"},
        {{"\"size\": 1000,", "\"size\": -5,"}, "row 1 (a on f1): size is -5, not a whole number of 0 or more"},
        {{"\"faults\": [3, 1, 2]", "\"faults\": [3, 1.5, 2]"}, "row 1 (a on f1): faults is 1.5, not a whole number of 0 or more"},
        {{"\"s\": [0.75", "\"s\": [-0.75"}, "row 1 (a on f1): s is -0.75, not a finite number of 0 or more"},
        {{"\"s\": [0.75", "\"s\": [1e999"}, "not JSON (illegal number"},
        {{"\"status\": \"ok\"", "\"status\": \"fine\""}, "row 1 (a on f1): no such status as \"fine\""},
        {{"\"size\": 4000,", "\"size\": 4001,"}, "row 5 (a on (all)): size is 4001, but its samples give 4000"},
        {{"\"complete\": true", "\"complete\": 1"}, "the report: \"complete\" is missing or not what a report holds there"},
        {{"\"rows\": [", "\"rowz\": ["}, "not a JSON report of brevimeter-bench"},
        {{"\"peak_mib\": 4,", "\"peak_mib\": null,"},
         "row 1 (a on f1): it is ok, but without the timed calls, output and peaks of a pair that went through"},
        {{"\"process_peak_mib\": 9,", "\"process_peak_mib\": null,"},
         "row 1 (a on f1): it is ok, but without the timed calls, output and peaks of a pair that went through"}};
    for (const auto &[edit, why] : edits) {
        const qsizetype at = json.indexOf(edit.first);
        ASSERT_GE(at, 0) << edit.first;
        const auto refused = readReport(QByteArray(json).replace(at, qsizetype(std::strlen(edit.first)), edit.second));
        EXPECT_TRUE(std::get<QString>(refused).startsWith(QLatin1String(why))) << std::get<QString>(refused).toStdString();
    }
}

// Each library's files are dealt apart, the largest first to the shard with
// the fewest of its bytes: every pair once, every library in every shard
// where it has files enough, and no shard of a library more than one file
// ahead of another.
TEST(Report, DealsEachLibrarysFilesEvenlyToTheShards)
{
    const std::vector<unsigned long long> sizes{152089, 125179, 24603, 11150, 3721, 1029744, 426754, 481861, 513216, 38240, 4227, 4638690, 4047392, 2473400};
    for (const auto &[libraries, shards] : {std::pair(2, 8), std::pair(3, 5), std::pair(1, 1), std::pair(9, 14)}) {
        const std::vector<int> shardOf = dealt(std::size_t(libraries), sizes, shards);
        ASSERT_EQ(shardOf.size(), sizes.size() * std::size_t(libraries));
        for (int library = 0; library < libraries; ++library) {
            std::vector<unsigned long long> load(std::size_t(shards), 0);
            for (std::size_t file = 0; file < sizes.size(); ++file) {
                const int shard = shardOf[file * std::size_t(libraries) + std::size_t(library)];
                ASSERT_GE(shard, 1);
                ASSERT_LE(shard, shards);
                load[std::size_t(shard - 1)] += sizes[file] + (64 << 10);
            }
            EXPECT_EQ(std::count(load.begin(), load.end(), 0ull), 0) << library << " in every one of " << shards;
            EXPECT_LE(*std::max_element(load.begin(), load.end()) - *std::min_element(load.begin(), load.end()),
                      *std::max_element(sizes.begin(), sizes.end()) + (64 << 10)) << library;
        }
    }
    // The largest first: 2, 1 and 1 MB make two even shards, not 3 and 1.
    EXPECT_EQ(dealt(1, {2000000, 1000000, 1000000}, 2), (std::vector<int>{1, 2, 2}));
    // Three files and eight shards: the libraries start where the last one ended.
    const std::vector<int> few = dealt(2, {30, 20, 10}, 8);
    EXPECT_EQ(std::set<int>(few.begin(), few.end()).size(), 6u);
}

// For a terminal: no line past 100 columns with names of 24 characters, a
// longer name shortened in the middle (CSV keeps it whole), each note's mark
// explained below.
TEST(Report, FitsATerminalWithNamesShortenedInTheMiddle)
{
    Report report = sample();
    const QString name = QStringLiteral("a-library-label-of-24-ch"), longer = QStringLiteral("a-much-longer-label-that-will-not-fit");
    report.measurements[0].label = report.measurements[2].label = name;
    report.measurements[1].label = report.measurements[3].label = longer;
    for (Measurement &one : report.measurements)
        one.file = "folder/a-file-name-of-24-chars" + one.file;
    report.made.machine = QStringLiteral("A processor with a very long model name indeed, 128 cores, Linux 6.18.44-something-long");
    const QStringList table = QString::fromUtf8(written(report, ReportFormat::Table)).split('\n', Qt::SkipEmptyParts);
    for (const QString &line : table)
        EXPECT_LE(line.size(), TableWidth) << line.toStdString();
    EXPECT_EQ(table.filter(QStringLiteral("  ") + name + ' ').size(), 3) << table.join('\n').toStdString();
    EXPECT_EQ(table.filter(QStringLiteral("  a-much-longe\u2026ill-not-fit ")).size(), 3) << table.join('\n').toStdString();
    EXPECT_TRUE(csvLines(report)[2].contains(longer));
    EXPECT_TRUE(table.contains(QStringLiteral("a: the first compression took over 10 times the median: results kept between calls? (try --fresh)")));
    EXPECT_EQ(shortened(QStringLiteral("abcdefghij"), 5), QStringLiteral("ab\u2026ij"));

    // What a report read back says of where it was made acts on no terminal.
    report.made.machine = QStringLiteral("m\x1b[2J");
    report.made.version = QStringLiteral("v\x1b]0;");
    report.measurements[0].codecs = QStringLiteral("z\x1b[31m");
    const QByteArray escaped = written(report, ReportFormat::Table);
    EXPECT_FALSE(escaped.contains('\x1b'));
    EXPECT_TRUE(escaped.contains("m\\x1b[2J") && escaped.contains("v\\x1b]0;") && escaped.contains("z\\x1b[31m")) << escaped.toStdString();
}

// Two reports of the same pairs: a speed doubled beyond doubt is a change, a
// speed the same is none, a size is what it is; with too few calls, nothing
// counts; a library's total takes the files both measured; a pair in one
// report alone is said to be missing from the other.
TEST(Report, ComparesTwoReportsWithConfidence)
{
    const std::vector<double> second{1.0, 1.1, 0.9, 1.0, 1.05}, half{0.5, 0.55, 0.45, 0.5, 0.52};
    Report before, after;
    before.measurements = {measured("a", "f1", 1000, 400, {second, second}, {second, second}),
                           measured("a", "f2", 1000, 500, {second, second}, {{1, 1}, {1, 1}}),
                           measured("b", "f1", 1000, 100, {second, second}, {second, second})};
    after.measurements = {measured("a", "f1", 1000, 380, {half, half}, {second, second}),
                          measured("a", "f2", 1000, 500, {half, half}, {{2, 2}, {2, 2}})};
    const std::vector<Comparison> changes = compared(before, after);
    ASSERT_EQ(changes.size(), 5u);
    const Comparison &f1 = changes[0], &f2 = changes[1], &missing = changes[2], &total = changes[3];
    EXPECT_NEAR(*f1.compress.percent, 100, 1e-9);
    EXPECT_TRUE(f1.compress.significant);
    EXPECT_GT(*f1.compress.low, 50);
    EXPECT_NEAR(*f1.decompress.percent, 0, 1e-9);
    EXPECT_FALSE(f1.decompress.significant);
    EXPECT_LT(*f1.decompress.low, 0);
    EXPECT_GT(*f1.decompress.high, 0);
    EXPECT_NEAR(*f1.size.percent, -5, 1e-9);
    EXPECT_TRUE(f1.size.significant);
    EXPECT_NEAR(*f2.decompress.percent, -50, 1e-9);
    EXPECT_FALSE(f2.decompress.low) << "two calls a side give no interval";
    EXPECT_FALSE(f2.decompress.significant);
    EXPECT_EQ((QStringList{missing.label, missing.beforeStatus, missing.afterStatus}), (QStringList{"b", "ok", "missing"}));
    EXPECT_EQ((std::tuple(total.label, total.file, *total.before, *total.after)), (std::tuple(QStringLiteral("a"), QByteArray("(all)"), 900ull, 880ull)));
    EXPECT_NEAR(*total.compress.percent, 100, 1e-9);
    EXPECT_TRUE(total.compress.significant);
    EXPECT_NEAR(*total.decompress.percent, (1.0 + 1.0) / (1.0 + 2.0) * 100 - 100, 1e-9) << "time before over time after, summed";
    EXPECT_TRUE(slowerThan(compared(after, before), 40));
    EXPECT_FALSE(slowerThan(compared(after, before), 60));
    EXPECT_EQ(writtenComparison(changes, ReportFormat::Csv, before.made, after.made),
              writtenComparison(compared(before, after), ReportFormat::Csv, before.made, after.made)) << "the same intervals again";
}

// What no speed makes up for: a pair ok before and failed or missing after,
// or a file whose content changed, which is shown but neither compared nor
// counted in the total; a total is as bad as its worst pair. Four calls a
// side give no interval.
TEST(Report, ComparisonCountsOnlyTheSameContentAndFailsOnAWorsenedPair)
{
    const std::vector<double> four{1.0, 1.1, 0.9, 1.0}, half{0.5, 0.55, 0.45, 0.5};
    Report before, after;
    before.measurements = {measured("a", "f1", 1000, 400, {four, four}, {four, four}),
                           measured("a", "f2", 1000, 500, {four, four}, {four, four})};
    after.measurements = {measured("a", "f1", 1000, 300, {half, half}, {half, half}),
                          measured("a", "f2", 1000, 500, {half, half}, {half, half})};
    before.made.files = {{"f1", 1000, "aa"}, {"f2", 1000, "bb"}};
    after.made.files = {{"f1", 1000, "cc"}, {"f2", 1000, "bb"}};
    before.made.options = {{"runs", 4}, {"threads", 1}};
    after.made.options = {{"runs", 4}, {"threads", 2}, {"fresh", true}};
    std::vector<Comparison> changes = compared(before, after);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_TRUE(changes[0].otherContent);
    EXPECT_FALSE(changes[0].size.percent) << "another file's size is no change";
    EXPECT_FALSE(changes[1].otherContent);
    EXPECT_FALSE(changes[1].compress.low) << "four calls a side give no interval";
    EXPECT_EQ(*changes[2].before, 500u) << "the total leaves out the changed file";
    EXPECT_TRUE(worsened(changes));
    EXPECT_EQ(differingOptions(before.made, after.made), (QStringList{"threads", "fresh"}));
    EXPECT_TRUE(writtenComparison(changes, ReportFormat::Table, before.made, after.made).contains("options that differ: threads, fresh"));
    EXPECT_TRUE(writtenComparison(changes, ReportFormat::Table, before.made, after.made).contains("other content, not compared"));

    after.made.files = before.made.files;
    after.measurements[0].status = RowStatus::Failed;
    after.measurements[1].status = RowStatus::Mismatch;
    changes = compared(before, after);
    EXPECT_FALSE(changes[0].otherContent);
    EXPECT_EQ((QStringList{changes[2].beforeStatus, changes[2].afterStatus}), (QStringList{"ok", "failed"})) << "a total is its first pair not ok";
    after.measurements[0].status = RowStatus::Ok;
    EXPECT_TRUE(worsened(changes));
    after.measurements.pop_back();
    EXPECT_TRUE(worsened(compared(before, after))) << "a pair gone missing";
    EXPECT_FALSE(worsened(compared(before, before)));
    before.measurements[1].status = RowStatus::Failed;
    EXPECT_FALSE(worsened(compared(before, before))) << "failed both times is no worse";
}

// Where the sweep is, and how long the rest will take at each library's own
// pace (the others' for one not yet started); away from a terminal, a line
// at most every so often.
TEST(Report, ForeseesTheRestAtEachLibrarysPace)
{
    double now = 0;
    Progress progress(false, 10, [&] { return now; });
    progress.plan({{0, 100}, {1, 100}, {0, 300}, {2, 100}});
    testing::internal::CaptureStderr();
    now = 4, progress.done(0, 100);  // 1 s of library 0 a 25 bytes
    now = 12, progress.done(1, 100); // library 1 twice as slow
    EXPECT_EQ(progress.summary().toStdString(), "2 of 4 pairs, 0:12 so far, about 0:18 left");
    now = 12.5, progress.done(0, 300);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "brevimeter-bench: 2 of 4 pairs, 0:12 so far, about 0:18 left\n");
}

class Shards : public ScratchFolder {
protected:
    // Shard `index` of two of the sample's sweep: the first pair of each file, or the second.
    Report shard(int index) const
    {
        Report part = sample();
        part.made.options = {{"runs", 2},
                             {"libraries", QJsonArray{QJsonObject{{"label", "a"}}, QJsonObject{{"label", "b"}}}},
                             {"files", QJsonArray{"f1", "f2"}},
                             {"shard", QStringLiteral("%1/2").arg(index)}};
        part.measurements = {part.measurements[std::size_t(index - 1)], part.measurements[std::size_t(index + 1)]};
        return part;
    }

    QString save(const Report &report, const std::string &name) const
    {
        write(name, written(report, ReportFormat::Json).toStdString());
        return QString::fromStdString(name);
    }

    // What merging says on standard error.
    std::pair<std::optional<Report>, std::string> merged(const QStringList &files)
    {
        testing::internal::CaptureStderr();
        std::optional<Report> joined = merge(files);
        return {std::move(joined), testing::internal::GetCapturedStderr()};
    }
};

// The shards of one sweep join into the report that sweep would have made,
// in its order; anything that would make a whole of parts that are not one is
// refused, the file and the reason named, every name escaped.
TEST_F(Shards, JoinIntoOneSweepOrNothing)
{
    const QString one = save(shard(1), "1.json"), two = save(shard(2), "2.json");
    const auto [joined, said] = merged({two, one});
    ASSERT_TRUE(joined) << said;
    EXPECT_EQ(joined->measurements, sample().measurements);
    EXPECT_EQ(written(*joined, ReportFormat::Csv), written(sample(), ReportFormat::Csv));

    int edits = 0;
    const auto edited = [&](const std::function<void(Report &)> &edit) {
        Report part = shard(2);
        edit(part);
        return save(part, "edited-" + std::to_string(++edits) + ".json");
    };
    const std::pair<QStringList, std::string> refused[] = {
        {{one}, "shard 2/2 is missing"},
        {{one, one}, "1.json: shard 1/2 is given twice"},
        {{one, edited([](Report &r) { r.made.complete = false; })},
         "edited-1.json: shard 2/2 was cut short (stopped by a signal, such as a job's time limit), so it holds only some of its pairs; measure it again"},
        {{edited([](Report &r) { r.made.options.back().second = QStringLiteral("1/0"); }), one},
         "edited-2.json: its shard is \"1/0\", not I/N with 1 <= I <= N"},
        {{one, edited([](Report &r) { r.made.options.front().second = 3; })},
         "edited-3.json was made with other options than 1.json: runs is 2 there, 3 here"},
        {{one, edited([](Report &r) { r.made.files[1].sha256 = "cc"; })},
         "edited-4.json measured f2 with other content than 1.json did (3000 bytes, SHA-256 cc; there 3000 bytes, bb)"},
        {{one, edited([](Report &r) { r.measurements[0] = sample().measurements[0]; })},
         "a on f1 is in more than one shard (again in edited-5.json)"},
        {{one, edited([](Report &r) { r.measurements.pop_back(); })}, "no shard holds b on f2"},
        {{one, edited([](Report &r) { r.measurements[0].label = "c\x1b[2J"; })},
         "edited-7.json holds c\\x1b[2J on f1, which its options do not name"},
        {{one, "no\x1b]such.json"}, "no\\x1b]such.json: No such file or directory"},
        {{one, edited([](Report &r) { r.measurements[0].codecs = "libzstd 1.5.5", r.measurements[1].codecs = "libzstd 1.5.4"; })},
         "b ran on libzstd 1.5.5 in edited-8.json, on libzstd 1.5.4 in edited-8.json"},
        {{one, edited([](Report &r) { r.measurements[0].librarySha256 = "dd", r.measurements[1].librarySha256 = "ee"; })},
         "b is one build of its library in edited-9.json (SHA-256 dd), another in edited-9.json (ee)"}};
    for (const auto &[files, why] : refused) {
        const auto [none, told] = merged(files);
        EXPECT_FALSE(none) << why;
        EXPECT_EQ(told, "brevimeter-bench: " + why + "\n");
    }
}

} // namespace
