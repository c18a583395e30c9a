// The compress and decompress actions against a fake window and a stand-in
// library: what reaches the library, what the window shows, and how each
// failure is reported.
#include "support/QStringPrinter.h"
#include "Module1.h"
#include "support/FakeWindow.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"

#include <QLocale>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

constexpr StatisticsRow Rows[] = {StatisticsRow::OrigSize, StatisticsRow::CompSize, StatisticsRow::CompTime,
                                  StatisticsRow::CompPct};

class Runs : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        QLocale::setDefault(QLocale::c());
        for (StatisticsRow row : Rows)
            window.captions[row] = QStringLiteral("earlier");
    }

    FakeWindow window;
};

struct RunCase {
    const char *name;
    bool compress;
    const char *library;     // a stand-in, or a path where there is none
    const char *source, *dest; // as typed; "in" and "old" are files the test made
    long long writes;        // bytes the recording library writes (no file when negative)
    const char *target;      // the target field afterwards, which reaches the library; nullptr: no call
    int rowsShown;           // statistics rows with a figure afterwards; -1: left as they were
    const char *message;     // a part of the one message shown, or nullptr for none
};

class RunCases : public Runs, public ::testing::WithParamInterface<RunCase> {};

// Only spaces are blank; Compress fills a blank target with "compress.dat" and
// shows it before the call, under the busy pointer; nothing is trimmed. Each
// failure is one message, with the pointer back to normal and no figure of an
// earlier run left in a row.
TEST_P(RunCases, ReachTheLibraryAndShowWhatHappened)
{
    const RunCase &c = GetParam();
    Module1 library(c.library[0] == '/' ? QString::fromLatin1(c.library) : testLibrary(c.library));
    write("in", "some text");
    write("old", "earlier output");
    mkfifo(path("fifo").c_str(), 0600);
    recordInto(window, c.writes);

    window.click(c.compress, library, QString::fromLatin1(c.source), QString::fromLatin1(c.dest));

    const bool called = c.target && c.library == std::string("recording");
    ASSERT_EQ(window.calls.size(), called ? 1u : 0u);
    if (called) {
        EXPECT_EQ(window.calls[0].entry, c.compress ? "compress_file" : "decompress_file");
        EXPECT_EQ(window.calls[0].source, c.source);
        EXPECT_EQ(window.calls[0].target, c.target);
        EXPECT_EQ(window.calls[0].pointer, c.compress ? MousePointer::Hourglass : MousePointer::Default);
        EXPECT_EQ(window.calls[0].repaints, c.compress ? 1 : 0) << "the target field is drawn before the call";
    }
    EXPECT_EQ(window.fields[1], QLatin1String(c.target ? c.target : c.dest));
    EXPECT_EQ(window.errors.size(), c.message ? 1 : 0) << window.errors.join('\n').toStdString();
    if (c.message && !window.errors.isEmpty())
        EXPECT_TRUE(window.errors[0].contains(QLatin1String(c.message))) << window.errors[0].toStdString();
    EXPECT_EQ(window.pointer, MousePointer::Default);
    QStringList shown; // the rows with a figure, or "earlier" where a row kept the earlier run's
    for (StatisticsRow row : Rows)
        if (!window.caption(row).isEmpty())
            shown << window.caption(row);
    EXPECT_EQ(shown.count(QStringLiteral("earlier")), c.rowsShown < 0 ? 4 : 0);
    EXPECT_EQ(shown.size(), c.rowsShown < 0 ? 4 : c.rowsShown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunCases,
    ::testing::Values(
        RunCase{"BothEmpty", true, "recording", "", "", 0, nullptr, -1, nullptr},
        RunCase{"BothSpaces", true, "recording", " ", "    ", 0, nullptr, -1, nullptr},
        RunCase{"DefaultTarget", true, "recording", "in", "", 3, "compress.dat", 4, nullptr},
        RunCase{"SpacesAreBlank", true, "recording", "in", "   ", 3, "compress.dat", 4, nullptr},
        RunCase{"TabIsText", true, "recording", "in", "\t", 3, "\t", 4, nullptr},
        RunCase{"BlankSource", true, "recording", "   ", "out", 3, "out", 0, "Cannot read file \"   \": No such file or directory."},
        RunCase{"PathsAsTyped", true, "recording", " in ", " out ", 3, " out ", 0, "Cannot read file \" in \": No such"},
        RunCase{"LibraryMissing", true, "/no/such/folder/libnorvik.so", "in", "", 1, "compress.dat", 0,
                "The compression library \"/no/such/folder/libnorvik.so\" cannot be loaded: "},
        RunCase{"EntryPointMissing", true, "no_entry", "in", "", 1, "compress.dat", 0,
                "has no entry point \"compress_file\"."},
        // The source is read first: a name mistyped there is the one reported.
        RunCase{"SourceMissing", true, "recording", "/no/such/source", "", -1, "compress.dat", 0,
                "Cannot read file \"/no/such/source\": No such file or directory."},
        RunCase{"NoTargetWritten", true, "recording", "in", "", -1, "compress.dat", 1,
                "The compression library wrote no file at \"compress.dat\"."},
        RunCase{"NoFileWritten", true, "recording", "in", "fifo", -1, "fifo", 1,
                "The compression library wrote no file at \"fifo\": what is there is not a regular file."},
        RunCase{"TargetLeftAsItWas", true, "recording", "in", "old", -1, "old", 1,
                "The compression library did not write \"old\": the file is as it was before the run."},
        RunCase{"EmptyTarget", true, "recording", "in", "out", 0, "out", 1,
                "The compression library wrote an empty file at \"out\" for a source of 9 bytes."},
        RunCase{"EmptiedTarget", true, "recording", "in", "old", 0, "old", 1,
                "for a source of 9 bytes. The file that was there before is lost."},
        RunCase{"TargetRewrittenWithTheSameSize", true, "recording", "in", "old", 14, "old", 4, nullptr},
        RunCase{"DecompressBothEmpty", false, "recording", "", "", -1, "", -1,
                "The compression library wrote no file at \"\"."},
        RunCase{"DecompressAsTyped", false, "recording", " a.zst ", "  ", 0, "  ", -1, nullptr},
        RunCase{"DecompressTargetLeftAsItWas", false, "recording", "in", "old", -1, "old", -1,
                "The compression library did not write \"old\": the file is as it was before the run."},
        RunCase{"DecompressIntoAFifo", false, "recording", "in", "fifo", -1, "fifo", -1,
                "The compression library wrote no file at \"fifo\": what is there is not a regular file."},
        RunCase{"DecompressLibraryMissing", false, "/no/such/libnorvik.so", "", "", 0, "", -1,
                "\"/no/such/libnorvik.so\" cannot be loaded"},
        RunCase{"DecompressEntryPointMissing", false, "no_entry", "", "", 0, "", -1,
                "has no entry point \"decompress_file\"."}),
    [](const auto &info) { return std::string(info.param.name); });

struct FiguresCase {
    std::uintmax_t originalBytes;
    long long compressedBytes;
    std::chrono::nanoseconds callTakes;
    const char *origSize, *compSize, *compTime, *compPct;
};

class RunFigures : public Runs, public ::testing::WithParamInterface<FiguresCase> {};

// The time is the library call's alone; the sizes are exact at any size.
TEST_P(RunFigures, ShowTheFourStatistics)
{
    const FiguresCase &c = GetParam();
    std::filesystem::resize_file(write("in", ""), c.originalBytes); // sparse
    window.callTakes = c.callTakes;
    recordInto(window, c.compressedBytes);
    Module1 recording(testLibrary("recording"));
    window.click(true, recording, QStringLiteral("in"), QStringLiteral("out"));
    EXPECT_EQ(window.errors, QStringList());
    EXPECT_EQ((QStringList{window.caption(Rows[0]), window.caption(Rows[1]), window.caption(Rows[2]), window.caption(Rows[3])}),
              (QStringList{c.origSize, c.compSize, c.compTime, c.compPct}));
}

INSTANTIATE_TEST_SUITE_P(
    Captions, RunFigures,
    ::testing::Values(
        FiguresCase{152089, 56999, 2600us, "152,089 bytes", "56,999 bytes", ".0026 secs.", "62.5%"},
        FiguresCase{100, 120, 2s, "100 bytes", "120 bytes", "2. secs.", "-20.%"},
        FiguresCase{512, 512, 0s, "512 bytes", "512 bytes", ". secs.", ".%"},
        FiguresCase{3, 1, 12345678901ns, "3 bytes", "1 bytes", "12.3457 secs.", "66.7%"},
        FiguresCase{0, 0, 50us, " bytes", " bytes", ".0001 secs.", "n/a"},
        FiguresCase{1000, 1, 49us, "1,000 bytes", "1 bytes", ". secs.", "99.9%"},
        // An empty source is no failure; there is just no share saved.
        FiguresCase{0, 9, 1ms, " bytes", "9 bytes", ".001 secs.", "n/a"},
        FiguresCase{5'000'000'000, 10, 1s, "5,000,000,000 bytes", "10 bytes", "1. secs.", "100.%"}));

// The sizes are read through the names as the library left them, in the
// system's encoding; a name it cut with a NUL is reported, never read through
// its shorter form.
TEST_F(Runs, ReadSizesThroughTheNamesTheLibraryLeft)
{
    Module1 recording(testLibrary("recording"));
    recordInto(window, -1);
    write("\u00e9t\u00e9", "abc");
    write("\u2603ab", "1234");
    rewriteTo("\u00e9t\u00e9", "\u2603ab"); // the same lengths in UTF-8
    window.click(true, recording, QStringLiteral("\u00fcber"), QStringLiteral("s\u00fc\u00df"));
    EXPECT_EQ(window.SourcePath, QStringLiteral("\u00e9t\u00e9"));
    EXPECT_EQ(window.caption(StatisticsRow::OrigSize), QStringLiteral("3 bytes"));
    EXPECT_EQ(window.caption(StatisticsRow::CompSize), QStringLiteral("4 bytes"));

    write("co", "a file under the cut name");
    rewriteTo("\u00e9t\u00e9", std::string("co\0press.dat", 12));
    window.click(true, recording, QStringLiteral("\u00fcber"), QStringLiteral("compress.dat"));
    EXPECT_EQ(window.caption(StatisticsRow::OrigSize), QStringLiteral("3 bytes"));
    EXPECT_EQ(window.caption(StatisticsRow::CompSize), QString());
    EXPECT_EQ(window.errors, QStringList{"The compression library wrote no file at \"co\\0press.dat\": "
                                         "the name holds a NUL character."});
}

// A path the system's encoding cannot carry (a lone surrogate here) is
// refused before the library sees it.
TEST_F(Runs, RefuseAPathTheEncodingCannotCarry)
{
    recordInto(window, 0);
    Module1 recording(testLibrary("recording"));
    window.click(true, recording, QStringLiteral("in") + QChar(0xD800), QStringLiteral("out"));
    EXPECT_TRUE(window.calls.empty());
    EXPECT_TRUE(window.errors.value(0).contains(QStringLiteral("cannot be passed to the compression library")));
}

// Loaded on the first call of either entry point, the library stays: taking
// its file away changes nothing.
TEST_F(Runs, LoadTheLibraryOnceOnTheFirstCall)
{
    std::filesystem::copy_file(testLibrary("recording").toStdString(), path(NORVIK_LIBRARY_FILE));
    Module1 library(QString::fromStdString(path(NORVIK_LIBRARY_FILE)));
    QString source, target;
    library.decompress_file(source, target);
    std::filesystem::remove(path(NORVIK_LIBRARY_FILE));
    EXPECT_NO_THROW(library.compress_file(source, target));
    EXPECT_NO_THROW(library.decompress_file(source, target));
}

} // namespace
