// The default library through its two entry points: every byte comes back, it
// reads and writes what the zstd command does, and no input loses a file.
#include "norvik.h"
#include "support/ScratchFolder.h"

#include <csignal>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <poll.h>
#include <map>
#include <mutex>
#include <algorithm>
#include <random>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <zstd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The library's calls that decide what survives a crash, in order; file
// systems that lack something, on demand; a flush that fails; and something to
// do while the run is under way, just before a replacement is flushed or a
// new file is given its name.
enum Lacking : unsigned { UnnamedFiles = 1, NoReplaceRename = 2, HardLinks = 4 };
std::vector<std::string> fileCalls;
unsigned lacking = 0;
// The next flush of a file fails, as on a disk that ran out of space, after
// taking this long: long enough, and the run has written everything
// meanwhile. It is an fdatasync along the way where the flusher thread got to
// run, else the fsync at the end (a busy machine may not schedule the flusher
// before the run is through).
std::optional<std::chrono::milliseconds> failingFlush;
bool folderFlushFails = false;
std::function<void()> beforeFlush, beforeNaming;

// Calls on several threads at once record theirs one at a time.
std::mutex recording;
void record(const char *call)
{
    std::lock_guard lock(recording);
    fileCalls.push_back(call);
}

// Calls the next definition of `name` after this one, the C library's.
#define NEXT(name, ...) reinterpret_cast<int (*)(__VA_ARGS__)>(dlsym(RTLD_NEXT, #name))

int failedFlush()
{
    std::this_thread::sleep_for(*std::exchange(failingFlush, std::nullopt));
    return errno = EIO, -1;
}

extern "C" int fsync(int fd)
{
    struct stat status {};
    fstat(fd, &status);
    record(S_ISDIR(status.st_mode) ? "fsync folder" : "fsync file");
    if (beforeFlush)
        std::exchange(beforeFlush, nullptr)();
    if (S_ISDIR(status.st_mode) && folderFlushFails)
        return errno = EIO, -1;
    if (!S_ISDIR(status.st_mode) && failingFlush)
        return failedFlush();
    return NEXT(fsync, int)(fd);
}

extern "C" int fdatasync(int fd)
{
    record("fdatasync");
    return failingFlush ? failedFlush() : NEXT(fdatasync, int)(fd);
}

extern "C" int linkat(int from, const char *name, int to, const char *newName, int flags)
{
    record("link");
    if (beforeNaming && newName[0] != '.')
        std::exchange(beforeNaming, nullptr)();
    if (lacking & HardLinks)
        return errno = EPERM, -1;
    return NEXT(linkat, int, const char *, int, const char *, int)(from, name, to, newName, flags);
}

extern "C" int renameat(int from, const char *name, int to, const char *newName)
{
    return record("rename"), NEXT(renameat, int, const char *, int, const char *)(from, name, to, newName);
}

extern "C" int renameat2(int from, const char *name, int to, const char *newName, unsigned flags)
{
    record("rename without replacing");
    if (lacking & NoReplaceRename)
        return errno = EINVAL, -1;
    if (beforeNaming)
        std::exchange(beforeNaming, nullptr)();
    return NEXT(renameat2, int, const char *, int, const char *, unsigned)(from, name, to, newName, flags);
}

// The next regular file looked at through its descriptor (a run's source)
// says it is this many bytes longer than it is.
std::optional<off_t> sizeOff;

extern "C" int fstat(int fd, struct stat *status)
{
    const int result = NEXT(fstat, int, struct stat *)(fd, status);
    if (result == 0 && S_ISREG(status->st_mode) && sizeOff)
        status->st_size += *std::exchange(sizeOff, std::nullopt);
    return result;
}

extern "C" int openat(int folder, const char *name, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    if (lacking & UnnamedFiles && (flags & O_TMPFILE) == O_TMPFILE)
        return errno = EOPNOTSUPP, -1;
    return NEXT(openat, int, const char *, int, mode_t)(folder, name, flags, mode);
}

