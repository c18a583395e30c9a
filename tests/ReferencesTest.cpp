// Every shipped library through its two entry points, the default one among
// them: every byte comes back, past each codec's block size too; each reads
// and writes what its codec's command does, at both ends of its levels; each
// format's check is the command's and refuses a flipped byte; a damaged file
// leaves no target and the next call is whole; and what a library keeps stays
// bounded.
#include "levels.h"
#include "norvik.h"
#include "support/ScratchFolder.h"

#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <random>
#include <regex>

namespace {

// Where a byte of the format's own check lies in `packed`, for the codecs that have one.
std::size_t fromEnd(const std::string &packed, std::size_t back)
{
    return packed.size() - back;
}

// xz: the block's CRC64, just before the index, which the footer's backward size places.
std::size_t xzCheck(const std::string &packed)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(packed[at]); };
    const std::size_t index = packed.size() - 12 - (byte(packed.size() - 8) + 1) * 4;
    return index - 8;
}

struct Codec {
    const char *name;
    std::string (*pack)(int level); // the command, reading a file named last, writing standard output
    const char *unpack;
    bool concatenates;                   // streams one after another are one file
    std::size_t (*check)(const std::string &packed); // null without a check
    int flagsAt;                         // the byte that names the check, and what it must hold
    unsigned char mask, flags;
    double tolerance;                    // how far its sizes may be from the command's
    bool threads;                        // BREVIMETER_THREADS=N writes what the command's -TN does
};

const Codec Shipped[] = {
    {"copy", [](int) { return std::string("cat"); }, "cat", true, nullptr, -1, 0, 0, 0},
    {"zstd", [](int level) { return (level < 0 ? "zstd -q -c --fast=" + std::to_string(-level) : "zstd -q -c --ultra -" + std::to_string(level)); },
     "zstd -q -d -c", true, [](const std::string &p) { return fromEnd(p, 1); }, 4, 0x04, 0x04, 0, true}, // XXH64
    {"zlib", [](int level) { return "gzip -n -c -" + std::to_string(level); }, "gzip -d -c", true,
     [](const std::string &p) { return fromEnd(p, 5); }, -1, 0, 0, 0.02}, // CRC32, then the size
    {"lz4", [](int level) { return (level < 0 ? "lz4 -q -c --content-size --fast=" + std::to_string(-level) : "lz4 -q -c --content-size -" + std::to_string(level)); },
     "lz4 -q -d -c", true, [](const std::string &p) { return fromEnd(p, 1); }, 4, 0x04, 0x04, 0}, // the content checksum
    {"xz", [](int level) { return "xz -c -" + std::to_string(level); }, "xz -d -c", true, xzCheck, 7, 0x0f, 0x04, 0, true}, // CRC64
    {"bzip2", [](int level) { return "bzip2 -c -" + std::to_string(level); }, "bzip2 -d -c", true,
     [](const std::string &p) { return fromEnd(p, 2); }, -1, 0, 0, 0}, // the stream's CRC
    // The command reads its file in pieces of its own, which its fastest levels compress one by one.
    {"brotli", [](int level) { return "brotli -c -q " + std::to_string(level); }, "brotli -d -c", false, nullptr, -1, 0, 0, 0.04},
};

class Libraries : public ScratchFolder, public ::testing::WithParamInterface<Codec> {
protected:
    using Entry = int (*)(char *, char *);

