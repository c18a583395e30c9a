// brevimeter-bench as its users run it, with stand-in libraries: a row for each
// library on each file with its status, the exit status, the user's files left
// alone, and no scratch folder left behind.
#include "support/QStringPrinter.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <csignal>
#include <functional>
#include <map>
#include <numeric>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

const QString Columns = QStringLiteral("library,file,size,compressed,ratio,compress_s_min,compress_s_median,"
                                       "decompress_s_min,decompress_s_median,compress_mb_s,decompress_mb_s,cpu_s,"
                                       "peak_rss_mib,status,label,compress_s_max,decompress_s_max,compress_cpu_s,"
                                       "decompress_cpu_s,compress_peak_mib,decompress_peak_mib,compress_faults,"
                                       "decompress_faults,compress_s_first,decompress_s_first,compress_calls,"
                                       "decompress_calls,notes,reason,codecs,threads,library_sha256");

// A CSV line's fields by column name.
struct Fields {
    QStringList values;
    QString operator[](const char *column) const { return values.value(Columns.split(',').indexOf(QLatin1String(column))); }
    double number(const char *column) const { return (*this)[column].toDouble(); }
};

// The rows of a CSV report without the header, quotes taken off (no field
// of these holds a comma).
std::vector<Fields> csvRows(const QString &output)
{
    std::vector<Fields> rows;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1))
        rows.push_back({QString(line).remove('"').split(',')});
    return rows;
}
const std::string Data(5000, 'd');

struct Ran {
    int exit;
    QString output, errors;
    bool bySignal;
    QByteArray bytes; // the output as written
};

