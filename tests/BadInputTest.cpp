// What users type or pick, at its worst, through the real actions and the
// default library: the program says what went wrong (or nothing, where all is
// well), goes on, and never loses a file.
#include "support/QStringPrinter.h"
#include "runs/Clock.h"
#include "runs/CompressRun.h"
#include "runs/DecompressRun.h"
#include "runs/Module1.h"
#include "support/FakeWindow.h"
#include "support/ScratchFolder.h"
#include "window/ReportFailures.h"

#include <QLocale>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace {

enum class Action { Compress, Decompress };
// What the target is once the run is over.
enum class Target { Absent, Old, Written, Folder, TheSource };

struct BadInput {
    const char *name;
    Action action;
    std::string source, dest; // relative to the scratch folder, unless absolute or blank
    const char *message;      // a part of the message, or nullptr for none
    int rowsShown;            // statistics rows with a figure afterwards; -1: left alone
    Target target;
};

void PrintTo(const BadInput &input, std::ostream *os)
{
    *os << input.name;
}

const std::string Text = "Text that must survive every run.\n" + std::string(20000, 't');
const std::string Old = "precious earlier output";

class BadInputs : public ScratchFolder, public ::testing::WithParamInterface<BadInput> {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        QLocale::setDefault(QLocale::c());
        ASSERT_EQ(chdir(folder.c_str()), 0);
        for (const char *name : {"in.txt", " spaced .txt", "tab\t.txt", "\u00fcn\u00ef.txt", "new\nline.txt"})
            write(name, Text);
        write("old", Old);
        write("in.zst", packed(Text));
        fs::create_directory(path("dir"));
        ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
        fs::create_symlink(path("in.txt"), path("link-to-in"));
        fs::create_hard_link(path("in.txt"), path("hard-to-in"));
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir("/"), 0);
        ScratchFolder::TearDown();
    }

    static std::string packed(const std::string &content)
    {
        std::string frame(ZSTD_compressBound(content.size()), '\0');
        frame.resize(ZSTD_compress(frame.data(), frame.size(), content.data(), content.size(), 3));
        return frame;
    }

    static std::string unpacked(const std::string &frame)
    {
        unsigned long long size = ZSTD_getFrameContentSize(frame.data(), frame.size());
        if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN)
            return "(not a zstd frame)";
        std::string content(size, '\0');
        std::size_t got = ZSTD_decompress(content.data(), content.size(), frame.data(), frame.size());
        return ZSTD_isError(got) ? "(corrupt)" : content.substr(0, got);
    }

    QString field(const std::string &name) const
    {
        if (name.empty() || name.front() == '/' || name.find_first_not_of(' ') == std::string::npos)
            return QString::fromStdString(name);
        return QString::fromStdString(path(name));
    }

    FakeWindow window;
    MonotonicClock clock;
    Module1 library{QStringLiteral(NORVIK_BUILD_LIBRARY)};
};

TEST_P(BadInputs, SaysWhatWentWrongAndLosesNothing)
{
    const BadInput &input = GetParam();
    const auto before = entries();
    const QString earlier = QStringLiteral("earlier");
    for (StatisticsRow row : {StatisticsRow::OrigSize, StatisticsRow::CompSize, StatisticsRow::CompTime,
                              StatisticsRow::CompPct})
        window.captions[row] = earlier;
    window.source = field(input.source);
    window.dest = field(input.dest);

    reportFailures(window, [&] {
        if (input.action == Action::Compress)
            CompressBtn_Click(window, library, clock);
        else
            DecompressBtn_Click(window, library);
    });

    if (input.message) {
        ASSERT_EQ(window.errors.size(), 1);
        EXPECT_TRUE(window.errors[0].contains(QString::fromUtf8(input.message))) << window.errors[0].toStdString();
    } else {
        EXPECT_TRUE(window.errors.isEmpty()) << window.errors.join('\n').toStdString();
    }
    EXPECT_EQ(window.pointer, MousePointer::Default);

    int shown = 0, untouched = 0;
    for (const auto &[row, caption] : window.captions) {
        shown += !caption.isEmpty() && caption != earlier;
        untouched += caption == earlier;
    }
    if (input.rowsShown < 0) {
        EXPECT_EQ(untouched, 4);
    } else {
        EXPECT_EQ(untouched, 0) << "no row keeps a figure of an earlier run";
        EXPECT_EQ(shown, input.rowsShown);
    }

    // The sources are intact, whatever happened.
    EXPECT_TRUE(read(path("in.txt")) == Text);
    EXPECT_TRUE(unpacked(read(path("in.zst"))) == Text);

    const std::string target = window.DestPath.toStdString();
    auto after = entries();
    switch (input.target) {
    case Target::Absent:
        EXPECT_EQ(after, before);
        break;
    case Target::Old:
        EXPECT_EQ(read(target), Old);
        EXPECT_EQ(after, before);
        break;
    case Target::Folder:
        EXPECT_TRUE(fs::is_directory(target));
        EXPECT_EQ(after, before);
        break;
    case Target::TheSource:
        EXPECT_TRUE(fs::equivalent(target, path(input.source)));
        EXPECT_EQ(after, before);
        break;
    case Target::Written: {
        const std::string written = read(target);
        EXPECT_TRUE((input.action == Action::Compress ? unpacked(written) : written) == Text);
        after.erase(std::remove(after.begin(), after.end(), fs::path(target).filename().string()), after.end());
        EXPECT_EQ(after, before) << "nothing but the target is new";
        break;
    }
    }
}