namespace {

using Entry = int (*)(char *, char *);

int call(Entry entry, std::string source, std::string target)
{
    return entry(source.data(), target.data());
}

class Norvik : public ScratchFolder {};

TEST_F(Norvik, RefusesNullPaths)
{
    EXPECT_EQ(compress_file(nullptr, nullptr), NORVIK_BAD_ARGUMENT);
    EXPECT_EQ(decompress_file(nullptr, nullptr), NORVIK_BAD_ARGUMENT);
}

// How a call is made, in flags: here; in a child whose peak memory is taken;
// in a child that may write no file past 256 KiB (a full disk, without root);
// as the user nobody, a member of group 1234; where fs.protected_symlinks is
// on; on a file system without unnamed files, renames that refuse to replace,
// or hard links.
enum Runner : unsigned {
    InProcess = 0, Child = 1, FileLimit = 2 | Child, Nobody = 4 | Child, Protected = 8,
    NoTmpfile = UnnamedFiles << 4, NoNoReplace = NoReplaceRename << 4, NoLinks = HardLinks << 4
};

struct Input {
    const char *name;
    Entry entry;
    std::string source, target; // in the scratch folder, unless absolute or empty
    unsigned runner;
    int expected;
};

const std::string Text = "Text that must survive every run.\n" + std::string(20000, 't');
// An ACL, as the system keeps it, under which user 4321 may read.
const std::string Acl("\2\0\0\0\1\0\6\0\xff\xff\xff\xff\2\0\4\0\xe1\x10\0\0\4\0\6\0\xff\xff\xff\xff"
                      "\x10\0\6\0\xff\xff\xff\xff\x20\0\4\0\xff\xff\xff\xff", 44);
// Where two strings first differ, or npos: a failure then says where.
std::size_t firstDifference(const std::string &a, const std::string &b)
{
    const auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return x == a.end() && y == b.end() ? std::string::npos : std::size_t(x - a.begin());
}

// What libzstd makes of a frame.
std::string unpacked(const std::string &frame)
{
    const unsigned long long size = ZSTD_getFrameContentSize(frame.data(), frame.size());
    std::string content(size == ZSTD_CONTENTSIZE_UNKNOWN ? 136 << 20 : size, '\0');
    content.resize(ZSTD_decompress(content.data(), content.size(), frame.data(), frame.size()));
    return content;
}

// A frame by hand: a header with this window descriptor byte, then `count`
// RLE blocks of 128 KiB, or one raw block "hello".
std::string frame(char window, unsigned count)
{
    std::string frame = std::string("\x28\xB5\x2F\xFD\x00", 5) + window;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned header = (i + 1 == count) | 1 << 1 | 131072 << 3;
        frame += {char(header), char(header >> 8), char(header >> 16), 'z'};
    }
    return count ? frame : frame + std::string("\x29\0\0hello", 8);
}

