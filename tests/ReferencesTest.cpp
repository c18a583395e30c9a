// The reference libraries through their two entry points: every byte comes
// back, each reads and writes what its codec's command does, the level
// reaches it, and a damaged file is refused without leaving a target.
#include "norvik.h"
#include "support/ScratchFolder.h"

#include <cstdlib>
#include <dlfcn.h>
#include <random>

namespace {

struct Codec {
    const char *name;
    const char *pack, *unpack; // the command, reading a file named last, writing standard output
    int lowest, highest;       // levels; 0 and 0 without
    bool concatenates;         // streams one after another are one file
};

class References : public ScratchFolder, public ::testing::WithParamInterface<Codec> {
protected:
    using Entry = int (*)(char *, char *);

    void SetUp() override
    {
        ScratchFolder::SetUp();
        ::unsetenv("BREVIMETER_LEVEL");
        library_ = dlopen((REFERENCE_DIR "/" + std::string(GetParam().name) + "/" NORVIK_LIBRARY_FILE).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
    }

    int call(const char *entry, const std::string &source, const std::string &target)
    {
        std::string from = source, to = target;
        return reinterpret_cast<Entry>(dlsym(library_, entry))(from.data(), to.data());
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

    void *library_ = nullptr;
};

// Text and noise, longer than the libraries read at a time (256 KiB).
std::string mixed()
{
    std::string content;
    std::mt19937 random(7);
    while (content.size() < 600000)
        content += random() % 3 ? "the quick brown fox jumps over the lazy dog " : std::string(64, char(random()));
    return content;
}

TEST_P(References, GiveEveryByteBackInTheirCommandsFormat)
{
    for (const std::string &content : {std::string(), std::string("x"), mixed()}) {
        const std::string original = write("original", content);
        ASSERT_EQ(call("compress_file", original, path("packed")), NORVIK_OK);
        ASSERT_EQ(call("decompress_file", path("packed"), path("unpacked")), NORVIK_OK);
        EXPECT_EQ(read(path("unpacked")), content) << content.size();
        EXPECT_EQ(command(GetParam().unpack, path("packed")), content) << "the command reads the library's file";
        write("theirs", command(GetParam().pack, original));
        std::filesystem::remove(path("unpacked"));
        ASSERT_EQ(call("decompress_file", path("theirs"), path("unpacked")), NORVIK_OK) << "the library reads the command's";
        EXPECT_EQ(read(path("unpacked")), content);
        for (const char *name : {"packed", "unpacked", "theirs"})
            std::filesystem::remove(path(name));
    }
}

TEST_P(References, TakeTheirLevelFromTheEnvironment)
{
    const std::string original = write("original", mixed());
    const auto size = [&](const char *level) {
        level ? ::setenv("BREVIMETER_LEVEL", level, 1) : ::unsetenv("BREVIMETER_LEVEL");
        std::filesystem::remove(path("packed"));
        EXPECT_EQ(call("compress_file", original, path("packed")), NORVIK_OK);
        return std::filesystem::file_size(path("packed"));
    };
    const auto standard = size(nullptr);
    EXPECT_EQ(size("fast"), standard) << "not a number: the default level";
    if (GetParam().highest == 0)
        return;
    EXPECT_NE(size(std::to_string(GetParam().lowest).c_str()), size(std::to_string(GetParam().highest).c_str()));
    EXPECT_EQ(size("1000"), size(std::to_string(GetParam().highest).c_str())) << "past the highest: the highest";
}

TEST_P(References, RefuseADamagedFileAndLeaveNoTarget)
{
    const bool copies = GetParam().highest == 0; // a copy takes any bytes as they are
    const std::string content = mixed();
    ASSERT_EQ(call("compress_file", write("original", content), path("packed")), NORVIK_OK);
    const std::string packed = read(path("packed"));
    const std::pair<std::string, bool> cases[] = {
        {packed.substr(0, packed.size() - 1), copies},
        {packed + "junk", copies},
        {packed + packed, GetParam().concatenates},
    };
    for (const auto &[input, whole] : cases) {
        std::filesystem::remove(path("unpacked"));
        EXPECT_EQ(call("decompress_file", write("input", input), path("unpacked")), whole ? NORVIK_OK : NORVIK_CODEC_ERROR) << input.size();
        if (whole)
            EXPECT_EQ(read(path("unpacked")), copies ? input : content + content);
        else
            EXPECT_FALSE(std::filesystem::exists(path("unpacked")));
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, References,
                         ::testing::Values(Codec{"copy", "cat", "cat", 0, 0, true},
                                           Codec{"zlib", "gzip -6 -n -c", "gzip -d -c", 1, 9, true},
                                           Codec{"lz4", "lz4 -q -c", "lz4 -q -d -c", 1, 12, true},
                                           Codec{"xz", "xz -c", "xz -d -c", 0, 9, true},
                                           Codec{"bzip2", "bzip2 -c", "bzip2 -d -c", 1, 9, true},
                                           Codec{"brotli", "brotli -c", "brotli -d -c", 0, 11, false}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