class Sweep : public ScratchFolder {
protected:
    // The program with its work under the test's own folder; `started` runs
    // while it does, and stand-ins note their calls in the file "log".
    // With `fileLimit`, no file the program (or a worker) writes may pass that many bytes.
    Ran run(const QStringList &arguments, const std::function<void(QProcess &)> &started = {},
            const QString &outputFile = {}, rlim_t fileLimit = RLIM_INFINITY)
    {
        std::filesystem::create_directory(path("scratch"));
        QProcess program;
        program.setChildProcessModifier([fileLimit] {
            const rlimit limit{fileLimit, fileLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BREVIMETER_STANDIN_LOG"), QString::fromStdString(path("log")));
        program.setProcessEnvironment(environment);
        if (!outputFile.isEmpty())
            program.setStandardOutputFile(outputFile);
        // A sweep's defaults here; a mode that reads reports takes none of them.
        const bool sweeps = !arguments.contains("--merge") && !arguments.contains("--compare") && !arguments.contains("--list-libraries");
        program.start(QStringLiteral(BENCH_PROGRAM),
                      (sweeps ? QStringList{"--runs", "2", "--timeout", "120", "--scratch", QString::fromStdString(path("scratch"))}
                              : QStringList())
                          + arguments);
        if (started)
            started(program);
        EXPECT_TRUE(program.waitForFinished(300000));
        EXPECT_TRUE(std::filesystem::is_empty(path("scratch"))) << "the scratch folder is removed";
        const QByteArray output = program.readAllStandardOutput();
        return {program.exitCode(), QString::fromUtf8(output), QString::fromUtf8(program.readAllStandardError()),
                program.exitStatus() == QProcess::CrashExit, output};
    }

    // What the stand-ins noted, a line each.
    QStringList logged() const { return QString::fromStdString(read(path("log"))).split('\n', Qt::SkipEmptyParts); }
    // The process of each call an entry point took, by its name.
    QSet<QString> processes(const char *entry) const
    {
        QSet<QString> seen;
        for (const QString &line : logged())
            if (line.startsWith(QLatin1String(entry) + ' '))
                seen << line.section(' ', 1, 1);
        return seen;
    }
    // What the stand-in took, in seconds, for each of its calls.
    std::vector<double> took() const
    {
        std::vector<double> seconds;
        for (const QString &line : logged())
            if (line.startsWith(QStringLiteral("took ")))
                seconds.push_back(line.section(' ', 1, 1).toDouble());
        return seconds;
    }
};

struct Case {
    const char *library, *status, *compressed, *reason;
};

class SweepRows : public Sweep, public ::testing::WithParamInterface<Case> {};

// Whatever the first library does, the second still gets its row, and the
// user's file, given by a relative name, is as it was. What one process
// compressed is always given back by another.
TEST_P(SweepRows, TakeOneRowEachAndGoOn)
{
    const Case &c = GetParam();
    write("data", Data);
    // The files by relative names, so that a library that moves to another folder would lose them.
    const Ran ran = run({"--format", "csv", "--library", testLibrary(c.library), "--library", "second=" + testLibrary("copy"),
                         "--timeout", c.library == std::string("hang") ? "2" : "120", "--scratch", "scratch", "data"});
    const std::vector<Fields> rows = csvRows(ran.output);
    ASSERT_EQ(rows.size(), 2u) << ran.output.toStdString() << ran.errors.toStdString();
    const Fields &row = rows[0];
    EXPECT_EQ(row["library"], testLibrary(c.library));
    EXPECT_EQ(row["label"], QLatin1String(c.library) + QStringLiteral("/" NORVIK_LIBRARY_FILE));
    EXPECT_EQ((QStringList{row["file"], row["size"]}), (QStringList{"data", "5000"}));
    if (c.compressed) // a forked process may say so before or after the call's figures
        EXPECT_EQ(row["compressed"], QLatin1String(c.compressed));
    EXPECT_EQ(row["status"], QLatin1String(c.status));
    EXPECT_TRUE(ran.errors.contains(QLatin1String(c.reason))) << ran.errors.toStdString();
    EXPECT_TRUE((QLatin1String(c.status) + ": " + row["reason"]).contains(QString::fromLatin1(c.reason).remove('"')))
        << row["reason"].toStdString();
    EXPECT_EQ(rows[1]["status"], QStringLiteral("ok"));
    EXPECT_EQ(ran.exit, row["status"] == QStringLiteral("ok") ? 0 : 1);
    EXPECT_EQ(read(path("data")), Data) << "the library only ever gets a copy";
    EXPECT_TRUE(processes("compress_file").intersect(processes("decompress_file")).isEmpty());
    const std::string library = c.library;
    if (c.compressed && c.compressed == std::string("6000"))
        EXPECT_EQ(row["ratio"], QStringLiteral("0.8333333333333334")) << "original over compressed, in full";
    if (library == "greedy") { // its compressions alone take 64 MiB more
        EXPECT_GE(row.number("compress_peak_mib"), 63);
        EXPECT_GT(row.number("peak_rss_mib"), 64) << "the worker's own peak, whichever way";
#if !defined(__SANITIZE_ADDRESS__) // whose allocator keeps freed memory a while, with a shadow of its own
        EXPECT_LT(row.number("compress_peak_mib"), 66);
        EXPECT_LT(row.number("decompress_peak_mib"), 2);
        EXPECT_GE(row.number("compress_faults"), 16384) << "a fault a page it touched";
        EXPECT_LT(row.number("compress_faults"), 16384 + 200);
        EXPECT_LT(row.number("decompress_faults"), 100) << "the call's own, not the worker's";
#endif
    }
    if (library == "child" || library == "threads") { // 200 ms of CPU time the library waited for
        EXPECT_GE(row.number("compress_cpu_s"), 0.2);
        if (library == "child") { // a child's peak is that of the file's own calls, before a larger one's or after
            write("small", std::string(3000, 's'));
            write("small2", std::string(3000, 't'));
            const std::vector<Fields> three = csvRows(run({"--format", "csv", "--library", testLibrary("child"), "small", "data", "small2"}).output);
            ASSERT_EQ(three.size(), 4u);
            EXPECT_LT(three[0].number("compress_peak_mib"), 40);
            EXPECT_GE(three[1].number("compress_peak_mib"), 48);
            EXPECT_LT(three[2].number("compress_peak_mib"), 40);
        }
        EXPECT_LT(row.number("decompress_cpu_s"), 0.1);
        EXPECT_EQ(row.number("compress_peak_mib") >= 48, library == "child") << row.number("compress_peak_mib");
        EXPECT_EQ(row.number("peak_rss_mib") >= 48, library == "child");
        EXPECT_FALSE(row["notes"].contains(QStringLiteral("cpu-below-wall"))) << "it did not run on one thread";
    }
    if (library == "copy") { // an empty file has an empty output, and a sample file does not count
        write("empty", "");
        write("other", Data);
        const std::vector<Fields> more = csvRows(run({"--format", "csv", "--library", testLibrary("copy"), "empty", "other"}).output);
        EXPECT_EQ((QStringList{more.at(0)["status"], more.at(0)["compressed"], more.at(1)["status"]}), (QStringList{"ok", "0", "ok"}));
    }
    if (library == "keeps") { // what a library keeps from call to call is its memory, on every file
        write("other", Data);
        const std::vector<Fields> two = csvRows(run({"--format", "csv", "--library", testLibrary("keeps"), "data", "other"}).output);
        EXPECT_GE(two.at(1).number("compress_peak_mib"), 32);
        EXPECT_GE(two.at(1).number("decompress_peak_mib"), 0) << "the other worker keeps nothing";
        EXPECT_LT(two.at(1).number("decompress_peak_mib"), 8);
    }
    if (library == "abort" || library == "hang") { // one row lost, and the next file in a new worker
        write("other", Data);
        const std::vector<Fields> two = csvRows(run({"--format", "csv", "--timeout", "2", "--library", testLibrary(c.library), "data", "other"}).output);
        EXPECT_EQ((QStringList{two.at(0)["status"], two.at(1)["status"]}), (QStringList{c.status, "ok"}));
        // A worker that is ended takes the processes its library started with it.
        for (const QString &helper : processes("helper")) {
            const auto gone = [&] {
                const QString stat = QString::fromStdString(read("/proc/" + helper.toStdString() + "/stat"));
                return stat.isEmpty() || stat.section(QLatin1Char(')'), -1).trimmed().startsWith('Z');
            };
            EXPECT_TRUE(QTest::qWaitFor(gone, 60000)) << "helper " << helper.toStdString();
        }
    }
    if (library == "cache") { // the first call on the file, 300 ms; the others, at once
        EXPECT_GE(row.number("compress_s_first"), 0.3);
        EXPECT_TRUE(row["notes"].contains(QStringLiteral("first-compress-slow")));
        const Fields fresh = csvRows(run({"--format", "csv", "--fresh", "--library", testLibrary("cache"), "data"}).output).at(0);
        EXPECT_GE(fresh.number("compress_s_min"), 0.3) << "each call its own process";
        EXPECT_FALSE(fresh["notes"].contains(QStringLiteral("first-compress-slow")));
    }
    if (library != "takes_ms")
        return;
    // Each figure against what the stand-in itself took, whatever else the
    // machine is doing: in each worker a first call on a sample file and a
    // warm-up call, uncounted, then two timed; the n-th call of a process
    // spends n tenths of a second of CPU time.
    const std::vector<double> took = this->took();
    ASSERT_EQ(took.size(), 8u);
    const std::pair<const char *, double> expected[] = {
        {"compress_s_first", took[1]},                     {"decompress_s_first", took[5]},
        {"compress_s_min", std::min(took[2], took[3])},    {"compress_s_median", (took[2] + took[3]) / 2},
        {"compress_s_max", std::max(took[2], took[3])},    {"decompress_s_min", std::min(took[6], took[7])},
        {"decompress_s_median", (took[6] + took[7]) / 2}, {"decompress_s_max", std::max(took[6], took[7])}};
    for (const auto &[column, seconds] : expected) {
        EXPECT_GE(row.number(column), seconds - 1e-6) << column;
        EXPECT_LE(row.number(column), seconds + 0.045) << column;
    }
    const std::pair<const char *, double> cpu[] = {{"compress_cpu_s", 0.35}, {"decompress_cpu_s", 0.35}, {"cpu_s", 0.7}};
    for (const auto &[column, seconds] : cpu)
        EXPECT_NEAR(row.number(column), seconds + 0.005, 0.0051) << column;
    for (const char *column : {"compress_faults", "decompress_faults", "compress_peak_mib", "decompress_peak_mib"})
        EXPECT_FALSE(row[column].isEmpty()) << column;
    EXPECT_EQ(row["compress_calls"], QStringLiteral("2"));
    EXPECT_LT(row.number("compress_peak_mib"), 8) << "above the worker's own " << row.number("peak_rss_mib");
}

INSTANTIATE_TEST_SUITE_P(
    StandIns, SweepRows,
    ::testing::Values(Case{"copy", "ok", "5000", ""},
                      Case{"corrupt", "mismatch", "5000", "mismatch: the warm-up call gave back other bytes"},
                      Case{"abort", "crashed", "", "crashed: ended by a signal in compress warm-up"},
                      Case{"hang", "timeout", "", "timeout: no answer within 2 s in compress warm-up"},
                      Case{"takes_ms", "ok", "5000", ""},
                      Case{"no_entry", "failed", "", "has no entry point \"compress_file\""},
                      Case{"recording", "failed", "1", "failed: the library left no output"},
                      Case{"removes", "failed", "", "failed: the library changed or removed its source file"},
                      Case{"chatty", "ok", "6000", ""},
                      Case{"greedy", "ok", "5000", ""},
                      Case{"exits", "crashed", "5000", "crashed: exited with status 0 in a first decompress call on a sample file"},
                      Case{"token", "mismatch", "8", "mismatch: the warm-up call gave back other bytes"},
                      Case{"cache", "ok", "5000", ""},
                      Case{"child", "ok", "5000", ""},
                      Case{"threads", "ok", "5000", ""},
                      Case{"symlink", "failed", "", "failed: the library's output is a symbolic link"},
                      Case{"hardlink", "failed", "", "failed: the library's output is another file's second name"},
                      Case{"empty", "failed", "", "failed: the library wrote an empty file for a source that is not empty"},
                      Case{"forks", "failed", nullptr, "failed: a process the library started went on after the call returned"},
                      Case{"lingers", "failed", nullptr, "failed: a process the library started went on after the call returned"},
                      Case{"chdir", "ok", "5000", ""},
                      Case{"keeps", "ok", "5000", ""}),
    [](const auto &info) { return std::string(info.param.library); });

// The same columns in CSV and JSON, in the same order; names with a comma, a
// quote, a backslash or a byte that is not UTF-8 kept whole, and a table that
// shows what a terminal would act on escaped; the default library when none
// is given, named by the file the loader took; a chart of every file.
TEST_F(Sweep, WritesEveryFormatWithNamesKeptWhole)
{
    const QString odd = QString::fromStdString(write("odd, \"name\"\\.txt", "some text"));
    std::filesystem::create_directory(path("folder"));
    write("folder/\xff\x1b[31mred", "more text");
    const Ran csv = run({"--format", "csv", "--library", testLibrary("copy"), odd});
    EXPECT_EQ(csv.output.section(QLatin1Char('\n'), 0, 0), Columns);
    EXPECT_TRUE(csv.output.contains(QStringLiteral(",\"%1\",9,").arg(QString(odd).replace("\"", "\"\"")))) << csv.output.toStdString();
    const Ran json = run({"--format", "json", "--plot", "chart.svg", odd});
    QStringList keys;
    const QString firstRow = json.output.section(QStringLiteral("\n    {"), 1, 1).section(QLatin1Char('\n'), 0, 0);
    for (const auto &key : QRegularExpression(QStringLiteral("\"(\\w+)\": ")).globalMatch(firstRow.section(QStringLiteral(", \"total\""), 0, 0)))
        keys << key.captured(1);
    EXPECT_EQ(keys.join(QLatin1Char(',')), Columns);
    const QJsonObject report = QJsonDocument::fromJson(json.output.toUtf8()).object(), row = report["rows"][0].toObject();
    EXPECT_EQ(QJsonArray({row["library"], row["label"], row["file"], row["size"], row["status"]}),
              QJsonArray({QCoreApplication::applicationDirPath() + "/" NORVIK_LIBRARY_FILE, NORVIK_LIBRARY_FILE, odd, 9, "ok"}))
        << json.output.toStdString();
    EXPECT_EQ(report.keys(), (QStringList{"complete", "date", "files", "machine", "options", "rows", "version"}));
    EXPECT_EQ(report["options"]["runs"], 2);
    EXPECT_EQ(report["options"]["warmup"], 1);
    EXPECT_EQ(report["options"]["threads"], 1);
    EXPECT_TRUE(report["options"]["environment"].isObject()) << "what changes what a shipped library does";
    EXPECT_EQ(report["complete"], true);
    EXPECT_EQ(report["files"][0]["sha256"], QStringLiteral("b94f6f125c79e3a5ffaa826f584c10d52ada669e6762051b826b55776d05aed2"))
        << "the SHA-256 of \"some text\"";
    EXPECT_EQ(row["samples"]["compress"]["s"].toArray().size(), 2);
    QFile loaded(row["library"].toString());
    ASSERT_TRUE(loaded.open(QIODevice::ReadOnly));
    EXPECT_EQ(row["library_sha256"].toString().toLatin1(), QCryptographicHash::hash(loaded.readAll(), QCryptographicHash::Sha256).toHex())
        << "which build was measured";
    EXPECT_EQ(json.exit, 0);
    EXPECT_TRUE(QString::fromStdString(read(path("chart.svg"))).contains(QStringLiteral("odd, &quot;name&quot;\\.txt")));

    const QString folder = QString::fromStdString(path("folder"));
    const Ran table = run({"--library", testLibrary("copy"), "--output", "also.csv", "--output", "also.json", folder});
    EXPECT_EQ(QString::fromStdString(read(path("also.csv"))).section('\n', 0, 0), Columns) << "the other formats beside the table";
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(read(path("also.json"))))["rows"].toArray().size(), 1);
    EXPECT_TRUE(table.output.contains(folder + QStringLiteral("/\\xff\\x1b[31mred, 9 bytes\n"))) << table.output.toStdString();
    EXPECT_FALSE(table.output.contains(QChar(0x1b)));
    EXPECT_TRUE(table.output.contains(QStringLiteral(" \u00b7 brevimeter-bench " BREVIMETER_VERSION " \u00b7 1 thread\n"))) << "its provenance";
    EXPECT_TRUE(run({"--format", "csv", "--library", testLibrary("copy"), folder}).bytes.contains("/\xff\x1b[31mred\",9,"))
        << "CSV keeps the name's bytes";
}

// Nothing is loaded or run when an argument is wrong, and the wrong one is named.
TEST_F(Sweep, NamesAWrongArgumentBeforeLoadingAnything)
{
    const QString data = QString::fromStdString(write("data", "x"));
    std::filesystem::create_symlink(path("data"), path("data-link"));
    const std::pair<QStringList, QString> cases[] = {
        {{data, "/no/such/file"}, "/no/such/file: no such file or folder"},
        {{"--plot", "/no/such/folder/chart.svg", data}, "/no/such/folder/chart.svg: No such file or directory"},
        {{"--plot", "chart.png", data}, "--plot wants a file name ending in .svg"},
        {{"--library", "/no/such/libnorvik.so", data},
         "/no/such/libnorvik.so: neither a reference library (see --list-libraries) nor a library file"},
        {{"--library", "zstd:23", data}, "zstd's levels are -131072 to 22"},
        {{"--library", "copy:1", data}, "copy has no levels"},
        {{"--library", "a=copy", "--library", "a=lz4", data}, "two libraries are labelled a; name them with LABEL="},
        {{"--warmup", "-1", data}, "--warmup wants a whole number, from 0 to 1000000"},
        {{"--min-time", "soon", data}, "--min-time wants seconds, from 0 to 1000000"},
        {{"--threads", "0", data}, "--threads wants a whole number, from 1 to 1024"},
        {{"--min-time", "2", "--max-time", "1", data}, "--max-time is below --min-time"},
        {{"--library", "zstd:5-3", data}, "zstd:5-3: the range 5-3 runs backwards; write it 3-5"},
        {{"--library", "zstd:-2147483648-2147483647", data}, "zstd:-2147483648-2147483647: more than 1000 levels in one argument"},
        {{"--library", "zstd:1-500,600-1100", data}, "zstd:1-500,600-1100: more than 1000 levels in one argument"},
        {{"--library", "zstd:1-99999999999", data}, "zstd:1-99999999999: 1-99999999999 is no level a library has"},
        {{data, QString(data).replace("/data", "/./data")}, data + " and " + QString(data).replace("/data", "/./data") + " are one file; give it once"},
        {{data, data + "-link"}, data + " and " + data + "-link are one file; give it once"},
        {{"--output", "report.txt", data}, "--output wants a file name ending in .json or .csv"},
        {{"--fail-if-slower", "5", data}, "--fail-if-slower goes with --compare"},
        {{"--shard", "3/2", data}, "--shard wants I/N, a shard I of N shards, 1 <= I <= N"},
        {{"--frobnicate", data}, "Unknown option 'frobnicate'; see --help"}};
    // What another mode would not use, given without a library.
    const std::pair<QStringList, QString> modes[] = {
        {{"--merge", "--compare", data, data}, "--merge and --compare: one at a time"},
        {{"--merge", "--runs", "9", data}, "--runs does nothing with --merge"},
        {{"--compare", "--plot", "c.svg", data, data}, "--plot does nothing with --compare"},
        {{"--list-libraries", "--output", "l.json"}, "--output does nothing with --list-libraries"},
        {{"--list-libraries", "--library", "zstd"}, "--library does nothing with --list-libraries"}};
    std::vector<std::pair<QStringList, QString>> all;
    for (const auto &[arguments, error] : cases)
        all.emplace_back(QStringList{"--library", testLibrary("abort")} + arguments, error);
    all.insert(all.end(), std::begin(modes), std::end(modes));
    for (const auto &[arguments, error] : all) {
        const Ran ran = run(arguments);
        EXPECT_EQ(ran.exit, 2) << error.toStdString();
        EXPECT_EQ(ran.output, QString());
        EXPECT_EQ(ran.errors, QStringLiteral("brevimeter-bench: %1\n").arg(error));
    }
    EXPECT_FALSE(std::filesystem::exists(path("chart.png")));
    EXPECT_EQ(logged(), QStringList()) << "no library ran";
}

// References by name and level, labelled, side by side with a total for each
// library over the files; each writes what its codec's command writes.
TEST_F(Sweep, MeasuresReferencesByLevelWithATotalForEachLibrary)
{
    const QString a = QString::fromStdString(write("a", Data)), b = CORPUS_DIR "/canterbury/grammar.lsp";
    const Ran ran = run({"--format", "csv", "--output", "report.json", "--library", "fast=zstd:1", "--library", "zstd:18-19",
                         "--library", "copy", a, b});
    const std::vector<Fields> rows = csvRows(ran.output);
    QStringList seen;
    for (const Fields &row : rows)
        seen << row["label"] + ' ' + row["file"] + ' ' + row["status"];
    EXPECT_EQ(seen, (QStringList{"fast " + a + " ok", "zstd:18 " + a + " ok", "zstd:19 " + a + " ok", "copy " + a + " ok",
                                 "fast " + b + " ok", "zstd:18 " + b + " ok", "zstd:19 " + b + " ok", "copy " + b + " ok",
                                 "fast (all) ok", "zstd:18 (all) ok", "zstd:19 (all) ok", "copy (all) ok"}));
    ASSERT_EQ(rows.size(), 12u) << ran.errors.toStdString();
    EXPECT_TRUE(rows[2]["codecs"].startsWith(QStringLiteral("libzstd 1."))) << "the codec and its version";
    const Ran table = run({"--merge", "report.json"});
    EXPECT_TRUE(table.output.contains(QStringLiteral("zstd:18: libzstd 1."))) << table.output.toStdString();
    for (const auto &[row, level] : {std::pair(0, "-1"), std::pair(1, "-18"), std::pair(2, "-19"), std::pair(5, "-18"), std::pair(6, "-19")}) {
        QProcess zstd;
        zstd.start(QStringLiteral("zstd"), {level, "-c", "-q", rows[std::size_t(row)]["file"]});
        zstd.waitForFinished();
        EXPECT_EQ(rows[std::size_t(row)]["compressed"].toLongLong(), zstd.readAllStandardOutput().size()) << row;
    }
    EXPECT_EQ(rows[3]["ratio"], QStringLiteral("1"));
}

// Warm-up calls come before the timed ones and are not counted; --min-time
// adds timed calls until their times add up to it; each worker first calls
// once on a sample file, and --fresh makes every call in a process of its
// own. Checked against the wall time the stand-in noted for each of its calls
// (its n-th call in a process spends n tenths of a second of CPU time),
// whatever else the machine is doing: the calls before the last add up to
// less, and all of them, each measured at most 45 ms above the stand-in's own
// time, to at least that.
TEST_F(Sweep, CallsAsOftenAsTheWarmUpRunsAndTimeAsk)
{
    write("data", Data);
    for (const auto &[warmup, fresh, calls, processes] : {std::tuple("0", false, 3, 1), std::tuple("3", false, 6, 1),
                                                          std::tuple("1", true, 3, 3)}) {
        std::filesystem::remove(path("log"));
        run(QStringList{"--library", testLibrary("copy"), "--warmup", warmup, "--threads", "3", "data"}
            + (fresh ? QStringList{"--fresh"} : QStringList{}));
        for (const char *entry : {"compress_file", "decompress_file"}) {
            EXPECT_EQ(logged().filter(QRegularExpression(QStringLiteral("^%1 \\d+ 3$").arg(entry))).size(), calls) << entry << warmup;
            EXPECT_EQ(this->processes(entry).size(), processes) << entry << warmup;
        }
    }
    // --max-time: no timed call after their times reach it, however many --runs ask for.
    const Fields capped = csvRows(run({"--format", "csv", "--runs", "5", "--max-time", "0.25", "--library", testLibrary("takes_ms"),
                                       "data"}).output).at(0);
    EXPECT_EQ((QStringList{capped["compress_calls"], capped["decompress_calls"], capped["status"]}), (QStringList{"1", "1", "ok"}));
    std::filesystem::remove(path("log"));
    const double least = 0.45;
    const Ran ran = run({"--format", "csv", "--runs", "1", "--min-time", "0.45", "--library", testLibrary("takes_ms"), "data"});
    EXPECT_EQ(csvRows(ran.output).at(0)["status"], QStringLiteral("ok")) << ran.errors.toStdString();
    std::map<QString, std::vector<double>> took; // each direction's calls, the sample file's and the warm-up first
    QString entry;
    for (const QString &line : logged())
        line.startsWith(QStringLiteral("took ")) ? took[entry].push_back(line.section(' ', 1, 1).toDouble()) : void(entry = line.section(' ', 0, 0));
    for (const auto &[direction, seconds] : took) {
        ASSERT_GE(seconds.size(), 3u) << direction.toStdString();
        const double beforeLast = std::accumulate(seconds.begin() + 2, seconds.end() - 1, 0.0);
        EXPECT_LT(beforeLast, least) << direction.toStdString();
        EXPECT_GE(beforeLast + seconds.back() + 0.045 * double(seconds.size() - 2), least) << direction.toStdString();
    }
    EXPECT_EQ(csvRows(ran.output).at(0)["compress_calls"].toDouble(), double(took["compress_file"].size() - 2));
}

// Two reports of one library, before and after a change: a row for the
// file and the library's total, and --fail-if-slower fails the run only
// where the slowdown is significant and passes the percentage given.
TEST_F(Sweep, ComparesTwoReports)
{
    write("data", Data);
    run({"--runs", "5", "--output", "before.json", "--library", "mine=" + testLibrary("copy"), "data"});
    run({"--runs", "5", "--output", "after.json", "--library", "mine=" + testLibrary("takes_ms"), "data"});
    const Ran same = run({"--compare", "--format", "csv", "--fail-if-slower", "5", "before.json", "before.json"});
    EXPECT_EQ(same.exit, 0) << same.errors.toStdString();
    const std::vector<QStringList> rows = [&] {
        std::vector<QStringList> split;
        for (const QString &line : same.output.split('\n', Qt::SkipEmptyParts))
            split.push_back(QString(line).remove('"').split(','));
        return split;
    }();
    ASSERT_EQ(rows.size(), 2u) << same.output.toStdString();
    EXPECT_EQ(rows[1].mid(0, 5), (QStringList{"mine", "data", "5000", "5000", "0"}));
    EXPECT_EQ(rows[1][8], QStringLiteral("false")) << "no change where none was made";
    const Ran slower = run({"--compare", "--fail-if-slower", "50", "before.json", "after.json"});
    EXPECT_EQ(slower.exit, 1) << slower.output.toStdString();
    EXPECT_TRUE(slower.output.contains(QStringLiteral("95% interval, a percentile bootstrap"))) << "the method";
    EXPECT_EQ(run({"--compare", "--fail-if-slower", "100", "before.json", "after.json"}).exit, 0) << "no speed falls past 100%";
    // No speed makes up for a pair that no longer goes through, or a later sweep cut short.
    run({"--output", "failing.json", "--library", "mine=" + testLibrary("empty"), "data"});
    EXPECT_EQ(run({"--compare", "--fail-if-slower", "100", "before.json", "failing.json"}).exit, 1);
    EXPECT_EQ(run({"--compare", "--fail-if-slower", "100", "failing.json", "before.json"}).exit, 0) << "better, not worse";
    write("short.json", QString::fromStdString(read(path("before.json"))).replace("\"complete\": true", "\"complete\": false").toStdString());
    const Ran cut = run({"--compare", "--fail-if-slower", "100", "before.json", "short.json"});
    EXPECT_EQ(cut.exit, 1);
    EXPECT_TRUE(cut.errors.contains(QStringLiteral("short.json: the sweep was cut short"))) << cut.errors.toStdString();
    const Ran wrong = run({"--compare", "before.json", "data"});
    EXPECT_EQ(wrong.exit, 2);
    EXPECT_TRUE(wrong.errors.startsWith(QStringLiteral("brevimeter-bench: data: not JSON"))) << wrong.errors.toStdString();
}

// Every shipped reference, with its levels and the file it is loaded from.
TEST_F(Sweep, ListsTheReferenceLibraries)
{
    const Ran ran = run({"--list-libraries", "--format", "csv"});
    const QStringList lines = ran.output.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 8) << ran.output.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("name,levels,default_level,path,description"));
    QStringList names;
    for (const QString &line : lines.mid(1)) {
        const QStringList fields = QString(line).remove('"').split(',');
        names << fields[0] + ' ' + fields[1] + ' ' + fields[2];
        EXPECT_TRUE(QFileInfo(fields[3]).isFile()) << fields[3].toStdString();
    }
    EXPECT_EQ(names, (QStringList{"copy  ", "zstd -131072-22 3", "zlib 1-9 6", "lz4 -65537-12 1", "xz 0-9 6", "bzip2 1-9 9", "brotli 0-11 11"}));
    const QJsonArray json = QJsonDocument::fromJson(run({"--list-libraries", "--format", "json"}).output.toUtf8()).array();
    ASSERT_EQ(json.size(), 7);
    EXPECT_EQ(json[0].toObject()["highest_level"], QJsonValue(QJsonValue::Null)) << "copy has no levels";
    EXPECT_EQ(QJsonArray({json[1]["name"], json[1]["lowest_level"], json[1]["highest_level"], json[1]["default_level"]}),
              QJsonArray({"zstd", -131072, 22, 3}));
    EXPECT_EQ(json[6]["path"].toString(), lines[7].section(',', 3, 3).remove('"'));
}