class NorvikCalls : public Norvik, public ::testing::WithParamInterface<Input> {
protected:
    void SetUp() override
    {
        Norvik::SetUp();
        fs::permissions(folder, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
        std::string noise(1 << 20, '\0');
        std::generate(noise.begin(), noise.end(), std::mt19937(7));
        for (const auto &[name, content] : {std::pair{"noise", noise}, {"noise600k", noise.substr(0, 600000)},
                                            {"empty", ""}, {"text", Text}, {"old", "precious"}})
            write(name, content);
        if (GetParam().source.starts_with("corpora") && fs::exists(CORPUS_DIR))
            for (const auto &entry : fs::recursive_directory_iterator(CORPUS_DIR)) // every file, one after another
                if (entry.is_regular_file() && entry.path().extension() != ".md")
                    std::ofstream(path("corpora"), std::ios::app | std::ios::binary) << read(entry.path().string());
        for (const std::string name : {"noise", "text", "empty", "corpora"})
            if (fs::exists(path(name)))
                ASSERT_EQ(call(compress_file, path(name), path(name + ".zst")), NORVIK_OK);
        const std::string zst = read(path("text.zst"));
        write("truncated.zst", zst.substr(0, zst.size() - 5));
        write("corrupt.zst", std::string(zst).replace(zst.size() / 2, 1, 1, zst[zst.size() / 2] ^ 0x5A));
        write("trailing.zst", zst + "junk");
        // A frame whose header claims 2^62 bytes of content but carries five.
        write("lies.zst", std::string("\x28\xB5\x2F\xFD\xC0\x00\0\0\0\0\0\0\0\x40\x29\0\0hello", 22));
        write("window256MiB.zst", frame(18 << 3, 0));
        if (GetParam().source == "window128MiB.zst")
            write("window128MiB.zst", frame(17 << 3, 1040)); // 130 MiB of output fill the window
        fs::create_directory(path("dir"));
        ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
        fs::create_symlink(path("text"), path("link-to-text"));
        fs::create_hard_link(path("text"), path("hard-to-text"));
        fs::create_symlink("old", path("link-to-old"));
        fs::create_symlink("nowhere", path("dangling"));
        // A private file in a folder that was later given a default ACL.
        fs::create_directory(path("acl"));
        fs::permissions(write("acl/old", "private"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        ASSERT_EQ(setxattr(path("acl").c_str(), "system.posix_acl_default", Acl.data(), Acl.size(), 0), 0);
        deep = folder.string();
        for (int i = 0; i < 19; ++i)
            deep += "/" + std::string(200, 'd');
        fs::create_directories(deep);
        deep += "/" + std::string(PATH_MAX - 1 - deep.size() - 1, 'n'); // PATH_MAX - 1 in all
        if (geteuid() == 0)
            ownedByOthers();
    }

    // A device; a shared folder with another user's symlink and a read-only
    // file of nobody's; a folder of group 1234 with a file of user 1234 that
    // has an extended attribute and an ACL (user 4321 may read it); a file
    // with a capability (CAP_NET_RAW).
    void ownedByOthers()
    {
        const char capability[20] = {1, 0, 0, 2, 0, 0x20};
        write("capable", "a program");
        fs::create_directory(path("shared"));
        fs::create_directory(path("group"));
        fs::create_symlink("../old", path("shared/link-to-old"));
        write("shared/readonly", "nobody's");
        write("group/file", "user 1234's");
        ASSERT_EQ(mknod(path("device").c_str(), S_IFCHR | 0666, makedev(1, 3)) | chmod(path("shared").c_str(), 01777)
                      | lchown(path("shared/link-to-old").c_str(), 1234, 1234)
                      | chown(path("shared/readonly").c_str(), 65534, 65534) | chmod(path("shared/readonly").c_str(), 0444)
                      | chown(path("group").c_str(), 0, 1234) | chmod(path("group").c_str(), 02775)
                      | chown(path("group/file").c_str(), 1234, 1234) | chmod(path("group/file").c_str(), 0664)
                      | setxattr(path("group/file").c_str(), "user.note", "kept", 4, 0)
                      | setxattr(path("group/file").c_str(), "system.posix_acl_access", Acl.data(), Acl.size(), 0)
                      | setxattr(path("capable").c_str(), "security.capability", capability, sizeof capability, 0), 0);
    }

    std::string at(const std::string &name) const
    {
        return name == "deep" ? deep : name.empty() || name[0] == '/' ? name : path(name);
    }

    // The entry point's result, and the memory it added to the child that ran it.
    std::pair<int, long> run(const Input &input)
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage); // each test runs in a process of its own, which a child starts as
        const long startKiB = usage.ru_maxrss;
        lacking = input.runner >> 4;
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
        wait4(-1, &exit, 0, &usage);
        return {WIFEXITED(exit) ? WEXITSTATUS(exit) : -1, (usage.ru_maxrss - startKiB) / 1024};
    }

    // Every entry under the folder: its kind, mode and owner; its extended
    // attributes; its content.
    struct Entry {
        std::string meta;
        std::map<std::string, std::string> attributes;
        std::string content;
        bool operator==(const Entry &) const = default;
        friend void PrintTo(const Entry &entry, std::ostream *os) { *os << entry.meta << ", " << entry.content.size() << " bytes"; }
    };
    std::map<std::string, Entry> snapshot() const
    {
        std::map<std::string, Entry> files;
        for (const auto &entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = entry.path().string();
            struct stat s {};
            lstat(name.c_str(), &s);
            Entry &file = files[name.substr(folder.string().size() + 1)];
            file.meta = std::to_string(s.st_mode) + " " + std::to_string(s.st_uid) + ":" + std::to_string(s.st_gid);
            char keys[1024] = {}, value[1024];
            for (char *key = keys, *end = key + std::max(llistxattr(name.c_str(), keys, sizeof keys), 0L); key < end;
                 key += std::strlen(key) + 1)
                file.attributes[key] = std::string(value, std::max(lgetxattr(name.c_str(), key, value, sizeof value), 0L));
            file.content = S_ISLNK(s.st_mode) ? fs::read_symlink(entry).string() : S_ISREG(s.st_mode) ? read(name) : "";
        }
        return files;
    }

    std::string deep;
};

// What is done writes the target and nothing else: one standard frame, with
// the content size and a checksum, that libzstd reads back, or exactly what
// libzstd makes of the source; a replaced file keeps its owner, group, mode,
// extended attributes and ACL. A refusal leaves every file as it was, the
// target too, and nothing new. Either way no descriptor stays open, and
// memory stays bounded.
TEST_P(NorvikCalls, GiveEveryByteBackAndLoseNoFile)
{
    const Input &input = GetParam();
    const bool othersFiles = input.target == "device" || input.target == "capable" || input.target.starts_with("shared/")
                             || input.target.starts_with("group/");
    if ((input.runner & Nobody || othersFiles) && geteuid())
        GTEST_SKIP() << "needs root, to make files of other users";
    if (input.source.starts_with("corpora") && !fs::exists(CORPUS_DIR))
        GTEST_SKIP() << "no corpus at " << CORPUS_DIR;
    if (input.runner & Protected && read("/proc/sys/fs/protected_symlinks") != "1\n")
        GTEST_SKIP() << "fs.protected_symlinks is off on this machine";
    auto before = snapshot();
    const auto descriptors = std::distance(fs::directory_iterator("/proc/self/fd"), {});

    const auto [result, addedMiB] = run(input);

    EXPECT_EQ(result, input.expected);
    EXPECT_EQ(std::distance(fs::directory_iterator("/proc/self/fd"), {}), descriptors);
#if !defined(__SANITIZE_ADDRESS__) // whose shadow memory and quarantine add their own
    EXPECT_LT(addedMiB, 136) << "MiB: a window of 128 MiB at most, and 8 MiB";
#endif
    auto after = snapshot();
    if (input.expected == NORVIK_OK) {
        const std::string written = fs::canonical(at(input.target)).string().substr(folder.string().size() + 1);
        const std::string source = read(at(input.source)), output = after[written].content;
        if (input.entry == compress_file) {
            EXPECT_EQ(firstDifference(unpacked(output), source), std::string::npos);
            EXPECT_EQ(ZSTD_getFrameContentSize(output.data(), output.size()), source.size());
            EXPECT_EQ(ZSTD_findFrameCompressedSize(output.data(), output.size()), output.size()) << "one frame";
            EXPECT_TRUE(output[4] & 4) << "a checksum";
        } else {
            EXPECT_EQ(firstDifference(output, unpacked(source)), std::string::npos);
        }
        if (before.count(written)) { // exactly the old file's owner, mode and attributes, but a capability
            before[written].attributes.erase("security.capability");
            EXPECT_EQ(after[written].meta, before[written].meta);
            EXPECT_EQ(after[written].attributes, before[written].attributes);
        } else { // what any new file gets
            const mode_t mask = umask(0);
            umask(mask);
            EXPECT_EQ(after[written].meta.substr(0, after[written].meta.find(' ')), std::to_string(S_IFREG | (0666 & ~mask)));
        }
        before.erase(written);
        after.erase(written);
    }
    EXPECT_EQ(after, before) << "a file changed, or one was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, NorvikCalls,
    ::testing::Values(
        Input{"CompressingNothing", compress_file, "empty", "new", InProcess, NORVIK_OK},
        Input{"CompressingNoise", compress_file, "noise", "new", InProcess, NORVIK_OK},
        Input{"CompressingTheCorpora", compress_file, "corpora", "new", InProcess, NORVIK_OK},
        Input{"DecompressingNothing", decompress_file, "empty.zst", "new", InProcess, NORVIK_OK},
        Input{"DecompressingNoise", decompress_file, "noise.zst", "new", InProcess, NORVIK_OK},
        Input{"DecompressingTheCorpora", decompress_file, "corpora.zst", "new", InProcess, NORVIK_OK},
        Input{"NotZstd", decompress_file, "text", "old", InProcess, NORVIK_CODEC_ERROR},
        Input{"EmptySource", decompress_file, "empty", "new", InProcess, NORVIK_CODEC_ERROR},
        Input{"Truncated", decompress_file, "truncated.zst", "old", InProcess, NORVIK_CODEC_ERROR},
        Input{"Corrupt", decompress_file, "corrupt.zst", "old", InProcess, NORVIK_CODEC_ERROR},
        Input{"TrailingGarbage", decompress_file, "trailing.zst", "new", InProcess, NORVIK_CODEC_ERROR},
        Input{"FrameLiesAboutItsSize", decompress_file, "lies.zst", "new", Child, NORVIK_CODEC_ERROR},
        Input{"WindowPast128MiB", decompress_file, "window256MiB.zst", "new", Child, NORVIK_CODEC_ERROR},
        Input{"WindowOf128MiB", decompress_file, "window128MiB.zst", "new", Child, NORVIK_OK},
        Input{"DecompressIntoItsSource", decompress_file, "text.zst", "text.zst", InProcess, NORVIK_SAME_FILE},
        Input{"SourceMissing", compress_file, "missing", "new", InProcess, NORVIK_SOURCE_ERROR},
        Input{"SourceIsAFolder", compress_file, "dir", "new", InProcess, NORVIK_SOURCE_ERROR},
        Input{"SourceIsAFifo", compress_file, "fifo", "new", InProcess, NORVIK_SOURCE_ERROR},
        // Reading /proc/self/mem from its start fails even for root.
        Input{"SourceUnreadable", compress_file, "/proc/self/mem", "new", InProcess, NORVIK_SOURCE_ERROR},
        Input{"TargetFolderMissing", compress_file, "text", "no-folder/new", InProcess, NORVIK_TARGET_ERROR},
        Input{"TargetIsAFolder", compress_file, "text", "dir", InProcess, NORVIK_TARGET_ERROR},
        Input{"TargetIsAFifo", compress_file, "text", "fifo", InProcess, NORVIK_TARGET_ERROR},
        Input{"TargetIsADevice", compress_file, "text", "device", InProcess, NORVIK_TARGET_ERROR},
        Input{"TargetTooLong", compress_file, "text", std::string(5000, 'x'), InProcess, NORVIK_TARGET_ERROR},
        Input{"TargetLinkNamesNoFile", compress_file, "text", "dangling", InProcess, NORVIK_TARGET_ERROR},
        Input{"TargetLinkNamesNoFileWithoutUnnamedFiles", compress_file, "text", "dangling", NoTmpfile, NORVIK_TARGET_ERROR},
        Input{"TargetIsTheSource", compress_file, "text", "text", InProcess, NORVIK_SAME_FILE},
        Input{"TargetIsASymlinkToTheSource", compress_file, "text", "link-to-text", InProcess, NORVIK_SAME_FILE},
        Input{"TargetIsAHardLinkToTheSource", compress_file, "text", "hard-to-text", InProcess, NORVIK_SAME_FILE},
        Input{"DiskFullReplacing", compress_file, "noise", "old", FileLimit, NORVIK_TARGET_ERROR},
        Input{"DiskFullCreating", compress_file, "noise", "new", FileLimit, NORVIK_TARGET_ERROR},
        Input{"DiskFullUnderOneBlock", compress_file, "noise600k", "new", FileLimit, NORVIK_TARGET_ERROR},
        Input{"DecompressDiskFull", decompress_file, "noise.zst", "old", FileLimit, NORVIK_TARGET_ERROR},
        Input{"DiskFullWithoutUnnamedFiles", compress_file, "noise", "old", FileLimit | NoTmpfile, NORVIK_TARGET_ERROR},
        Input{"AnotherUsersFile", compress_file, "text", "old", Nobody, NORVIK_TARGET_DENIED},
        Input{"AnotherUsersFolder", compress_file, "text", "new", Nobody, NORVIK_TARGET_DENIED},
        Input{"AReadOnlyFile", compress_file, "text", "shared/readonly", Nobody, NORVIK_TARGET_DENIED},
        Input{"AnotherUsersLinkInASharedFolder", compress_file, "text", "shared/link-to-old", Protected, NORVIK_TARGET_DENIED},
        Input{"AGroupMembersFile", compress_file, "text", "group/file", Nobody, NORVIK_TARGET_OWNER},
        Input{"ReplacingATarget", compress_file, "text", "old", InProcess, NORVIK_OK},
        Input{"ReplacingWithoutUnnamedFiles", compress_file, "text", "old", NoTmpfile, NORVIK_OK},
        Input{"ReplacingWhatASymlinkNames", compress_file, "text", "link-to-old", InProcess, NORVIK_OK},
        Input{"RootReplacingAReadOnlyFile", compress_file, "text", "shared/readonly", InProcess, NORVIK_OK},
        Input{"RootReplacingAFileWithAnAcl", decompress_file, "text.zst", "group/file", InProcess, NORVIK_OK},
        Input{"ReplacingAFileWithACapability", compress_file, "text", "capable", InProcess, NORVIK_OK},
        Input{"ReplacingInAFolderWithADefaultAcl", compress_file, "text", "acl/old", InProcess, NORVIK_OK},
        Input{"CreatingWithoutUnnamedFiles", compress_file, "text", "new", NoTmpfile, NORVIK_OK},
        Input{"CreatingWithoutRenamesThatKeepAName", compress_file, "text", "new", NoTmpfile | NoNoReplace, NORVIK_OK},
        Input{"CreatingWithoutHardLinksEither", compress_file, "text", "new", NoTmpfile | NoNoReplace | NoLinks, NORVIK_OK},
        Input{"LongestName", compress_file, "text", std::string(255, 'n'), InProcess, NORVIK_OK},
        Input{"LongestPath", compress_file, "text", "deep", InProcess, NORVIK_OK},
        Input{"OddCharacters", decompress_file, "text.zst", " a\tb\nc \u00fc\u2603 ", InProcess, NORVIK_OK}),
    [](const auto &info) { return std::string(info.param.name); });

// A replaced file's new data goes to the disk while it is written, all of it
// before its name does, and the name before the run returns. A flush that
// fails fails the run, on whichever thread it happens, and the old file stays;
// one of the folder after the rename is told apart.
TEST_F(Norvik, ReplacesDurably)
{
    std::string noise(16 << 20, '\0');
    std::generate(noise.begin(), noise.end(), std::mt19937(7));
    write("in", noise);
    write("old", "old");
    fileCalls.clear();
    ASSERT_EQ(call(compress_file, path("in"), path("old")), NORVIK_OK);
    EXPECT_NE(std::find(fileCalls.begin(), fileCalls.end(), "fdatasync"), fileCalls.end()) << "flushed along the way";
    std::erase(fileCalls, "fdatasync");
    EXPECT_EQ(fileCalls, (std::vector<std::string>{"fsync file", "link", "rename", "fsync folder"}));

    for (const auto takes : {0ms, 300ms}) {
        write("old", "old");
        failingFlush = takes;
        EXPECT_EQ(call(compress_file, path("in"), path("old")), NORVIK_TARGET_ERROR) << takes.count() << " ms";
        EXPECT_EQ(read(path("old")), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "only in and old";
    }
    folderFlushFails = true;
    EXPECT_EQ(call(compress_file, path("in"), path("old")), NORVIK_FOLDER_NOT_FLUSHED);
    folderFlushFails = false;
    EXPECT_GT(fs::file_size(path("old")), noise.size()) << "the new file has the name";
}

// The level comes from BREVIMETER_LEVEL, else ZSTD_CLEVEL as the zstd command
// reads it, and the worker threads from BREVIMETER_THREADS, else
// ZSTD_NBTHREADS (all cores by default; 1 is none but the caller's): the frame
// is libzstd's own at that level, and the threads are zstd's workers, counted
// in a child that compresses once. A value that is no whole number is ignored.
TEST_F(Norvik, TakesTheLevelAndThreadsFromTheEnvironment)
{
    std::string text(300000, ' '); // words of a small alphabet, which each level packs its own way
    std::generate(text.begin(), text.end(), [random = std::mt19937(3)]() mutable { return "abcdefgh  "[random() % 10]; });
    struct Setting {
        const char *ours, *value;
        int level;
    };
    for (const auto &[ours, value, level] : {Setting{nullptr, "19", 19}, {nullptr, "+1", 1}, {nullptr, "-5", -5}, {nullptr, "25", 19},
                                             {nullptr, "4x", 3}, {nullptr, "", 3}, {"2", "19", 2}, {"", "19", 19}, {"22", nullptr, 22},
                                             {" 5", nullptr, 3}, {"-200000", nullptr, ZSTD_minCLevel()}}) {
        value ? setenv("ZSTD_CLEVEL", value, 1) : unsetenv("ZSTD_CLEVEL");
        ours ? setenv("BREVIMETER_LEVEL", ours, 1) : unsetenv("BREVIMETER_LEVEL");
        ASSERT_EQ(call(compress_file, write("in", text), path("out")), NORVIK_OK);
        std::string frame(ZSTD_compressBound(text.size()), '\0');
        const std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
        ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level);
        ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
        frame.resize(ZSTD_compress2(context.get(), frame.data(), frame.size(), text.data(), text.size()));
        EXPECT_EQ(read(path("out")), frame) << "ZSTD_CLEVEL=" << (value ? value : "unset") << " BREVIMETER_LEVEL=" << (ours ? ours : "unset");
    }
    unsetenv("ZSTD_CLEVEL");
    unsetenv("BREVIMETER_LEVEL");

    const int cores = int(std::thread::hardware_concurrency()), allCores = cores > 1 ? cores : 0;
    struct Threads {
        const char *ours, *zstd;
        int workers;
    };
    write("in", text + text + text); // past what zstd splits among workers (512 KiB), and packed under the writer's 1 MiB
    for (const auto &[ours, zstd, workers] : {Threads{nullptr, nullptr, allCores}, {"1", nullptr, 0}, {"3", nullptr, 3}, {nullptr, "3", 3},
                                              {"0", "3", allCores}, {"x", "1", 0}, {"-2", "1", 0}, {"2", "3", 2}}) {
        ours ? setenv("BREVIMETER_THREADS", ours, 1) : unsetenv("BREVIMETER_THREADS");
        zstd ? setenv("ZSTD_NBTHREADS", zstd, 1) : unsetenv("ZSTD_NBTHREADS");
        if (fork() == 0)
            _exit(call(compress_file, path("in"), path("out")) == NORVIK_OK ? std::distance(fs::directory_iterator("/proc/self/task"), {}) - 1 : 99);
        int status = 0;
        wait(&status);
        EXPECT_EQ(WEXITSTATUS(status), workers) << "BREVIMETER_THREADS=" << (ours ? ours : "unset") << " ZSTD_NBTHREADS=" << (zstd ? zstd : "unset");
    }
    unsetenv("BREVIMETER_THREADS");
    unsetenv("ZSTD_NBTHREADS");
}

// After any call returns, the library holds at most 32 MiB of codec state,
// whatever the files were, beside its buffers (two sets of 2.3 MiB): after a
// frame with a 128 MiB window, after two of them at once on two threads, and
// after compressing 60 MB. Resident memory in a child, against what it held
// before the first call.
TEST_F(Norvik, KeepsLittleBetweenCalls)
{
#if defined(__SANITIZE_ADDRESS__) // whose shadow memory and quarantine add their own
    GTEST_SKIP() << "under AddressSanitizer";
#endif
    write("window128MiB.zst", frame(17 << 3, 1040)); // 130 MiB of output fill the window
    std::string noise(60000000, '\0');
    std::generate(noise.begin(), noise.end(), std::mt19937(7));
    write("60MB", noise);
    noise = std::string();
    if (fork() == 0) {
        const auto residentMiB = [] {
            std::ifstream status("/proc/self/status");
            std::string line;
            while (std::getline(status, line) && !line.starts_with("VmRSS:")) {
            }
            return line.size() > 6 ? std::stol(line.substr(6)) / 1024 : 999;
        };
        const long before = residentMiB();
        int grown = 0; // a bit for each case past the bound
        const auto check = [&](int bit) { grown |= (residentMiB() - before > 40) << bit; };
        grown |= (call(decompress_file, path("window128MiB.zst"), path("a")) != NORVIK_OK) << 4;
        check(0);
        std::thread other([&] { grown |= (call(decompress_file, path("window128MiB.zst"), path("b")) != NORVIK_OK) << 5; });
        grown |= (call(decompress_file, path("window128MiB.zst"), path("c")) != NORVIK_OK) << 6;
        other.join();
        check(1);
        grown |= (call(compress_file, path("60MB"), path("d")) != NORVIK_OK) << 7;
        check(2);
        _exit(grown);
    }
    int status = 0;
    wait(&status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bits 0-2: past 40 MiB after one window, two at once, 60 MB compressed; 4-7: a call failed";
}

// Calls on several threads at once each get what they asked for.
TEST_F(Norvik, CallsAtOnceOnSeveralThreads)
{
    std::vector<std::thread> threads;
    std::vector<int> results(4, -1);
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            const std::string name = "in" + std::to_string(i), content = Text + name;
            results[i] = call(compress_file, write(name, content), path(name + ".zst")) | call(decompress_file, path(name + ".zst"), path(name + ".back"))
                         | (read(path(name + ".back")) != content);
        });
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(results, std::vector<int>(4, 0));
}

