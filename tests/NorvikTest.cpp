// The default library through its two entry points: every byte comes back, it
// reads and writes what the zstd command does, and no input loses a file.
#include "norvik.h"
#include "support/ScratchFolder.h"

#include <csignal>
#include <cstring>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <map>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <zstd.h>

namespace fs = std::filesystem;

// The library's calls that decide what survives a crash, in order; and a file
// system without unnamed files, on demand.
std::vector<std::string> fileCalls;
bool noUnnamedFiles = false;

template <typename Function>
Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

extern "C" int fsync(int fd)
{
    struct stat status {};
    fstat(fd, &status);
    fileCalls.push_back(S_ISDIR(status.st_mode) ? "fsync folder" : "fsync file");
    return next<int (*)(int)>("fsync")(fd);
}

extern "C" int linkat(int from, const char *name, int to, const char *newName, int flags)
{
    fileCalls.push_back("link");
    return next<int (*)(int, const char *, int, const char *, int)>("linkat")(from, name, to, newName, flags);
}

extern "C" int renameat(int from, const char *name, int to, const char *newName)
{
    fileCalls.push_back("rename");
    return next<int (*)(int, const char *, int, const char *)>("renameat")(from, name, to, newName);
}

extern "C" int openat(int folder, const char *name, int flags, ...)
{
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    if (noUnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE)
        return errno = EOPNOTSUPP, -1;
    return next<int (*)(int, const char *, int, mode_t)>("openat")(folder, name, flags, mode);
}

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

// How a call is made, in flags: here; in a child whose peak memory is taken;
// in a child that may write no file past 256 KiB (a full disk, without root);
// as the user nobody, a member of group 1234; with fs.protected_symlinks on;
// on a file system without unnamed files.
enum Runner : unsigned { InProcess = 0, Child = 1, FileLimit = 2 | Child, Nobody = 4 | Child, Protected = 8, NoTmpfile = 16 };

struct BadInput {
    const char *name;
    Entry entry;
    std::string source, target; // in the scratch folder, unless absolute or empty
    unsigned runner;
    int expected;
};

void PrintTo(const BadInput &input, std::ostream *os)
{
    *os << input.name;
}

const std::string Text = "Text that must survive every run.\n" + std::string(20000, 't');

// What libzstd makes of a frame.
std::string unpacked(const std::string &frame)
{
    const unsigned long long size = ZSTD_getFrameContentSize(frame.data(), frame.size());
    std::string content(size == ZSTD_CONTENTSIZE_UNKNOWN ? 136 << 20 : size, '\0');
    content.resize(ZSTD_decompress(content.data(), content.size(), frame.data(), frame.size()));
    return content;
}

// Frames by hand: a header with this window descriptor byte, then these blocks.
std::string frame(char window, const std::string &blocks)
{
    return std::string("\x28\xB5\x2F\xFD\x00", 5) + window + blocks;
}

// A frame whose 130 MiB of output fill a 128 MiB window: RLE blocks of 128 KiB.
std::string fillsItsWindow()
{
    std::string blocks;
    for (unsigned i = 0, count = 1040; i < count; ++i) {
        const unsigned header = (i + 1 == count) | 1 << 1 | 131072 << 3;
        blocks += {char(header), char(header >> 8), char(header >> 16), 'z'};
    }
    return frame(17 << 3, blocks);
}