// Every mark carries its file's name: beside it, as a number keyed to a list
// where the names would collide, or in that list alone where a number would
// (forty files of one size and ratio in a row, more than their labels fit).
TEST_F(Sweep, LabelsEveryMarkInTheChart)
{
    QStringList files;
    for (int i = 0; i < 40; ++i)
        files << QString::fromStdString(write("same-" + std::to_string(i), Data));
    const Ran ran = run(QStringList{"--runs", "1", "--library", testLibrary("copy"), "--plot", "chart.svg"} + files);
    ASSERT_EQ(ran.exit, 0) << ran.errors.toStdString();
    const QString chart = QString::fromStdString(read(path("chart.svg")));
    for (int i = 0; i < 40; ++i)
        EXPECT_TRUE(chart.contains(QRegularExpression(QStringLiteral(">(\\d+ )?same-%1( \\(no room beside its mark[^<]*)?<").arg(i)))) << i;
    for (const char *text : {"Marks whose label did not fit:", "decompress speed", "compress speed",
                             "a diamond is the library over all of them", "brevimeter-bench " BREVIMETER_VERSION})
        EXPECT_TRUE(chart.contains(QLatin1String(text))) << text;
}

// A library named as a file in the current folder is that file, not one the
// loader would find by the bare name; the row names what was loaded.
TEST_F(Sweep, LoadsTheLibraryFileItIsGiven)
{
    std::filesystem::copy_file(testLibrary("chatty").toStdString(), path(NORVIK_LIBRARY_FILE));
    const Ran ran = run({"--format", "csv", "--library", NORVIK_LIBRARY_FILE, QString::fromStdString(write("data", Data))});
    EXPECT_TRUE(ran.output.contains(QStringLiteral("\"./%1\",").arg(NORVIK_LIBRARY_FILE))) << ran.output.toStdString();
    EXPECT_TRUE(ran.output.contains(QStringLiteral(",5000,6000,"))) << "the stand-in's own output size";
}

