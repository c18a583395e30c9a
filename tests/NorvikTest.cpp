// The default library through its two entry points: round trips, the zstd
// command as the other side, and the promise never to lose a file.
#include "norvik.h"
#include "support/ScratchFolder.h"

#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace {

int compress(std::string source, std::string target)
{
    return compress_file(source.data(), target.data());
}

int decompress(std::string source, std::string target)
{
    return decompress_file(source.data(), target.data());
}

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

bool haveZstdCommand()
{
    return std::system("zstd --version >/dev/null 2>&1") == 0;
}

int run(const std::string &command)
{
    return std::system(command.c_str());
}

class Norvik : public ScratchFolder {
protected:
    // Compresses `content` and decompresses it again; returns the bytes that came back.
    std::string roundTrip(const std::string &original)
    {
        EXPECT_EQ(compress(original, path("packed.zst")), NORVIK_OK);
        EXPECT_EQ(decompress(path("packed.zst"), path("unpacked")), NORVIK_OK);
        return read(path("unpacked"));
    }
};

struct Sample {
    const char *name;
    std::string content;
};

void PrintTo(const Sample &s, std::ostream *os)
{
    *os << s.name;
}

class NorvikRoundTrip : public Norvik, public ::testing::WithParamInterface<Sample> {};

TEST_P(NorvikRoundTrip, GivesBackEveryByte)
{
    const std::string original = write("original", GetParam().content);
    const std::string back = roundTrip(original);
    EXPECT_EQ(back.size(), GetParam().content.size());
    EXPECT_TRUE(back == GetParam().content);
    EXPECT_EQ(entries(), (std::vector<std::string>{"original", "packed.zst", "unpacked"}));
}

