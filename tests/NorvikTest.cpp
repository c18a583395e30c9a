// The default library through its two entry points: every byte comes back, it
// reads and writes what the zstd command does, and no input loses a file.
#include "norvik.h"
#include "support/ScratchFolder.h"

#include <csignal>
#include <map>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace {

using Entry = int (*)(char *, char *);

int call(Entry entry, std::string source, std::string target)
{
    return entry(source.data(), target.data());
}

std::string randomBytes(std::size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// Every file of the corpora, one after another.
std::string corpora()
{
    std::string all;
    for (const auto &entry : fs::recursive_directory_iterator(CORPUS_DIR))
        if (entry.is_regular_file() && entry.path().extension() != ".md")
            all += ScratchFolder::read(entry.path().string());
    return all;
}

struct Sample {
    const char *name;
    std::string (*content)();
};

void PrintTo(const Sample &sample, std::ostream *os)
{
    *os << sample.name;
}

class Norvik : public ScratchFolder {};
class NorvikRoundTrip : public Norvik, public ::testing::WithParamInterface<Sample> {};

// One standard frame with the content size and a checksum, and every byte back.
TEST_P(NorvikRoundTrip, GivesBackEveryByte)
{
    if (GetParam().content == corpora && !fs::exists(CORPUS_DIR))
        GTEST_SKIP() << "no corpus at " << CORPUS_DIR;
    const std::string content = GetParam().content();
    ASSERT_EQ(call(compress_file, write("original", content), path("packed.zst")), NORVIK_OK);
    ASSERT_EQ(call(decompress_file, path("packed.zst"), path("unpacked")), NORVIK_OK);
    EXPECT_TRUE(read(path("unpacked")) == content);
    const std::string frame = read(path("packed.zst"));
    EXPECT_EQ(ZSTD_getFrameContentSize(frame.data(), frame.size()), content.size());
    EXPECT_EQ(ZSTD_findFrameCompressedSize(frame.data(), frame.size()), frame.size());
    EXPECT_TRUE(frame.size() > 4 && (frame[4] & 0x04)) << "the frame carries a checksum";
    EXPECT_EQ(entries(), (std::vector<std::string>{"original", "packed.zst", "unpacked"}));
}

INSTANTIATE_TEST_SUITE_P(
    Contents, NorvikRoundTrip,
    ::testing::Values(Sample{"Empty", [] { return std::string(); }}, Sample{"OneByte", [] { return std::string("x"); }},
                      Sample{"Zeros", [] { return std::string(3 << 20, '\0'); }},
                      Sample{"Incompressible", [] { return randomBytes(3 << 20); }}, Sample{"Corpora", corpora}),
    [](const auto &info) { return std::string(info.param.name); });

// The zstd command reads what compress_file writes, and decompress_file reads
// what the command writes: several frames, skippable frames, no content size,
// no checksum.
TEST_F(Norvik, TalksWithTheZstdCommandBothWays)
{
    if (std::system("zstd --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "the zstd command is not installed";
    const std::string a = write("a", std::string(200000, 'a') + randomBytes(1000));
    write("b", "second frame\n");
    ASSERT_EQ(call(compress_file, a, path("ours.zst")), NORVIK_OK);
    ASSERT_EQ(std::system("zstd -q -d ours.zst -o by-zstd && zstd -q -19 a -o a.zst && zstd -q --no-check b -o b.zst"
                          " && zstd -q -c < a > piped.zst"), 0);
    EXPECT_TRUE(read(path("by-zstd")) == read(a));
    const std::string skippable("\x50\x2A\x4D\x18\x05\x00\x00\x00hello", 13);
    write("several.zst", skippable + read(path("a.zst")) + skippable + read(path("b.zst")) + read(path("piped.zst")));
    ASSERT_EQ(call(decompress_file, path("several.zst"), path("several")), NORVIK_OK);
    EXPECT_TRUE(read(path("several")) == read(a) + read(path("b")) + read(a));
    EXPECT_EQ(compress_file(nullptr, nullptr), NORVIK_BAD_ARGUMENT);
    EXPECT_EQ(decompress_file(nullptr, nullptr), NORVIK_BAD_ARGUMENT);
}

// How a call is made: here; in a child whose peak memory is taken; or in a
// child that may write no file past 256 KiB (a full disk, without root).
enum class Runner { InProcess, Child, FileLimit };

struct BadInput {
    const char *name;
    Entry entry;
    std::string source, target; // in the scratch folder, unless absolute or empty
    Runner runner;
    int expected;
};

void PrintTo(const BadInput &input, std::ostream *os)
{
    *os << input.name;
}

const std::string Text = "Text that must survive every run.\n" + std::string(20000, 't');

class NorvikBadInputs : public Norvik, public ::testing::WithParamInterface<BadInput> {
protected:
    void SetUp() override
    {
        Norvik::SetUp();
        const std::string noise = randomBytes(1 << 20);
        write("noise", noise);
        write("noise600k", noise.substr(0, 600000));
        write("in.txt", Text);
        ASSERT_EQ(call(compress_file, path("noise"), path("noise.zst")), NORVIK_OK);
        ASSERT_EQ(call(compress_file, path("in.txt"), path("in.zst")), NORVIK_OK);
        const std::string frame = read(path("in.zst"));
        write("old", "precious earlier output");
        write("empty", "");
        write("truncated.zst", frame.substr(0, frame.size() - 5));
        write("corrupt.zst", std::string(frame).replace(frame.size() / 2, 1, 1, frame[frame.size() / 2] ^ 0x5A));
        write("trailing.zst", frame + "junk");
        // A frame whose header claims 2^62 bytes of content but carries five.
        write("lies.zst", std::string("\x28\xB5\x2F\xFD\xC0\x00\0\0\0\0\0\0\0\x40\x29\0\0hello", 22));
        fs::create_directory(path("dir"));
        ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
        fs::create_symlink(path("in.txt"), path("link-to-in"));
        fs::create_hard_link(path("in.txt"), path("hard-to-in"));
        haveDevice = mknod(path("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; // as /dev/null
    }

    std::string at(const std::string &name) const { return name.empty() || name[0] == '/' ? name : path(name); }

    // The entry point's result, and the peak memory of the child that ran it.
    std::pair<int, long> run(const BadInput &input)
    {
        if (input.runner == Runner::InProcess)
            return {call(input.entry, at(input.source), at(input.target)), 0};
        if (fork() == 0) {
            const rlimit limit{256 << 10, 256 << 10};
            if (input.runner == Runner::FileLimit)
                std::signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &limit);
            _exit(call(input.entry, at(input.source), at(input.target)));
        }
        int status = 0;
        rusage usage{};
        wait4(-1, &status, 0, &usage);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024};
    }

    // Every entry of the folder with its kind, owner, mode and content, so that any change shows.
    std::map<std::string, std::string> snapshot() const
    {
        std::map<std::string, std::string> files;
        for (const auto &entry : fs::directory_iterator(folder)) {
            struct stat status {};
            lstat(entry.path().c_str(), &status);
            files[entry.path().filename().string()] =
                std::to_string(status.st_mode) + " " + std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid)
                + (S_ISLNK(status.st_mode) ? fs::read_symlink(entry).string()
                                            : S_ISREG(status.st_mode) ? read(entry.path().string()) : "");
        }
        return files;
    }

    bool haveDevice = false;
};

int openDescriptors()
{
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// A refusal leaves every file as it was, the target too, and nothing new; what
// is done writes the target and nothing else. Either way no descriptor stays
// open, and memory stays bounded.
TEST_P(NorvikBadInputs, LoseNoFile)
{
    const BadInput &input = GetParam();
    if (input.target == "device" && !haveDevice)
        GTEST_SKIP() << "making a device node needs root";
    auto before = snapshot();
    const int descriptors = openDescriptors();

    const auto [result, peakMiB] = run(input);

    EXPECT_EQ(result, input.expected);
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_LT(peakMiB, 150);
    auto after = snapshot();
    if (input.expected == NORVIK_OK) {
        const std::string written = read(at(input.target));
        EXPECT_TRUE(input.entry == compress_file ? written.starts_with("\x28\xB5\x2F\xFD") : written == Text);
        for (auto *files : {&before, &after})
            files->erase(fs::path(at(input.target)).filename().string());
    }
    EXPECT_TRUE(after == before) << "a file changed, or one was left behind";
}

const std::string TooLong(5000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Matrix, NorvikBadInputs,
    ::testing::Values(
        BadInput{"NotZstd", decompress_file, "in.txt", "old", Runner::InProcess, NORVIK_CODEC_ERROR},
        BadInput{"EmptySource", decompress_file, "empty", "new", Runner::InProcess, NORVIK_CODEC_ERROR},
        BadInput{"Truncated", decompress_file, "truncated.zst", "old", Runner::InProcess, NORVIK_CODEC_ERROR},
        BadInput{"Corrupt", decompress_file, "corrupt.zst", "old", Runner::InProcess, NORVIK_CODEC_ERROR},
        BadInput{"TrailingGarbage", decompress_file, "trailing.zst", "new", Runner::InProcess, NORVIK_CODEC_ERROR},
        BadInput{"FrameLiesAboutItsSize", decompress_file, "lies.zst", "new", Runner::Child, NORVIK_CODEC_ERROR},
        BadInput{"DecompressIntoItsSource", decompress_file, "in.zst", "in.zst", Runner::InProcess, NORVIK_SAME_FILE},
        BadInput{"SourceMissing", compress_file, "missing", "new", Runner::InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceIsAFolder", compress_file, "dir", "new", Runner::InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceIsAFifo", compress_file, "fifo", "new", Runner::InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceIsADevice", compress_file, "/dev/zero", "new", Runner::InProcess, NORVIK_SOURCE_ERROR},
        // Reading /proc/self/mem from its start fails even for root.
        BadInput{"SourceUnreadable", compress_file, "/proc/self/mem", "new", Runner::InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceTooLong", compress_file, TooLong, "new", Runner::InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"EmptyPath", compress_file, "in.txt", "", Runner::InProcess, NORVIK_BAD_ARGUMENT},
        BadInput{"TargetFolderMissing", compress_file, "in.txt", "no-folder/new", Runner::InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsAFolder", compress_file, "in.txt", "dir", Runner::InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsAFifo", compress_file, "in.txt", "fifo", Runner::InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsADevice", compress_file, "in.txt", "device", Runner::InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetTooLong", compress_file, "in.txt", TooLong, Runner::InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsTheSource", compress_file, "in.txt", "in.txt", Runner::InProcess, NORVIK_SAME_FILE},
        BadInput{"TargetIsTheSourceByDotSlash", compress_file, "in.txt", "./in.txt", Runner::InProcess, NORVIK_SAME_FILE},
        BadInput{"TargetIsASymlinkToTheSource", compress_file, "in.txt", "link-to-in", Runner::InProcess, NORVIK_SAME_FILE},
        BadInput{"TargetIsAHardLinkToTheSource", compress_file, "in.txt", "hard-to-in", Runner::InProcess, NORVIK_SAME_FILE},
        BadInput{"DiskFullReplacing", compress_file, "noise", "old", Runner::FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"DiskFullCreating", compress_file, "noise", "new", Runner::FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"DiskFullUnderOneBlock", compress_file, "noise600k", "new", Runner::FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"DecompressDiskFull", decompress_file, "noise.zst", "old", Runner::FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"ReplacingATarget", compress_file, "in.txt", "old", Runner::InProcess, NORVIK_OK},
        BadInput{"LongestName", compress_file, "in.txt", std::string(255, 'n'), Runner::InProcess, NORVIK_OK},
        BadInput{"OddCharacters", decompress_file, "in.zst", " a\tb\nc \u00fc\u2603 ", Runner::InProcess, NORVIK_OK}),
    [](const auto &info) { return std::string(info.param.name); });

// A symlinked target keeps its link; the file it names is replaced and keeps
// its permissions.
TEST_F(Norvik, ReplacesTheFileASymlinkNamesAndKeepsItsPermissions)
{
    const std::string real = write("real-target", "old");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(real, mode);
    fs::create_symlink(real, path("link"));
    ASSERT_EQ(call(compress_file, write("in", Text), path("link")), NORVIK_OK);
    EXPECT_TRUE(fs::is_symlink(path("link")));
    EXPECT_EQ(fs::status(real).permissions(), mode);
    ASSERT_EQ(call(decompress_file, path("link"), path("back")), NORVIK_OK);
    EXPECT_TRUE(read(path("back")) == Text);
}

} // namespace