    void SetUp() override
    {
        ScratchFolder::SetUp();
        ::unsetenv("BREVIMETER_LEVEL");
        ::unsetenv("BREVIMETER_THREADS");
        const std::string name = GetParam().name;
        library_ = dlopen((name == "zstd" ? LIBRARY_DIR "/" NORVIK_LIBRARY_FILE : LIBRARY_DIR "/references/" + name + "/" NORVIK_LIBRARY_FILE).c_str(),
                          RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
    }

    int call(const char *entry, const std::string &source, const std::string &target)
    {
        std::string from = source, to = target;
        std::filesystem::remove(target);
        return reinterpret_cast<Entry>(dlsym(library_, entry))(from.data(), to.data());
    }

    // What the library writes for `content` at `level` (unset when null).
    std::string packed(const std::string &content, const char *level)
    {
        level ? ::setenv("BREVIMETER_LEVEL", level, 1) : ::unsetenv("BREVIMETER_LEVEL");
        EXPECT_EQ(call("compress_file", write("original", content), path("packed")), NORVIK_OK) << (level ? level : "unset");
        return read(path("packed"));
    }

    // What the command writes for `file`.
    static std::string command(const std::string &line, const std::string &file)
    {
        std::string output;
        std::FILE *pipe = ::popen((line + " '" + file + "'").c_str(), "r");
        char buffer[65536];
        for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        EXPECT_TRUE(pipe && ::pclose(pipe) == 0) << line;
        return output;
    }

    const levels::Library &levels() const { return *levels::find(GetParam().name); }
    bool hasLevels() const { return levels().highest != 0; }

    void *library_ = nullptr;
};

// Text and noise, `size` bytes.
std::string mixed(std::size_t size)
{
    std::string content;
    std::mt19937 random(7);
    while (content.size() < size)
        content += random() % 3 ? "the quick brown fox jumps over the lazy dog " : std::string(64, char(random()));
    return content.substr(0, size);
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return 0;
}

// Round trips, and each side reads the other's file: longer than a piece of a
// codec's input (256 KiB), exactly the output region (6 MiB), and past the
// largest block of any codec (lz4's 4 MiB, bzip2's 900 kB) and the largest
// source read whole (6 MiB) at the lowest level, which is fast.
TEST_P(Libraries, GiveEveryByteBackInTheirCommandsFormat)
{
    const std::pair<std::string, int> cases[] = {
        {"", levels().standard},           {"x", levels().standard},         {mixed(600000), levels().standard},
        {mixed(6 << 20), levels().lowest}, {mixed(7000000), levels().lowest},
    };
    for (const auto &[content, level] : cases) {
        const std::string original = write("content", content), chosen = std::to_string(level);
        packed(content, hasLevels() ? chosen.c_str() : nullptr);
        ASSERT_EQ(call("decompress_file", path("packed"), path("unpacked")), NORVIK_OK);
        EXPECT_EQ(read(path("unpacked")), content) << content.size();
        EXPECT_EQ(command(GetParam().unpack, path("packed")), content) << "the command reads the library's file";
        write("theirs", command(GetParam().pack(level), original));
        ASSERT_EQ(call("decompress_file", path("theirs"), path("unpacked")), NORVIK_OK) << "the library reads the command's";
        EXPECT_EQ(read(path("unpacked")), content);
    }
}

// Each end of the levels reaches the codec and writes what the command writes
// there; one past an end is that end; what is no level is the default. After
// it all, little is kept.
TEST_P(Libraries, ReachEachEndOfTheirLevels)
{
    if (!hasLevels())
        GTEST_SKIP() << "no levels";
    const long startKiB = residentKiB();
    const std::string content = mixed(300000), original = write("content", content);
    const auto expect = [&](const char *level, int reaching) {
        const std::string ours = packed(content, level), theirs = command(GetParam().pack(reaching), original);
        EXPECT_NEAR(double(ours.size()), double(theirs.size()), GetParam().tolerance * double(theirs.size())) << level << " as " << reaching;
        if (GetParam().tolerance == 0)
            EXPECT_TRUE(ours == theirs) << level << " as " << reaching;
        return ours;
    };
    const levels::Library &range = levels();
    const std::string lowest = std::to_string(range.lowest), highest = std::to_string(range.highest);
    EXPECT_EQ(expect(std::to_string(range.lowest - 1).c_str(), range.lowest), expect(lowest.c_str(), range.lowest));
    EXPECT_EQ(expect(std::to_string(range.highest + 1).c_str(), range.highest), expect(highest.c_str(), range.highest));
    EXPECT_NE(packed(content, lowest.c_str()), packed(content, highest.c_str()));
    for (const char *none : {" 5", "5 ", "fast", ""})
        EXPECT_EQ(packed(content, none), packed(content, nullptr)) << '"' << none << "\" is no level";
    expect(nullptr, range.standard);
    for (const char *threads : {"1", "2"}) {
        if (!GetParam().threads)
            break;
        ::setenv("BREVIMETER_THREADS", threads, 1);
        EXPECT_TRUE(packed(content, nullptr) == command(GetParam().pack(range.standard) + " -T" + threads, original)) << threads << " threads";
    }
#if !defined(__SANITIZE_ADDRESS__) // whose shadow memory and quarantine add their own
    EXPECT_LT((residentKiB() - startKiB) / 1024, 40) << "MiB: at most 32 MiB of codec state kept, and the buffers";
#endif
}

// A damaged file is refused where the format can tell, a flipped byte in the
// data or in the check among them, with no target left; the next call on a
// good file is whole, whatever the failed one left in the library.
TEST_P(Libraries, RefuseADamagedFileLeaveNoTargetAndGoOn)
{
    const Codec &codec = GetParam();
    const bool copies = codec.name == std::string("copy"); // a copy takes any bytes as they are
    const std::string content = mixed(600000), good = packed(content, nullptr);
    if (codec.flagsAt >= 0)
        EXPECT_EQ(good[codec.flagsAt] & codec.mask, codec.flags) << "the format's check is the command's";
    const auto flipped = [&](std::size_t at) { return std::string(good).replace(at, 1, 1, char(good[at] ^ 0x10)); };
    std::vector<std::pair<std::string, bool>> cases = {
        {good.substr(0, good.size() - 1), copies}, {good + "junk", copies}, {good + good, codec.concatenates}};
    if (codec.check) {
        // In the data, a byte the command refuses flipped (not one the decoder never reads).
        std::size_t at = good.size() / 2;
        while (at < good.size() / 2 + 16 && std::system((std::string(codec.unpack) + " '" + write("input", flipped(at)) + "' >/dev/null 2>&1").c_str()) == 0)
            ++at;
        cases.emplace_back(flipped(at), false);
        cases.emplace_back(flipped(codec.check(good)), false);
    }
    const char *named[] = {"cut short", "with junk after it", "twice", "a byte of its data flipped", "a byte of its check flipped"};
    for (std::size_t c = 0; c < cases.size(); ++c) {
        const auto &[input, whole] = cases[c];
        EXPECT_EQ(call("decompress_file", write("input", input), path("unpacked")), whole ? NORVIK_OK : NORVIK_CODEC_ERROR) << named[c];
        if (whole)
            EXPECT_EQ(read(path("unpacked")), copies ? input : content + content);
        else
            EXPECT_FALSE(std::filesystem::exists(path("unpacked")));
        ASSERT_EQ(call("decompress_file", path("packed"), path("unpacked")), NORVIK_OK);
        EXPECT_TRUE(read(path("unpacked")) == content) << "the call after a failed one";
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, Libraries, ::testing::ValuesIn(Shipped), [](const auto &info) { return std::string(info.param.name); });

// What a header claims the output will be decides nothing: whether the claim
// is short, long, past any file system or missing, whether the data end before
// the file layer has acted on it or after, the target holds what the data give
// and takes no more room than the same bytes written plainly (but for a block
// of the file system's own bookkeeping), and nothing else
// is left in the folder. A run that fails touches no file once it has returned.
using FileLayer = ScratchFolder;

TEST_F(FileLayer, AHeadersClaimedSizeDecidesNothing)
{
    void *library = dlopen(TEST_LIBRARY_DIR "/claims/" NORVIK_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto decompress = reinterpret_cast<int (*)(char *, char *)>(dlsym(library, "decompress_file"));
    const auto packed = [&](std::string claim, char pace, const std::string &content) {
        claim.resize(19, ' ');
        return write("packed" + std::string(1, pace), claim + pace + content);
    };
    const std::string data = mixed(300000), little = data.substr(0, 1000);
    const std::tuple<std::string, char, std::string> cases[] = {
        {"300000", 's', data}, {"100000", 's', data}, {"10000000", 's', data}, {"99999999999999999999", 's', data},
        {"0", 's', data}, {"1000000", 's', ""}};
    for (const auto &[claim, pace, content] : cases) {
        std::string source = packed(claim, pace, content), target = path("unpacked");
        std::filesystem::remove(target);
        ASSERT_EQ(decompress(source.data(), target.data()), NORVIK_OK) << claim << pace;
        EXPECT_TRUE(read(target) == content) << claim << pace;
        struct stat ours {}, plain {};
        ASSERT_EQ(::stat(target.c_str(), &ours), 0);
        ASSERT_EQ(::stat(write("plain", content).c_str(), &plain), 0);
        // Space taken in several pieces may leave the file system one block of its own bookkeeping.
        EXPECT_LE(ours.st_blocks, plain.st_blocks + ours.st_blksize / 512) << claim << pace;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3) << claim << pace; // packed, unpacked, plain
    }
    // The data ending, or the run failing, while the space is being taken,
    // over and over: the target is whole, and files opened as a failed run
    // returns, which take the numbers its files had, are never touched.
    const std::string sizes[] = {little, data.substr(0, 60000), data};
    const std::string failing = packed("10000000", 'f', little), target = path("unpacked");
    for (int round = 0; round < 300; ++round) {
        const bool fails = round % 2;
        const std::string &content = sizes[round / 2 % 3];
        std::string from = fails ? failing : packed("10000000", ' ', content), to = target;
        std::filesystem::remove(target);
        const int status = decompress(from.data(), to.data());
        std::vector<int> opened;
        for (int n = 0; n < 4 && fails; ++n)
            opened.push_back(::open(path("opened" + std::to_string(n)).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        ::usleep(1000);
        for (const int fd : opened) {
            struct stat file {};
            EXPECT_TRUE(::fstat(fd, &file) == 0 && file.st_size == 0) << round;
            ::close(fd);
        }
        ASSERT_EQ(status, fails ? NORVIK_CODEC_ERROR : NORVIK_OK) << round;
        ASSERT_TRUE(read(target) == (fails ? "" : content)) << round;
    }
}

// The manual page lists each library's levels as the table has them.
TEST(Levels, TheManualPageHasTheTablesLevels)
{
    const std::string page = ScratchFolder::read(SOURCE_DIR "/packaging/brevimeter-bench.1");
    for (const levels::Library &library : levels::Shipped) {
        const auto number = [](int n) { return (n < 0 ? "\\\\-" : "") + std::to_string(std::abs(n)); };
        const std::string listed = library.highest == 0 ? "\\.B " + std::string(library.name) + "\n"
                                                        : "\\.BR " + std::string(library.name) + " \" \\(levels " + number(library.lowest) + " to "
                                                              + number(library.highest) + ", default " + number(library.standard) + "\\)\"";
        EXPECT_TRUE(std::regex_search(page, std::regex(listed))) << listed;
    }
}

} // namespace