// A file someone else put at the target's name while the run wrote is left to
// them: a new target never goes over it, whatever the file system lacks, and
// an old one that was replaced is not replaced again.
TEST_F(Norvik, LeavesWhatAppearedAtTheTargetMeanwhile)
{
    for (const int lacks : {0, int(UnnamedFiles), int(UnnamedFiles | NoReplaceRename),
                            int(UnnamedFiles | NoReplaceRename | HardLinks), -1}) {
        lacking = std::max(lacks, 0);
        (lacks < 0 ? beforeFlush : beforeNaming) = [this] { fs::rename(write("theirs", "theirs"), path("target")); };
        EXPECT_EQ(call(compress_file, write("in", Text), lacks < 0 ? write("target", "old") : path("target")), NORVIK_TARGET_ERROR) << lacks;
        EXPECT_EQ(read(path("target")), "theirs");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "only in and target";
        fs::remove(path("target"));
    }
    lacking = 0;
}

// A source whose size is not what it said when opened (it changed while it
// was read) is refused both ways, and leaves no target.
TEST_F(Norvik, RefusesASourceThatChangesSize)
{
    ASSERT_EQ(call(compress_file, write("in", Text), path("in.zst")), NORVIK_OK);
    for (const std::string name : {"in", "in.zst"})
        for (const off_t by : {-1, 1}) {
            sizeOff = by;
            EXPECT_EQ(call(name == "in" ? compress_file : decompress_file, path(name), path("out")), NORVIK_SOURCE_CHANGED) << name << " " << by;
            EXPECT_FALSE(fs::exists(path("out")));
        }
}