const std::string TooLong = std::string(5000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Matrix, BadInputs,
    ::testing::Values(
        BadInput{"SourceMissing", Action::Compress, "missing", "out", "missing\" was not found", 0, Target::Absent},
        BadInput{"SourceIsAFolder", Action::Compress, "dir", "out", "it is not a regular file", 0, Target::Absent},
        BadInput{"SourceIsAFifo", Action::Compress, "fifo", "out", "it is not a regular file", 0, Target::Absent},
        BadInput{"SourceIsADevice", Action::Compress, "/dev/zero", "out", "it is not a regular file", 0, Target::Absent},
        // Reading /proc/self/mem from its start fails even for root.
        BadInput{"SourceUnreadable", Action::Compress, "/proc/self/mem", "out", "out\" was not found", 1, Target::Absent},
        BadInput{"TargetFolderMissing", Action::Compress, "in.txt", "no-folder/out", "no-folder/out\" was not found", 1, Target::Absent},
        BadInput{"TargetIsAFolder", Action::Compress, "in.txt", "dir", "did not write", 0, Target::Folder},
        BadInput{"TargetIsTheSource", Action::Compress, "in.txt", "in.txt", "did not write", 0, Target::TheSource},
        BadInput{"TargetIsTheSourceByDotSlash", Action::Compress, "in.txt", "./in.txt", "did not write", 0, Target::TheSource},
        BadInput{"TargetIsASymlinkToTheSource", Action::Compress, "in.txt", "link-to-in", "did not write", 0, Target::TheSource},
        BadInput{"TargetIsAHardLinkToTheSource", Action::Compress, "in.txt", "hard-to-in", "did not write", 0, Target::TheSource},
        BadInput{"TargetExistsAndTheRunFails", Action::Compress, "missing", "old", "did not write", 0, Target::Old},
        BadInput{"SpacesAroundNames", Action::Compress, " spaced .txt", " out ", nullptr, 4, Target::Written},
        BadInput{"TabInNames", Action::Compress, "tab\t.txt", "tab\t.zst", nullptr, 4, Target::Written},
        BadInput{"NonAsciiNames", Action::Compress, "\u00fcn\u00ef.txt", "\u00fcn\u00ef.zst", nullptr, 4, Target::Written},
        BadInput{"NewlineInNames", Action::Compress, "new\nline.txt", "new\nline.zst", nullptr, 4, Target::Written},
        BadInput{"SourceLongerThanPathMax", Action::Compress, TooLong, "out", "too long", 0, Target::Absent},
        BadInput{"TargetLongerThanPathMax", Action::Compress, "in.txt", TooLong, "too long", 1, Target::Absent},
        BadInput{"SourceOnlySpaces", Action::Compress, "   ", "out", "\"   \" was not found", 0, Target::Absent},
        BadInput{"BothOnlySpaces", Action::Compress, "  ", " ", nullptr, -1, Target::Absent},
        BadInput{"BothEmpty", Action::Compress, "", "", nullptr, -1, Target::Absent},
        BadInput{"DecompressNotZstd", Action::Decompress, "in.txt", "old", nullptr, -1, Target::Old},
        BadInput{"DecompressSourceMissing", Action::Decompress, "missing", "old", nullptr, -1, Target::Old},
        BadInput{"DecompressSourceIsAFifo", Action::Decompress, "fifo", "old", nullptr, -1, Target::Old},
        BadInput{"DecompressTargetIsTheSource", Action::Decompress, "in.zst", "in.zst", nullptr, -1, Target::TheSource},
        BadInput{"DecompressTargetIsAFolder", Action::Decompress, "in.zst", "dir", nullptr, -1, Target::Folder},
        BadInput{"DecompressBothEmpty", Action::Decompress, "", "", nullptr, -1, Target::Absent},
        BadInput{"DecompressTargetLongerThanPathMax", Action::Decompress, "in.zst", TooLong, nullptr, -1, Target::Absent},
        BadInput{"DecompressNonAsciiNames", Action::Decompress, "in.zst", "\u00fcn\u00ef.out", nullptr, -1, Target::Written}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
