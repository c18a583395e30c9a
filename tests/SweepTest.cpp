// brevimeter-bench as its users run it, with stand-in libraries: a row for each
// library on each file with its status, the exit status, and no scratch folder
// left behind.
#include "support/QStringPrinter.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace {

const QString Columns = QStringLiteral("library,file,size,compressed,ratio,compress_s_min,compress_s_median,"
                                       "decompress_s_min,decompress_s_median,compress_mb_s,decompress_mb_s,cpu_s,"
                                       "peak_rss_mib,status");

struct Ran {
    int exit;
    QString output, errors;
};

class Sweep : public ScratchFolder {
protected:
    // The program on a file of 5,000 bytes, its outputs under the test's own folder.
    Ran run(QStringList arguments)
    {
        std::filesystem::create_directory(path("scratch"));
        QProcess program;
        program.start(QStringLiteral(BENCH_PROGRAM),
                      QStringList{"--runs", "2", "--timeout", "2", "--scratch", QString::fromStdString(path("scratch"))}
                          + arguments);
        EXPECT_TRUE(program.waitForFinished(60000));
        EXPECT_TRUE(std::filesystem::is_empty(path("scratch"))) << "the scratch folder is removed";
        return {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
                QString::fromUtf8(program.readAllStandardError())};
    }
};

struct Case {
    const char *library, *status;
};

class SweepRows : public Sweep, public ::testing::WithParamInterface<Case> {};

// Whatever the first library does, the second still gets its row.
TEST_P(SweepRows, TakeOneRowEachAndGoOn)
{
    const Case &c = GetParam();
    const QString data = QString::fromStdString(write("data", std::string(5000, 'd')));
    const Ran ran = run({"--format", "csv", "--library", testLibrary(c.library), "--library", testLibrary("copy"), data});
    const QStringList lines = ran.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << ran.output.toStdString() << ran.errors.toStdString();
    const QStringList row = QString(lines[1]).remove('"').split(','), second = QString(lines[2]).remove('"').split(',');
    EXPECT_EQ(row.first(), testLibrary(c.library));
    EXPECT_EQ(row.mid(1, 2), (QStringList{data, "5000"}));
    EXPECT_EQ(row.last(), QLatin1String(c.status));
    EXPECT_EQ(second.last(), QStringLiteral("ok"));
    EXPECT_EQ(ran.exit, row.last() == QStringLiteral("ok") ? 0 : 1);
    if (row.last() == QStringLiteral("ok"))
        EXPECT_EQ(row.mid(3, 2), (QStringList{"5000", "1.000"}));
    if (c.library == std::string("takes_ms")) // calls of 50 and 100 ms, then 150 and 200, all spent on the CPU
        for (auto [column, seconds] : {std::pair{5, 0.050}, {6, 0.075}, {7, 0.150}, {8, 0.175}, {11, 0.250}})
            EXPECT_TRUE(row[column].toDouble() > seconds - 0.001 && row[column].toDouble() < seconds + 0.010) << column;
}

INSTANTIATE_TEST_SUITE_P(StandIns, SweepRows,
                         ::testing::Values(Case{"copy", "ok"}, Case{"corrupt", "mismatch"}, Case{"abort", "crashed"},
                                           Case{"hang", "timeout"}, Case{"takes_ms", "ok"}, Case{"no_entry", "failed"},
                                           Case{"recording", "failed"}), // whose decompress_file writes nothing
                         [](const auto &info) { return std::string(info.param.library); });

// The same columns in CSV and JSON, in the same order; a name with a comma or a
// quote kept whole; the default library when none is given.
TEST_F(Sweep, WritesCsvAndJsonWithTheSameColumns)
{
    const QString odd = QString::fromStdString(write("odd, \"name\".txt", "some text"));
    const Ran csv = run({"--format", "csv", "--library", testLibrary("copy"), odd});
    EXPECT_EQ(csv.output.section(QLatin1Char('\n'), 0, 0), Columns);
    EXPECT_TRUE(csv.output.contains(QStringLiteral(",\"%1\",9,").arg(QString(odd).replace("\"", "\"\"")))) << csv.output.toStdString();
    const Ran json = run({"--format", "json", odd});
    QStringList keys;
    for (const auto &key : QRegularExpression(QStringLiteral("\"(\\w+)\": ")).globalMatch(json.output))
        keys << key.captured(1);
    EXPECT_EQ(keys.join(QLatin1Char(',')), Columns);
    const QJsonObject row = QJsonDocument::fromJson(json.output.toUtf8()).array().at(0).toObject();
    EXPECT_EQ(QJsonArray({row["library"], row["file"], row["size"], row["status"]}),
              QJsonArray({NORVIK_LIBRARY_FILE, odd, 9, "ok"})) << json.output.toStdString();
    EXPECT_EQ(json.exit, 0);
}

TEST_F(Sweep, NamesAMissingArgumentBeforeLoadingAnything)
{
    const Ran ran = run({"--library", testLibrary("abort"), QString::fromStdString(write("data", "x")), "/no/such/file"});
    EXPECT_EQ(ran.exit, 2);
    EXPECT_EQ(ran.output, QString());
    EXPECT_EQ(ran.errors, QStringLiteral("brevimeter-bench: /no/such/file: no such file or folder\n"));
}

} // namespace