class NorvikBadInputs : public Norvik, public ::testing::WithParamInterface<BadInput> {
protected:
    void SetUp() override
    {
        Norvik::SetUp();
        fs::permissions(folder, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
        const std::string noise = randomBytes(1 << 20);
        write("noise", noise);
        write("noise600k", noise.substr(0, 600000));
        write("in.txt", Text);
        ASSERT_EQ(call(compress_file, path("noise"), path("noise.zst")), NORVIK_OK);
        ASSERT_EQ(call(compress_file, path("in.txt"), path("in.zst")), NORVIK_OK);
        const std::string zst = read(path("in.zst"));
        write("old", "precious earlier output");
        write("empty", "");
        write("truncated.zst", zst.substr(0, zst.size() - 5));
        write("corrupt.zst", std::string(zst).replace(zst.size() / 2, 1, 1, zst[zst.size() / 2] ^ 0x5A));
        write("trailing.zst", zst + "junk");
        // A frame whose header claims 2^62 bytes of content but carries five.
        write("lies.zst", std::string("\x28\xB5\x2F\xFD\xC0\x00\0\0\0\0\0\0\0\x40\x29\0\0hello", 22));
        write("window256MiB.zst", frame(18 << 3, std::string("\x29\0\0hello", 8)));
        if (GetParam().source == "window128MiB.zst")
            write("window128MiB.zst", fillsItsWindow());
        fs::create_directory(path("dir"));
        ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
        fs::create_symlink(path("in.txt"), path("link-to-in"));
        fs::create_hard_link(path("in.txt"), path("hard-to-in"));
        fs::create_symlink("old", path("link-to-old"));
        fs::create_symlink("nowhere", path("dangling"));
        deep = folder.string();
        for (int i = 0; i < 19; ++i)
            deep += "/" + std::string(200, 'd');
        fs::create_directories(deep);
        deep += "/" + std::string(PATH_MAX - 1 - deep.size() - 1, 'n'); // PATH_MAX - 1 in all
        if (geteuid() == 0)
            ownedByOthers();
    }

    // A device, a shared folder with another user's symlink and a file of
    // nobody's, and a folder of group 1234 with a file of user 1234 that has an
    // extended attribute and an ACL.
    void ownedByOthers()
    {
        ASSERT_EQ(mknod(path("device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0); // as /dev/null
        fs::create_directory(path("shared"));
        fs::permissions(path("shared"), fs::perms::all | fs::perms::sticky_bit);
        fs::create_symlink("../old", path("shared/link-to-old"));
        write("shared/readonly", "nobody's");
        fs::permissions(path("shared/readonly"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::create_directory(path("group"));
        write("group/file", "user 1234's");
        const std::string acl("\2\0\0\0\1\0\6\0\xff\xff\xff\xff\2\0\4\0\xe1\x10\0\0\4\0\6\0\xff\xff\xff\xff"
                              "\x10\0\6\0\xff\xff\xff\xff\x20\0\4\0\xff\xff\xff\xff", 44); // user 4321 may read
        ASSERT_EQ(lchown(path("shared/link-to-old").c_str(), 1234, 1234) | chown(path("shared/readonly").c_str(), 65534, 65534)
                      | chown(path("group").c_str(), 0, 1234) | chmod(path("group").c_str(), 02775)
                      | chown(path("group/file").c_str(), 1234, 1234) | chmod(path("group/file").c_str(), 0664)
                      | setxattr(path("group/file").c_str(), "user.note", "kept", 4, 0)
                      | setxattr(path("group/file").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
    }

    std::string at(const std::string &name) const
    {
        return name == "deep" ? deep : name.empty() || name[0] == '/' ? name : path(name);
    }

    // The entry point's result, and the memory it added to the child that ran it.
    std::pair<int, long> run(const BadInput &input)
    {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line) && !line.starts_with("VmRSS:")) {
        }
        const long residentKiB = std::stol(line.substr(6)); // a child starts with as much
        noUnnamedFiles = input.runner & NoTmpfile;
        if (!(input.runner & Child))
            return {call(input.entry, at(input.source), at(input.target)), 0};
        if (fork() == 0) {
            const rlimit limit{256 << 10, 256 << 10};
            const gid_t group = 1234;
            if ((input.runner & FileLimit) == FileLimit)
                std::signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &limit);
            if ((input.runner & Nobody) == Nobody && (setgroups(1, &group) | setgid(65534) | setuid(65534)) != 0)
                _exit(99);
            _exit(call(input.entry, at(input.source), at(input.target)));
        }
        int exit = 0;
        rusage usage{};
        wait4(-1, &exit, 0, &usage);
        return {WIFEXITED(exit) ? WEXITSTATUS(exit) : -1, (usage.ru_maxrss - residentKiB) / 1024};
    }

    // Every entry under the folder: its kind, owner, mode and extended
    // attributes, and its content, so that any change shows.
    std::map<std::string, std::pair<std::string, std::string>> snapshot() const
    {
        std::map<std::string, std::pair<std::string, std::string>> files;
        for (const auto &entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = entry.path().string();
            struct stat status {};
            lstat(name.c_str(), &status);
            std::string meta = std::to_string(status.st_mode) + " " + std::to_string(status.st_uid) + ":"
                               + std::to_string(status.st_gid);
            char names[1024] = {}, value[1024];
            for (char *key = names, *end = key + std::max(llistxattr(name.c_str(), names, sizeof names), 0L); key < end;
                 key += std::strlen(key) + 1)
                meta += std::string(" ") + key + "=" + std::string(value, std::max(lgetxattr(name.c_str(), key, value, sizeof value), 0L));
            files[name.substr(folder.string().size() + 1)] = {
                meta, S_ISLNK(status.st_mode) ? fs::read_symlink(entry).string() : S_ISREG(status.st_mode) ? read(name) : ""};
        }
        return files;
    }

    std::string deep;
};

int openDescriptors()
{
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Turns fs.protected_symlinks on for as long as it lives, where this process may.
class ProtectedSymlinks {
public:
    ProtectedSymlinks() : was_(ScratchFolder::read("/proc/sys/fs/protected_symlinks")) { set("1"); }
    ~ProtectedSymlinks() { set(was_); }
    bool on() const { return ScratchFolder::read("/proc/sys/fs/protected_symlinks") == "1\n"; }

private:
    static void set(const std::string &value) { std::ofstream("/proc/sys/fs/protected_symlinks") << value; }
    std::string was_;
};

// A refusal leaves every file as it was, the target too, and nothing new; what
// is done writes the target and nothing else, and a replaced file keeps its
// owner, group, mode, extended attributes and ACL. Either way no descriptor
// stays open, and memory stays bounded.
TEST_P(NorvikBadInputs, LoseNoFile)
{
    const BadInput &input = GetParam();
    const bool needsRoot = input.runner & (Nobody | Protected) || input.target == "device"
                           || input.target.find('/') != std::string::npos;
    if (needsRoot && geteuid() != 0)
        GTEST_SKIP() << "needs root, to make files of other users";
    std::optional<ProtectedSymlinks> protectedSymlinks;
    if (input.runner & Protected && !protectedSymlinks.emplace().on())
        GTEST_SKIP() << "cannot turn fs.protected_symlinks on here";
    auto before = snapshot();
    const int descriptors = openDescriptors();

    const auto [result, addedMiB] = run(input);

    EXPECT_EQ(result, input.expected);
    EXPECT_EQ(openDescriptors(), descriptors);
#if !defined(__SANITIZE_ADDRESS__) // whose shadow and quarantine add their own
    EXPECT_LT(addedMiB, 136) << "MiB: a window of 128 MiB at most, and 8 MiB";
#endif
    auto after = snapshot();
    if (input.expected == NORVIK_OK) {
        const std::string written = fs::canonical(at(input.target)).string().substr(folder.string().size() + 1);
        const std::string source = read(at(input.source)), output = after[written].second;
        EXPECT_TRUE(input.entry == compress_file ? unpacked(output) == source : output == unpacked(source));
        if (before.count(written))
            EXPECT_EQ(after[written].first, before[written].first) << "a replaced file keeps its metadata";
        before.erase(written);
        after.erase(written);
    }
    EXPECT_TRUE(after == before) << "a file changed, or one was left behind";
}

const std::string TooLong(5000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Matrix, NorvikBadInputs,
    ::testing::Values(
        BadInput{"NotZstd", decompress_file, "in.txt", "old", InProcess, NORVIK_CODEC_ERROR},
        BadInput{"EmptySource", decompress_file, "empty", "new", InProcess, NORVIK_CODEC_ERROR},
        BadInput{"Truncated", decompress_file, "truncated.zst", "old", InProcess, NORVIK_CODEC_ERROR},
        BadInput{"Corrupt", decompress_file, "corrupt.zst", "old", InProcess, NORVIK_CODEC_ERROR},
        BadInput{"TrailingGarbage", decompress_file, "trailing.zst", "new", InProcess, NORVIK_CODEC_ERROR},
        BadInput{"FrameLiesAboutItsSize", decompress_file, "lies.zst", "new", Child, NORVIK_CODEC_ERROR},
        BadInput{"WindowPast128MiB", decompress_file, "window256MiB.zst", "new", Child, NORVIK_CODEC_ERROR},
        BadInput{"WindowOf128MiB", decompress_file, "window128MiB.zst", "new", Child, NORVIK_OK},
        BadInput{"DecompressIntoItsSource", decompress_file, "in.zst", "in.zst", InProcess, NORVIK_SAME_FILE},
        BadInput{"SourceMissing", compress_file, "missing", "new", InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceIsAFolder", compress_file, "dir", "new", InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceIsAFifo", compress_file, "fifo", "new", InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceIsADevice", compress_file, "/dev/zero", "new", InProcess, NORVIK_SOURCE_ERROR},
        // Reading /proc/self/mem from its start fails even for root.
        BadInput{"SourceUnreadable", compress_file, "/proc/self/mem", "new", InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"SourceTooLong", compress_file, TooLong, "new", InProcess, NORVIK_SOURCE_ERROR},
        BadInput{"EmptyPath", compress_file, "in.txt", "", InProcess, NORVIK_BAD_ARGUMENT},
        BadInput{"TargetFolderMissing", compress_file, "in.txt", "no-folder/new", InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsAFolder", compress_file, "in.txt", "dir", InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsAFifo", compress_file, "in.txt", "fifo", InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsADevice", compress_file, "in.txt", "device", InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetTooLong", compress_file, "in.txt", TooLong, InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetLinkNamesNoFile", compress_file, "in.txt", "dangling", InProcess, NORVIK_TARGET_ERROR},
        BadInput{"TargetIsTheSource", compress_file, "in.txt", "in.txt", InProcess, NORVIK_SAME_FILE},
        BadInput{"TargetIsTheSourceByDotSlash", compress_file, "in.txt", "./in.txt", InProcess, NORVIK_SAME_FILE},
        BadInput{"TargetIsASymlinkToTheSource", compress_file, "in.txt", "link-to-in", InProcess, NORVIK_SAME_FILE},
        BadInput{"TargetIsAHardLinkToTheSource", compress_file, "in.txt", "hard-to-in", InProcess, NORVIK_SAME_FILE},
        BadInput{"DiskFullReplacing", compress_file, "noise", "old", FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"DiskFullCreating", compress_file, "noise", "new", FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"DiskFullUnderOneBlock", compress_file, "noise600k", "new", FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"DecompressDiskFull", decompress_file, "noise.zst", "old", FileLimit, NORVIK_TARGET_ERROR},
        BadInput{"DiskFullWithoutUnnamedFiles", compress_file, "noise", "old", FileLimit | NoTmpfile, NORVIK_TARGET_ERROR},
        BadInput{"AnotherUsersFile", compress_file, "in.txt", "old", Nobody, NORVIK_TARGET_DENIED},
        BadInput{"AnotherUsersFolder", compress_file, "in.txt", "new", Nobody, NORVIK_TARGET_DENIED},
        BadInput{"AReadOnlyFile", compress_file, "in.txt", "shared/readonly", Nobody, NORVIK_TARGET_DENIED},
        BadInput{"AnotherUsersLinkInASharedFolder", compress_file, "in.txt", "shared/link-to-old", Protected, NORVIK_TARGET_DENIED},
        BadInput{"AGroupMembersFile", compress_file, "in.txt", "group/file", Nobody, NORVIK_TARGET_OWNER},
        BadInput{"ReplacingATarget", compress_file, "in.txt", "old", InProcess, NORVIK_OK},
        BadInput{"ReplacingWithoutUnnamedFiles", compress_file, "in.txt", "old", NoTmpfile, NORVIK_OK},
        BadInput{"ReplacingWhatASymlinkNames", compress_file, "in.txt", "link-to-old", InProcess, NORVIK_OK},
        BadInput{"RootReplacingAReadOnlyFile", compress_file, "in.txt", "shared/readonly", InProcess, NORVIK_OK},
        BadInput{"RootReplacingAFileWithAnAcl", decompress_file, "in.zst", "group/file", InProcess, NORVIK_OK},
        BadInput{"LongestName", compress_file, "in.txt", std::string(255, 'n'), InProcess, NORVIK_OK},
        BadInput{"LongestPath", compress_file, "in.txt", "deep", InProcess, NORVIK_OK},
        BadInput{"OddCharacters", decompress_file, "in.zst", " a\tb\nc \u00fc\u2603 ", InProcess, NORVIK_OK}),
    [](const auto &info) { return std::string(info.param.name); });

// A replaced file's new data reaches the disk before its name does, and the
// name before the run returns.
TEST_F(Norvik, ReplacesDurably)
{
    write("old", "old");
    fileCalls.clear();
    ASSERT_EQ(call(compress_file, write("in", Text), path("old")), NORVIK_OK);
    EXPECT_EQ(fileCalls, (std::vector<std::string>{"fsync file", "link", "rename", "fsync folder"}));
}

// Killed in the middle of a run, the library leaves nothing behind, and its
// replacement for a file was never readable by anyone but the owner.
TEST_F(Norvik, LeavesNothingWhenKilled)
{
    fs::resize_file(write("big", ""), 1ULL << 30);
    write("old", "precious");
    const auto before = entries();
    const pid_t child = fork();
    if (child == 0)
        _exit(call(compress_file, path("big"), path("old")));
    const std::string open = "/proc/" + std::to_string(child) + "/fd/";
    std::string replacement;
    for (int tries = 0; replacement.empty() && tries < 5000; ++tries, usleep(200))
        for (const auto &fd : fs::directory_iterator(open, std::filesystem::directory_options::skip_permission_denied))
            if (std::error_code error; fs::read_symlink(fd, error).string().starts_with(folder.string() + "/#"))
                replacement = fd.path().string();
    struct stat status {};
    EXPECT_EQ(stat(replacement.c_str(), &status), 0) << "no replacement seen";
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(read(path("old")), "precious");
}

} // namespace