// Ctrl+C or SIGTERM writes the rows measured so far, said to be cut short,
// then ends the program by the signal; a report that cannot be written fails
// the run.
TEST_F(Sweep, WritesWhatItHasWhenStoppedAndFailsWhenItCannot)
{
    const QString data = QString::fromStdString(write("data", Data));
    for (const int signal : {SIGINT, SIGTERM}) {
        std::filesystem::remove(path("log"));
        const Ran ran = run({"--timeout", "600", "--format", "json", "--library", testLibrary("copy"), "--library",
                             testLibrary("hang"), data},
                            [&](QProcess &program) {
                                // Once the hanging library has been called, the copying one is done.
                                ASSERT_TRUE(QTest::qWaitFor([&] { return processes("compress_file").size() == 2; }, 120000));
                                ::kill(pid_t(program.processId()), signal);
                            });
        EXPECT_TRUE(ran.bySignal) << signal;
        const QJsonObject report = QJsonDocument::fromJson(ran.bytes).object();
        ASSERT_EQ(report["rows"].toArray().size(), 1) << ran.output.toStdString();
        EXPECT_EQ(report["rows"][0]["library"], testLibrary("copy"));
        EXPECT_EQ(report["rows"][0]["library_sha256"].toString().size(), 64) << "which build, cut short or not";
        EXPECT_EQ(report["complete"], false);
    }
    const QString report = QString::fromStdString(path("report.txt")), small = QString::fromStdString(write("small", "a few bytes"));
    const Ran full = run({"--library", testLibrary("copy"), small}, {}, report, 200);
    EXPECT_EQ(full.exit, 3);
    EXPECT_EQ(full.errors, QStringLiteral("brevimeter-bench: the report cannot be written: File too large\n"));
    // Nor a report beside it, nor a chart: neither is left half written.
    const Ran beside = run({"--library", testLibrary("copy"), "--output", "big.json", "--plot", "big.svg", small}, {}, report, 1000);
    EXPECT_EQ(beside.exit, 3);
    EXPECT_TRUE(beside.errors.contains(QStringLiteral("big.json: "))) << beside.errors.toStdString();
    EXPECT_TRUE(beside.errors.contains(QStringLiteral("big.svg: "))) << beside.errors.toStdString();
    EXPECT_FALSE(std::filesystem::exists(path("big.json")) && std::filesystem::file_size(path("big.json")) > 0);
}

// Progress goes to a terminal, where a file name cannot reach it raw.
TEST_F(Sweep, ShowsProgressOnATerminalWithNamesEscaped)
{
    const std::string data = write("\x1b]0;title\x07", Data), scratch = path("");
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        execl(BENCH_PROGRAM, BENCH_PROGRAM, "--runs", "1", "--scratch", scratch.c_str(), data.c_str(), nullptr);
        _exit(127);
    }
    std::string seen;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
        seen.append(buffer, std::size_t(n));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_NE(seen.find("0 of 1 pairs, "), std::string::npos) << seen;
    EXPECT_NE(seen.find(" so far \u00b7 \\x1b]0;title\\x07 \u00b7 libnorvik.so \u00b7 compress 1/1"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("\x1b]0"), std::string::npos) << "a raw escape";
    close(terminal);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
