#include "support/QStringPrinter.h"
#include "runs/CompressRun.h"
#include "runs/Module1.h"
#include "support/FakeClock.h"
#include "support/FakeWindow.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"
#include "window/ReportFailures.h"

#include <QLocale>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

using Hook = void (*)(const char *, const char *, const char *, void *);
using Reset = void (*)(Hook, void *, long long);
using Calls = int (*)();

void noteCall(const char *entry, const char *source, const char *target, void *window)
{
    static_cast<FakeWindow *>(window)->note(std::string(entry) + "(" + source + ", " + target + ")");
}

class CompressRun : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        QLocale::setDefault(QLocale::c());
        writes(0);
        ASSERT_EQ(chdir(folder.c_str()), 0) << "the default target lands in the current folder";
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir("/"), 0);
        ScratchFolder::TearDown();
    }

    // The recording library writes a target of this many bytes (none when negative).
    void writes(long long bytes)
    {
        testLibraryFunction<Reset>("recording", "recording_reset")(noteCall, &window, bytes);
    }
    int calls() { return testLibraryFunction<Calls>("recording", "recording_calls")(); }

    // As the window runs it: failures reported, the program going on.
    void click(Module1 &library)
    {
        reportFailures(window, [&] { CompressBtn_Click(window, library, clock); });
    }
    void click() { click(recording); }

    QString caption(StatisticsRow row) const { return window.caption(row); }

    FakeWindow window;
    FakeClock clock{window};
    Module1 recording{testLibrary("recording")};
};

TEST_F(CompressRun, RunsItsStepsInOrder)
{
    window.source = QString::fromStdString(write("in.txt", std::string(1000, 'a')));
    writes(250);
    clock.readings = {10s, 10s + 1500ms};

    click();

    const std::string source = window.source.toStdString();
    const std::vector<std::string> expected{
        "DestFile := compress.dat",
        "repaint DestFile",
        "pointer 11",
        "clock",
        "compress_file(" + source + ", compress.dat)",
        "clock",
        "OrigSize := 1,000 bytes",
        "CompSize := 250 bytes",
        "CompTime := 1.5 secs.",
        "CompPct := 75.%",
        "pointer 0",
    };
    EXPECT_EQ(window.log, expected);
    EXPECT_EQ(window.SourcePath, window.source);
    EXPECT_EQ(window.DestPath, QStringLiteral("compress.dat"));
    EXPECT_TRUE(std::filesystem::exists(path("compress.dat")));
}

TEST_F(CompressRun, DoesNothingWhenBothFieldsAreBlank)
{
    for (const char *blank : {"", " ", "    "}) {
        window.source = QString::fromLatin1(blank);
        window.dest = QStringLiteral("  ");
        window.captions[StatisticsRow::OrigSize] = QStringLiteral("earlier");
        Module1 missing(QStringLiteral("/no/such/libnorvik.so"));
        click(missing);
        EXPECT_TRUE(window.log.empty()) << '"' << blank << '"';
        EXPECT_EQ(window.dest, QStringLiteral("  "));
        EXPECT_EQ(caption(StatisticsRow::OrigSize), QStringLiteral("earlier"));
        EXPECT_TRUE(window.errors.isEmpty()) << "the library is not even loaded";
    }
}

struct FieldCase {
    const char *source;
    const char *dest;
    const char *calledWithDest; // what reaches the library as the target
};

void PrintTo(const FieldCase &c, std::ostream *os)
{
    *os << '"' << c.source << "\" and \"" << c.dest << '"';
}

class CompressRunFields : public CompressRun, public ::testing::WithParamInterface<FieldCase> {};

// Only spaces are blank, and a path reaches the library exactly as typed.
TEST_P(CompressRunFields, PassesThePathsAsTyped)
{
    const FieldCase &c = GetParam();
    window.source = QString::fromLatin1(c.source);
    window.dest = QString::fromLatin1(c.dest);
    click();
    ASSERT_EQ(calls(), 1);
    auto call = std::find_if(window.log.begin(), window.log.end(),
                             [](const std::string &e) { return e.starts_with("compress_file("); });
    ASSERT_NE(call, window.log.end());
    EXPECT_EQ(*call, std::string("compress_file(") + c.source + ", " + c.calledWithDest + ")");
    EXPECT_EQ(window.dest.toStdString(), c.calledWithDest);
}

INSTANTIATE_TEST_SUITE_P(
    BlankRules, CompressRunFields,
    ::testing::Values(FieldCase{"in", "", "compress.dat"},
                      FieldCase{"in", "   ", "compress.dat"},
                      FieldCase{"\t", "", "compress.dat"},
                      FieldCase{"", "out", "out"},
                      FieldCase{"   ", "out", "out"},
                      FieldCase{" in ", " out ", " out "},
                      FieldCase{"in", "\t", "\t"}));

struct FiguresCase {
    std::size_t originalBytes;
    long long compressedBytes;
    std::chrono::nanoseconds elapsed;
    const char *origSize, *compSize, *compTime, *compPct;
};

