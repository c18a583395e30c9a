// The default library at the edges: files past 4 GiB, a full disk, and zstd
// frames that claim far more output than any disk holds.
#include "support/QStringPrinter.h"
#include "runs/Clock.h"
#include "runs/Module1.h"
#include "support/Clicks.h"
#include "support/FakeWindow.h"
#include "support/ScratchFolder.h"

#include <QLocale>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <dlfcn.h>
#include <random>
#include <unistd.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace {

class Limits : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override
    {
        if (!disk.empty())
            umount2(disk.c_str(), MNT_DETACH);
        ScratchFolder::TearDown();
    }

    // A small disk of its own; false where this machine does not allow it.
    bool mountSmallDisk(const char *size)
    {
        disk = path("disk");
        fs::create_directory(disk);
        if (mount("tmpfs", disk.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0)
            return true;
        disk.clear();
        return false;
    }

    std::string sparse(const std::string &name, std::uintmax_t size)
    {
        std::ofstream(path(name), std::ios::binary);
        fs::resize_file(path(name), size);
        return path(name);
    }

    void compress(const std::string &source, const std::string &target)
    {
        clickCompress(window, library, clock, source, target);
    }

    void decompress(const std::string &source, const std::string &target)
    {
        clickDecompress(window, library, source, target);
    }

    // Runs decompress_file in a child process; returns its result and peak
    // resident memory in MiB.
    std::pair<int, long> decompressInChild(const std::string &source, const std::string &target)
    {
        pid_t child = fork();
        if (child == 0) {
            using Entry = int (*)(char *, char *);
            Module1 binding(QStringLiteral(NORVIK_BUILD_LIBRARY));
            QString s = QString::fromStdString(source), t = QString::fromStdString(target);
            std::string a = source, b = target;
            auto entry = reinterpret_cast<Entry>(dlsym(dlopen(NORVIK_BUILD_LIBRARY, RTLD_NOW), "decompress_file"));
            _exit(entry ? entry(a.data(), b.data()) : 99);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024};
    }

    std::vector<std::string> diskEntries() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(disk))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    FakeWindow window;
    MonotonicClock clock;
    Module1 library{QStringLiteral(NORVIK_BUILD_LIBRARY)};
    std::string disk;
};

// The whole length shows, and the frame records it; the same file is also a
// decompression bomb of over 4 GiB for a small disk.
TEST_F(Limits, SourcesPastFourGibibytesAndTheirBombs)
{
    const std::uintmax_t size = (4ULL << 30) + 12345;
    const std::string source = sparse("big", size);
    compress(source, path("big.zst"));
    ASSERT_TRUE(window.errors.isEmpty()) << window.errors.join('\n').toStdString();
    EXPECT_EQ(window.caption(StatisticsRow::OrigSize), QStringLiteral("4,294,979,641 bytes"));
    EXPECT_EQ(window.caption(StatisticsRow::CompPct), QStringLiteral("100.%"));
    const std::string frame = read(path("big.zst"));
    EXPECT_EQ(ZSTD_getFrameContentSize(frame.data(), frame.size()), size);
    fs::remove(source);

    if (!mountSmallDisk("64m"))
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    std::ofstream(disk + "/target") << "precious";
    auto [result, peakMiB] = decompressInChild(path("big.zst"), disk + "/target");
    EXPECT_NE(result, 0);
    EXPECT_LT(peakMiB, 128) << "memory stays bounded whatever the frame claims";
    EXPECT_EQ(read(disk + "/target"), "precious");
    EXPECT_EQ(diskEntries(), std::vector<std::string>{"target"});
}

// A frame whose header claims 2^62 bytes of content but carries five.
TEST_F(Limits, AFrameThatLiesAboutItsSizeLeavesNothing)
{
    const unsigned char lie[] = {0x28, 0xB5, 0x2F, 0xFD, // magic number
                                 0xC0,                   // 8-byte content size, no checksum
                                 0x00,                   // a 1 KiB window
                                 0, 0, 0, 0, 0, 0, 0, 0x40,
                                 0x29, 0x00, 0x00,       // last block, raw, 5 bytes
                                 'h', 'e', 'l', 'l', 'o'};
    const std::string bomb = write("bomb.zst", std::string(reinterpret_cast<const char *>(lie), sizeof lie));
    write("target", "precious");
    auto [result, peakMiB] = decompressInChild(bomb, path("target"));
    EXPECT_NE(result, 0);
    EXPECT_LT(peakMiB, 128);
    EXPECT_EQ(read(path("target")), "precious");
    EXPECT_EQ(entries(), (std::vector<std::string>{"bomb.zst", "target"}));
}

// A disk that fills up during the write: a message, the old target intact, no
// partial file.
TEST_F(Limits, AFullDiskFailsCleanly)
{
    if (!mountSmallDisk("256k"))
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    std::string noise(1 << 20, '\0');
    std::mt19937 random(9);
    for (char &byte : noise)
        byte = static_cast<char>(random());
    const std::string source = write("noise", noise);
    std::ofstream(disk + "/target") << "precious";

    compress(source, disk + "/target");
    compress(source, disk + "/new");
    // Output under one block is written at the end, on the calling thread.
    compress(write("smaller", noise.substr(0, 600000)), disk + "/smaller");
    ASSERT_EQ(window.errors.size(), 3);
    EXPECT_TRUE(window.errors[2].contains(QStringLiteral("smaller\" was not found"))) << window.errors[2].toStdString();
    EXPECT_TRUE(window.errors[0].contains(QStringLiteral("did not write"))) << window.errors[0].toStdString();
    EXPECT_TRUE(window.errors[1].contains(QStringLiteral("new\" was not found"))) << window.errors[1].toStdString();

    compress(source, path("noise.zst"));
    decompress(path("noise.zst"), disk + "/target");
    EXPECT_EQ(read(disk + "/target"), "precious");
    EXPECT_EQ(diskEntries(), std::vector<std::string>{"target"});
    EXPECT_TRUE(read(source) == noise);
    EXPECT_EQ(window.errors.size(), 3) << "Decompress reports nothing of the library's own failure";
}

} // namespace
