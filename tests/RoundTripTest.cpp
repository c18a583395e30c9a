// Compress and Decompress through their handlers with the default library, on
// real files: what comes back is what went in, byte for byte.
#include "support/QStringPrinter.h"
#include "runs/Clock.h"
#include "runs/Module1.h"
#include "support/Clicks.h"
#include "support/FakeWindow.h"
#include "support/ScratchFolder.h"

#include <QLocale>
#include <random>

namespace {

std::string randomBytes(std::size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

class RoundTrip : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        QLocale::setDefault(QLocale::c());
    }

    // Source and target typed in, Compress, then the compressed file as the
    // source and a new name as the target, Decompress.
    std::string throughTheWindow(const std::string &original)
    {
        clickCompress(window, library, clock, original, path("packed.zst"));
        clickDecompress(window, library, path("packed.zst"), path("unpacked"));
        EXPECT_TRUE(window.errors.isEmpty()) << window.errors.join('\n').toStdString();
        return read(path("unpacked"));
    }

    FakeWindow window;
    MonotonicClock clock;
    Module1 library{QStringLiteral(NORVIK_BUILD_LIBRARY)};
};

TEST_F(RoundTrip, GivesBackSmallAndIncompressibleFiles)
{
    struct Sample { const char *name; std::string content; const char *origSize; };
    const Sample samples[] = {{"empty", "", " bytes"},
                              {"one", "x", "1 bytes"},
                              {"random", randomBytes(1000), "1,000 bytes"}};
    for (const Sample &sample : samples) {
        const std::string original = write(sample.name, sample.content);
        EXPECT_TRUE(throughTheWindow(original) == sample.content) << sample.name;
        EXPECT_EQ(window.caption(StatisticsRow::OrigSize), QLatin1String(sample.origSize));
    }
    // The compressed size shown is the file's; an incompressible file grows a little.
    EXPECT_EQ(window.caption(StatisticsRow::CompSize).chopped(6).remove(QLatin1Char(',')).toULongLong(),
              std::filesystem::file_size(path("packed.zst")));
    EXPECT_TRUE(window.caption(StatisticsRow::CompPct).startsWith(QLatin1Char('-')));
}

TEST_F(RoundTrip, GivesBackTextAndBinaryFilesOfTheCorpora)
{
    const std::filesystem::path corpus = CORPUS_DIR;
    if (!std::filesystem::exists(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    for (const char *name : {"canterbury/alice29.txt", "canterbury/kennedy.xls", "canterbury/sum",
                             "calgary/pic", "large/E.coli"}) {
        const std::string original = (corpus / name).string();
        EXPECT_TRUE(throughTheWindow(original) == read(original)) << name;
    }
    EXPECT_EQ(window.caption(StatisticsRow::OrigSize), QStringLiteral("4,638,690 bytes"));
}

TEST_F(RoundTrip, GivesBackAFileOverSixtyFourMebibytes)
{
    std::string content;
    const std::string noise = randomBytes(1 << 20);
    for (int i = 0; content.size() < (65u << 20) + 12345; ++i)
        content += i % 4 == 0 ? noise : "row " + std::to_string(i) + ", some text between the noise\n";
    const std::string original = write("big", content);
    EXPECT_TRUE(throughTheWindow(original) == content);
}

// What the zstd command writes, Decompress reads; what Compress writes, the
// zstd command reads.
TEST_F(RoundTrip, TalksWithTheZstdCommandBothWays)
{
    if (std::system("zstd --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the zstd command is not installed";
    const std::string original = write("text", std::string(100000, 'z') + randomBytes(5000));

    clickCompress(window, library, clock, original, path("ours.zst"));
    ASSERT_EQ(std::system(("zstd -q -d '" + path("ours.zst") + "' -o '" + path("by-zstd") + "'").c_str()), 0);
    EXPECT_TRUE(read(path("by-zstd")) == read(original));

    ASSERT_EQ(std::system(("zstd -q -9 '" + original + "' -o '" + path("theirs.zst") + "'").c_str()), 0);
    clickDecompress(window, library, path("theirs.zst"), path("by-us"));
    EXPECT_TRUE(read(path("by-us")) == read(original));
    EXPECT_TRUE(window.errors.isEmpty());
}

// A source that is not a zstd file: Decompress leaves no target and keeps an
// existing one.
TEST_F(RoundTrip, DecompressOfABadSourceKeepsTheTarget)
{
    const std::string packed = path("packed.zst");
    clickCompress(window, library, clock, write("text", std::string(50000, 'k')), packed);
    std::string frame = read(packed);
    write("truncated.zst", frame.substr(0, frame.size() / 2));
    write("target", "keep me");
    for (const char *bad : {"text", "truncated.zst", "missing"}) {
        clickDecompress(window, library, path(bad), path("target"));
        EXPECT_EQ(read(path("target")), "keep me") << bad;
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"packed.zst", "target", "text", "truncated.zst"}));
}

} // namespace
