// brevimeter-bench as its users run it, with stand-in libraries: a row for each
// library on each file with its status, the exit status, the user's files left
// alone, and no scratch folder left behind.
#include "support/QStringPrinter.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <functional>
#include <pty.h>
#include <sys/wait.h>

namespace {

const QString Columns = QStringLiteral("library,file,size,compressed,ratio,compress_s_min,compress_s_median,"
                                       "decompress_s_min,decompress_s_median,compress_mb_s,decompress_mb_s,cpu_s,"
                                       "peak_rss_mib,status");
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
    Ran run(const QStringList &arguments, const std::function<void(QProcess &)> &started = {},
            const QString &outputFile = {})
    {
        std::filesystem::create_directory(path("scratch"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BREVIMETER_STANDIN_LOG"), QString::fromStdString(path("log")));
        program.setProcessEnvironment(environment);
        if (!outputFile.isEmpty())
            program.setStandardOutputFile(outputFile);
        program.start(QStringLiteral(BENCH_PROGRAM),
                      QStringList{"--runs", "2", "--timeout", "2", "--scratch", QString::fromStdString(path("scratch"))}
                          + arguments);
        if (started)
            started(program);
        EXPECT_TRUE(program.waitForFinished(60000));
        EXPECT_TRUE(std::filesystem::is_empty(path("scratch"))) << "the scratch folder is removed";
        const QByteArray output = program.readAllStandardOutput();
        return {program.exitCode(), QString::fromUtf8(output), QString::fromUtf8(program.readAllStandardError()),
                program.exitStatus() == QProcess::CrashExit, output};
    }

    // What the stand-ins noted, a line each.
    QStringList logged() const { return QString::fromStdString(read(path("log"))).split('\n', Qt::SkipEmptyParts); }
};

struct Case {
    const char *library, *status, *compressed, *reason;
};

class SweepRows : public Sweep, public ::testing::WithParamInterface<Case> {};

// Whatever the first library does, the second still gets its row, and the
// user's file is as it was.
TEST_P(SweepRows, TakeOneRowEachAndGoOn)
{
    const Case &c = GetParam();
    const QString data = QString::fromStdString(write("data", Data));
    const Ran ran = run({"--format", "csv", "--library", testLibrary(c.library), "--library", testLibrary("copy"), data});
    const QStringList lines = ran.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << ran.output.toStdString() << ran.errors.toStdString();
    const QStringList row = QString(lines[1]).remove('"').split(','), second = QString(lines[2]).remove('"').split(',');
    EXPECT_EQ(row.first(), testLibrary(c.library));
    EXPECT_EQ(row.mid(1, 2), (QStringList{data, "5000"}));
    EXPECT_EQ(row.mid(3, 1), QStringList{c.compressed});
    EXPECT_EQ(row.last(), QLatin1String(c.status));
    EXPECT_TRUE(ran.errors.contains(QLatin1String(c.reason))) << ran.errors.toStdString();
    EXPECT_EQ(second.last(), QStringLiteral("ok"));
    EXPECT_EQ(ran.exit, row.last() == QStringLiteral("ok") ? 0 : 1);
    EXPECT_EQ(read(data.toStdString()), Data) << "the library only ever gets a copy";
    if (c.compressed == std::string("6000"))
        EXPECT_EQ(row[4], QStringLiteral("0.833")) << "original over compressed";
    if (c.library != std::string("takes_ms"))
        return;
    // Each figure against what the stand-in itself took, two calls each way,
    // whatever else the machine is doing; the CPU time is what it spent.
    std::vector<double> took;
    for (const QString &line : logged())
        if (line.startsWith(QStringLiteral("took ")))
            took.push_back(line.mid(5).toDouble());
    ASSERT_EQ(took.size(), 4u);
    const double expected[] = {std::min(took[0], took[1]), (took[0] + took[1]) / 2, std::min(took[2], took[3]),
                               (took[2] + took[3]) / 2};
    for (int column = 5; column <= 8; ++column) {
        EXPECT_GE(row[column].toDouble(), expected[column - 5] - 1e-6) << Columns.split(',')[column].toStdString();
        EXPECT_LE(row[column].toDouble(), expected[column - 5] + 0.020) << Columns.split(',')[column].toStdString();
    }
    EXPECT_NEAR(row[11].toDouble(), (0.1 + 0.2 + 0.3 + 0.4) / 2 + 0.005, 0.0051) << "CPU seconds a round trip";
}

INSTANTIATE_TEST_SUITE_P(StandIns, SweepRows,
                         ::testing::Values(Case{"copy", "ok", "5000", ""},
                                           Case{"corrupt", "mismatch", "5000", "mismatch: run 1 gave back other bytes"},
                                           Case{"abort", "crashed", "", "crashed: ended by a signal in compress 1"},
                                           Case{"hang", "timeout", "", "timeout: no answer within 2 s in compress 1"},
                                           Case{"takes_ms", "ok", "5000", ""},
                                           Case{"no_entry", "failed", "", "has no entry point \"compress_file\""},
                                           Case{"recording", "failed", "0", "failed: the library left no output"},
                                           Case{"removes", "failed", "", "failed: the library changed or removed its source file"},
                                           Case{"chatty", "ok", "6000", ""},
                                           Case{"exits", "crashed", "5000", "crashed: exited with status 0 in decompress 1"}),
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
    for (const auto &key : QRegularExpression(QStringLiteral("\"(\\w+)\": ")).globalMatch(json.output))
        keys << key.captured(1);
    EXPECT_EQ(keys.join(QLatin1Char(',')), Columns);
    const QJsonObject row = QJsonDocument::fromJson(json.output.toUtf8()).array().at(0).toObject();
    EXPECT_EQ(QJsonArray({row["library"], row["file"], row["size"], row["status"]}),
              QJsonArray({QCoreApplication::applicationDirPath() + "/" NORVIK_LIBRARY_FILE, odd, 9, "ok"}))
        << json.output.toStdString();
    EXPECT_EQ(json.exit, 0);
    EXPECT_TRUE(QString::fromStdString(read(path("chart.svg"))).contains(QStringLiteral("odd, &quot;name&quot;\\.txt")));

    const QString folder = QString::fromStdString(path("folder"));
    const Ran table = run({"--library", testLibrary("copy"), folder});
    EXPECT_TRUE(table.output.contains(folder + QStringLiteral("/\\xff\\x1b[31mred "))) << table.output.toStdString();
    EXPECT_FALSE(table.output.contains(QChar(0x1b)));
    EXPECT_TRUE(run({"--format", "csv", "--library", testLibrary("copy"), folder}).bytes.contains("/\xff\x1b[31mred\",9,"))
        << "CSV keeps the name's bytes";
}

// Nothing is loaded or run when an argument is wrong, and the wrong one is named.
TEST_F(Sweep, NamesAWrongArgumentBeforeLoadingAnything)
{
    const QString data = QString::fromStdString(write("data", "x"));
    const std::pair<QStringList, QString> cases[] = {
        {{data, "/no/such/file"}, "/no/such/file: no such file or folder"},
        {{"--plot", "/no/such/folder/chart.svg", data}, "/no/such/folder/chart.svg: No such file or directory"},
        {{"--plot", "chart.png", data}, "--plot wants a file name ending in .svg"},
        {{"--library", "/no/such/libnorvik.so", data}, "/no/such/libnorvik.so: no such library file"}};
    for (const auto &[arguments, error] : cases) {
        const Ran ran = run(QStringList{"--library", testLibrary("abort")} + arguments);
        EXPECT_EQ(ran.exit, 2);
        EXPECT_EQ(ran.output, QString());
        EXPECT_EQ(ran.errors, QStringLiteral("brevimeter-bench: %1\n").arg(error));
    }
    EXPECT_FALSE(std::filesystem::exists(path("chart.png")));
    EXPECT_EQ(logged(), QStringList()) << "no library ran";
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

// Ctrl+C or SIGTERM writes the rows measured so far, then ends the program by
// the signal; a report that cannot be written fails the run.
TEST_F(Sweep, WritesWhatItHasWhenStoppedAndFailsWhenItCannot)
{
    const QString data = QString::fromStdString(write("data", Data));
    const QStringList arguments{"--timeout", "60", "--format", "csv", "--library", testLibrary("copy"),
                                "--library", testLibrary("hang"), data};
    for (const int signal : {SIGINT, SIGTERM}) {
        std::filesystem::remove(path("log"));
        const Ran ran = run(arguments, [&](QProcess &program) {
            // Once the hanging library has been called, the copying one is done.
            ASSERT_TRUE(QTest::qWaitFor([&] { return logged().count(QStringLiteral("compress_file")) == 3; }, 30000));
            ::kill(pid_t(program.processId()), signal);
        });
        EXPECT_TRUE(ran.bySignal) << signal;
        const QStringList lines = ran.output.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2) << ran.output.toStdString();
        EXPECT_TRUE(lines[1].startsWith('"' + testLibrary("copy"))) << lines[1].toStdString();
    }
    const Ran full = run({"--library", testLibrary("copy"), data}, {}, QStringLiteral("/dev/full"));
    EXPECT_EQ(full.exit, 3);
    EXPECT_EQ(full.errors, QStringLiteral("brevimeter-bench: the report cannot be written: No space left on device\n"));
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
    EXPECT_NE(seen.find("[1/1] \\x1b]0;title\\x07 \u00b7 libnorvik.so \u00b7 compress 1/1"), std::string::npos) << seen;
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