// A target that is no file is never opened, so a FIFO's reader never sees a
// writer come and go (and a device is not woken).
TEST_F(Norvik, NeverOpensATargetThatIsNoFile)
{
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    pollfd reader{open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK), POLLIN, 0};
    EXPECT_EQ(call(compress_file, write("in", Text), path("fifo")), NORVIK_TARGET_ERROR);
    EXPECT_EQ(poll(&reader, 1, 0), 0) << "a writer opened it";
    close(reader.fd);
}

// Killed in the middle of a run, the library leaves nothing behind, and its
// replacement for a file was never readable by anyone but the owner.
TEST_F(Norvik, LeavesNothingWhenKilled)
{
    fs::resize_file(write("big", ""), 1ULL << 30);
    write("old", "precious");
    const pid_t child = fork();
    if (child == 0)
        _exit(call(compress_file, path("big"), path("old")));
    struct stat status {};
    for (int tries = 0; status.st_mode == 0 && tries < 5000; ++tries, usleep(200))
        for (const auto &fd : fs::directory_iterator("/proc/" + std::to_string(child) + "/fd"))
            if (std::error_code error; fs::read_symlink(fd, error).string().starts_with(folder.string() + "/#"))
                stat(fd.path().c_str(), &status); // the unnamed replacement
    EXPECT_EQ(status.st_mode & 07777, 0600u) << "no replacement seen, or one others may read";
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "only big and old";
    EXPECT_EQ(read(path("old")), "precious");
}

} // namespace