void PrintTo(const FiguresCase &c, std::ostream *os)
{
    *os << c.originalBytes << " to " << c.compressedBytes << " bytes";
}

class CompressRunFigures : public CompressRun, public ::testing::WithParamInterface<FiguresCase> {};

TEST_P(CompressRunFigures, ShowsTheFourStatistics)
{
    const FiguresCase &c = GetParam();
    window.source = QString::fromStdString(write("in", std::string(c.originalBytes, 'a')));
    writes(c.compressedBytes);
    clock.readings = {100h, 100h + c.elapsed};
    click();
    EXPECT_TRUE(window.errors.isEmpty()) << window.errors.join('\n').toStdString();
    EXPECT_EQ(caption(StatisticsRow::OrigSize), QLatin1String(c.origSize));
    EXPECT_EQ(caption(StatisticsRow::CompSize), QLatin1String(c.compSize));
    EXPECT_EQ(caption(StatisticsRow::CompTime), QLatin1String(c.compTime));
    EXPECT_EQ(caption(StatisticsRow::CompPct), QLatin1String(c.compPct));
}

INSTANTIATE_TEST_SUITE_P(
    Captions, CompressRunFigures,
    ::testing::Values(
        FiguresCase{152089, 56999, 2600us, "152,089 bytes", "56,999 bytes", ".0026 secs.", "62.5%"},
        FiguresCase{100, 120, 2s, "100 bytes", "120 bytes", "2. secs.", "-20.%"},
        FiguresCase{512, 512, 0s, "512 bytes", "512 bytes", ". secs.", ".%"},
        FiguresCase{3, 1, 12345678901ns, "3 bytes", "1 bytes", "12.3457 secs.", "66.7%"},
        FiguresCase{1000, 0, 50us, "1,000 bytes", " bytes", ".0001 secs.", "100.%"},
        FiguresCase{1000, 1, 49us, "1,000 bytes", "1 bytes", ". secs.", "99.9%"},
        // An empty source is no failure; there is just no share saved.
        FiguresCase{0, 9, 1ms, " bytes", "9 bytes", ".001 secs.", "n/a"},
        FiguresCase{0, 0, 1ms, " bytes", " bytes", ".001 secs.", "n/a"}));

TEST_F(CompressRun, ShowsTheSeparatorsOfTheLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    window.source = QString::fromStdString(write("in", std::string(152089, 'a')));
    writes(56999);
    clock.readings = {0s, 2600us};
    click();
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(caption(StatisticsRow::OrigSize), QStringLiteral("152.089 bytes"));
    EXPECT_EQ(caption(StatisticsRow::CompTime), QStringLiteral(",0026 secs."));
    EXPECT_EQ(caption(StatisticsRow::CompPct), QStringLiteral("62,5%"));
}

TEST_F(CompressRun, ShowsTheFullLengthOfFilesPastFourGibibytes)
{
    const std::string big = path("big");
    { std::ofstream(big, std::ios::binary); }
    std::filesystem::resize_file(big, 5'000'000'000ULL); // sparse
    window.source = QString::fromStdString(big);
    writes(10);
    click();
    EXPECT_EQ(caption(StatisticsRow::OrigSize), QStringLiteral("5,000,000,000 bytes"));
    EXPECT_EQ(caption(StatisticsRow::CompPct), QStringLiteral("100.%"));
}

TEST_F(CompressRun, SecondRunOverwritesEveryCaption)
{
    window.source = QString::fromStdString(write("in", std::string(10, 'a')));
    writes(5);
    clock.readings = {0s, 1s, 0s, 2s};
    click();
    writes(8);
    click();
    EXPECT_EQ(caption(StatisticsRow::CompSize), QStringLiteral("8 bytes"));
    EXPECT_EQ(caption(StatisticsRow::CompTime), QStringLiteral("2. secs."));
    EXPECT_EQ(caption(StatisticsRow::CompPct), QStringLiteral("20.%"));
}

// Each failure: a message naming what failed, the pointer back to normal, the
// program going on, and no figure of an earlier run left in a row.
struct FailureCase {
    const char *name;
    const char *library;  // under TEST_LIBRARY_DIR, or a path that does not exist
    const char *source;   // "" for a file made by the test
    const char *dest;     // "" for the default name
    long long writes;
    int rowsShown;        // rows the run reached before it failed
    const char *message;  // a part of the description
};

void PrintTo(const FailureCase &c, std::ostream *os)
{
    *os << c.name;
}

class CompressRunFailures : public CompressRun, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CompressRunFailures, ReportsAndGoesOn)
{
    const FailureCase &c = GetParam();
    const QString library = c.library[0] == '/' ? QString::fromLatin1(c.library) : testLibrary(c.library);
    Module1 binding(library);
    window.source = c.source[0] ? QString::fromLatin1(c.source)
                                : QString::fromStdString(write("in", "some text"));
    window.dest = QString::fromLatin1(c.dest);
    for (StatisticsRow row : {StatisticsRow::OrigSize, StatisticsRow::CompSize, StatisticsRow::CompTime,
                              StatisticsRow::CompPct})
        window.captions[row] = QStringLiteral("earlier");
    writes(c.writes);