INSTANTIATE_TEST_SUITE_P(Contents, NorvikRoundTrip,
                         ::testing::Values(Sample{"Empty", ""}, Sample{"OneByte", "x"},
                                           Sample{"Zeros", std::string(3 << 20, '\0')},
                                           Sample{"Incompressible", randomBytes(3 << 20, 1)}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(Norvik, GivesBackEveryFileOfTheCorpora)
{
    const fs::path corpus = CORPUS_DIR;
    if (!fs::exists(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    int files = 0;
    for (const auto &entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".md")
            continue;
        const std::string original = entry.path().string();
        EXPECT_TRUE(roundTrip(original) == read(original)) << original;
        ++files;
    }
    EXPECT_GT(files, 30);
}

TEST_F(Norvik, WritesStandardFramesWithContentSizeAndChecksum)
{
    const std::string content = randomBytes(5000, 3) + std::string(100000, 'a');
    ASSERT_EQ(compress(write("in", content), path("in.zst")), NORVIK_OK);
    const std::string packed = read(path("in.zst"));
    EXPECT_EQ(ZSTD_getFrameContentSize(packed.data(), packed.size()), content.size());
    ASSERT_GT(packed.size(), 4u);
    const auto descriptor = static_cast<unsigned char>(packed[4]); // after the magic number
    EXPECT_TRUE(descriptor & 0x04) << "the frame carries a content checksum";
    EXPECT_EQ(ZSTD_findFrameCompressedSize(packed.data(), packed.size()), packed.size()) << "one frame";
    EXPECT_LT(packed.size(), content.size() / 10);

    if (!haveZstdCommand())
        GTEST_SKIP() << "the zstd command is not installed";
    ASSERT_EQ(run("zstd -q -d -f '" + path("in.zst") + "' -o '" + path("by-zstd") + "'"), 0);
    EXPECT_TRUE(read(path("by-zstd")) == content);
}

// The zstd command's own files: several frames, skippable frames, no content
// size, no checksum.
TEST_F(Norvik, ReadsWhatTheZstdCommandWrites)
{
    if (!haveZstdCommand())
        GTEST_SKIP() << "the zstd command is not installed";
    const std::string a = write("a", std::string(200000, 'a') + randomBytes(1000, 4));
    const std::string b = write("b", "second frame\n");
    const std::string z = "zstd -q -f ";
    ASSERT_EQ(run(z + "-19 '" + a + "' -o '" + path("a.zst") + "'"), 0);
    ASSERT_EQ(run(z + "--no-check '" + b + "' -o '" + path("b.zst") + "'"), 0);
    ASSERT_EQ(run("zstd -q -c < '" + a + "' > '" + path("piped.zst") + "'"), 0);

    std::string skippable("\x50\x2A\x4D\x18\x05\x00\x00\x00hello", 13);
    const std::string several = write("several.zst", skippable + read(path("a.zst")) + skippable
                                                       + read(path("b.zst")) + read(path("piped.zst")));
    ASSERT_EQ(decompress(several, path("several")), NORVIK_OK);
    EXPECT_TRUE(read(path("several")) == read(a) + read(b) + read(a));
}

// The failures that must leave the folder exactly as it was: no target, no
// temporary file, and an existing target with its old content.
struct Refusal {
    const char *name;
    int (*entry)(std::string, std::string);
    std::string source; // content of the source file
    int expected;
};

void PrintTo(const Refusal &r, std::ostream *os)
{
    *os << r.name;
}

class NorvikRefusal : public Norvik, public ::testing::WithParamInterface<Refusal> {};

// A frame with a checksum, so that corruption shows.
std::string packed(const std::string &content)
{
    std::string frame(ZSTD_compressBound(content.size()), '\0');
    ZSTD_CCtx *context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    frame.resize(ZSTD_compress2(context, frame.data(), frame.size(), content.data(), content.size()));
    ZSTD_freeCCtx(context);
    return frame;
}

std::string corrupted(std::string frame)
{
    frame[frame.size() / 2] ^= 0x5A;
    return frame;
}

TEST_P(NorvikRefusal, LeavesNoTargetAndKeepsTheOldOne)
{
    const Refusal &r = GetParam();
    write("in", r.source);
    write("old-target", "precious");
    const auto before = entries();

    EXPECT_EQ(r.entry(path("in"), path("old-target")), r.expected);
    EXPECT_EQ(r.entry(path("in"), path("new-target")), r.expected);

    EXPECT_EQ(entries(), before);
    EXPECT_EQ(read(path("old-target")), "precious");
    EXPECT_TRUE(read(path("in")) == r.source);
}

const std::string text = std::string(50000, 'q') + "tail";

INSTANTIATE_TEST_SUITE_P(
    Inputs, NorvikRefusal,
    ::testing::Values(Refusal{"NotZstd", decompress, "plain text, not zstd", NORVIK_CODEC_ERROR},
                      Refusal{"EmptyInput", decompress, "", NORVIK_CODEC_ERROR},
                      Refusal{"Truncated", decompress, packed(text).substr(0, packed(text).size() - 5),
                              NORVIK_CODEC_ERROR},
                      Refusal{"Corrupt", decompress, corrupted(packed(text)), NORVIK_CODEC_ERROR},
                      Refusal{"TrailingGarbage", decompress, packed(text) + "junk", NORVIK_CODEC_ERROR}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Norvik, RefusesWhenSourceAndTargetAreTheSameFile)
{
    const std::string source = write("data", text);
    fs::create_symlink(source, path("link"));
    fs::create_hard_link(source, path("hard"));
    const std::string sameFile[] = {source, folder.string() + "/./data", path("link"), path("hard")};
    for (const std::string &target : sameFile) {
        EXPECT_EQ(compress(source, target), NORVIK_SAME_FILE) << target;
        EXPECT_EQ(decompress(source, target), NORVIK_SAME_FILE) << target;
    }
    EXPECT_TRUE(read(source) == text);
    EXPECT_EQ(entries(), (std::vector<std::string>{"data", "hard", "link"}));
}

TEST_F(Norvik, FailsCleanlyOnPathsItCannotUse)
{
    write("in", text);
    fs::create_directory(path("folder"));
    struct Case { std::string source, target; int expected; };
    const Case cases[] = {
        {path("missing"), path("out"), NORVIK_SOURCE_ERROR},
        {path("folder"), path("out"), NORVIK_SOURCE_ERROR},
        {"/dev/zero", path("out"), NORVIK_SOURCE_ERROR},
        {path("in"), path("no-such-folder/out"), NORVIK_TARGET_ERROR},
        {path("in"), path("folder"), NORVIK_TARGET_ERROR},
        {path("in"), "/dev/null", NORVIK_TARGET_ERROR},
        {"", path("out"), NORVIK_BAD_ARGUMENT},
        {path("in"), "", NORVIK_BAD_ARGUMENT},
    };
    const auto before = entries();
    for (const Case &c : cases) {
        EXPECT_EQ(compress(c.source, c.target), c.expected) << c.source << " -> " << c.target;
        EXPECT_EQ(decompress(c.source, c.target), c.expected) << c.source << " -> " << c.target;
    }
    EXPECT_EQ(compress_file(nullptr, nullptr), NORVIK_BAD_ARGUMENT);
    EXPECT_EQ(decompress_file(nullptr, nullptr), NORVIK_BAD_ARGUMENT);
    EXPECT_EQ(entries(), before);
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode)) << "a device is never replaced";
}

TEST_F(Norvik, ReplacesTheFileASymlinkNamesAndKeepsItsPermissions)
{
    const std::string source = write("in", text);
    const std::string real = write("real-target", "old");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, path("link-target"));
    ASSERT_EQ(compress(source, path("link-target")), NORVIK_OK);
    EXPECT_TRUE(fs::is_symlink(path("link-target")));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(decompress(path("link-target"), path("back")), NORVIK_OK);
    EXPECT_TRUE(read(path("back")) == text);
}

} // namespace