    click(binding);

    ASSERT_EQ(window.errors.size(), 1);
    EXPECT_TRUE(window.errors[0].contains(QLatin1String(c.message))) << window.errors[0].toStdString();
    EXPECT_EQ(window.log.back(), "error");
    EXPECT_EQ(window.pointer, MousePointer::Default);
    int shown = 0;
    for (StatisticsRow row : {StatisticsRow::OrigSize, StatisticsRow::CompSize, StatisticsRow::CompTime,
                              StatisticsRow::CompPct}) {
        QString value = caption(row);
        EXPECT_NE(value, QStringLiteral("earlier"));
        shown += value.isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(shown, c.rowsShown);
    EXPECT_EQ(window.dest, QLatin1String(c.dest[0] ? c.dest : "compress.dat"))
        << "a default name is put in before the call";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CompressRunFailures,
    ::testing::Values(
        FailureCase{"LibraryMissing", "/no/such/folder/libnorvik.so", "", "", 1, 0,
                    "\"/no/such/folder/libnorvik.so\" cannot be loaded"},
        FailureCase{"EntryPointMissing", "noentry", "", "", 1, 0, "has no entry point \"compress_file\""},
        FailureCase{"SourceMissing", "recording", "/no/such/source", "", 1, 0,
                    "The file \"/no/such/source\" was not found."},
        FailureCase{"BlankSource", "recording", "   ", "out", 1, 0, "The file \"   \" was not found."},
        FailureCase{"NoTargetWritten", "recording", "", "", -1, 1, "The file \"compress.dat\" was not found."}),
    [](const auto &info) { return std::string(info.param.name); });

// A library that failed and left an earlier target as it was: its size is no
// result of this run.
TEST_F(CompressRun, ReportsATargetTheLibraryDidNotWrite)
{
    window.source = QString::fromStdString(write("in", "0123456789"));
    window.dest = QString::fromStdString(write("old", "earlier output"));
    window.captions[StatisticsRow::OrigSize] = QStringLiteral("earlier");
    writes(-1);
    click();
    ASSERT_EQ(window.errors.size(), 1);
    EXPECT_EQ(window.errors[0], QStringLiteral("The compression library did not write \"%1\": "
                                               "the file is as it was before the run.").arg(window.dest));
    EXPECT_EQ(caption(StatisticsRow::OrigSize), QString());
    EXPECT_EQ(read(path("old")), "earlier output");

    writes(3); // the same target, written this time
    click();
    EXPECT_EQ(window.errors.size(), 1);
    EXPECT_EQ(caption(StatisticsRow::CompSize), QStringLiteral("3 bytes"));
}

TEST_F(CompressRun, ReadsNoSizeThroughANameTheLibraryCutWithANul)
{
    using Set = void (*)(const char *, std::size_t, const char *, std::size_t);
    const std::string source = write("in", "0123456789");
    write("co", "existing file under the cut name");
    // The library leaves the source name as it was and writes "co\0press.dat".
    testLibraryFunction<Set>("rewriting", "rewriting_set")(source.data(), source.size(), "co\0press.dat", 12);
    Module1 rewriting(testLibrary("rewriting"));
    window.source = QString::fromStdString(source);

    click(rewriting);

    EXPECT_EQ(window.DestPath, QStringLiteral("co") + QChar(0) + QStringLiteral("press.dat"));
    EXPECT_EQ(caption(StatisticsRow::OrigSize), QStringLiteral("10 bytes"));
    EXPECT_EQ(caption(StatisticsRow::CompSize), QString());
    ASSERT_EQ(window.errors.size(), 1);
    EXPECT_TRUE(window.errors[0].contains(QStringLiteral("co\\0press.dat"))) << window.errors[0].toStdString();
    EXPECT_TRUE(window.errors[0].contains(QStringLiteral("NUL")));
}

TEST_F(CompressRun, ReadsSizesThroughTheNamesTheLibraryLeft)
{
    using Set = void (*)(const char *, std::size_t, const char *, std::size_t);
    write("in", "0123456789");
    write("ab", "abc");
    write("yy", "");
    write("zz", "1234");
    testLibraryFunction<Set>("rewriting", "rewriting_set")("ab", 2, "zz", 2);
    Module1 rewriting(testLibrary("rewriting"));
    window.source = QStringLiteral("in");
    window.dest = QStringLiteral("yy");

    click(rewriting);

    EXPECT_EQ(window.SourcePath, QStringLiteral("ab"));
    EXPECT_EQ(caption(StatisticsRow::OrigSize), QStringLiteral("3 bytes"));
    EXPECT_EQ(caption(StatisticsRow::CompSize), QStringLiteral("4 bytes"));
}

} // namespace
