// The shipped libraries and their levels: the one table the libraries, the
// window's and brevimeter-bench's --library, --list-libraries and the tests
// take them from, and the one rule by which a level or a thread count is read.
#pragma once

#include <cstdlib>
#include <optional>
#include <string_view>

namespace levels {

struct Library {
    const char *name;
    int lowest, highest, standard; // as the library's command takes them; all 0 for one without levels
    const char *description;       // what it writes and what its levels mean
};

// In the order they are listed.
inline constexpr Library Shipped[] = {
    {"copy", 0, 0, 0, "the file copied both ways: what reading and writing alone cost"},
    {"zstd", -131072, 22, 3,
     "zstd files, the default library; negative levels are the command's --fast, 0 is the default, 20-22 its --ultra; "
     "all cores unless BREVIMETER_THREADS says"},
    {"zlib", 1, 9, 6, "deflate in gzip files"},
    {"lz4", -65537, 12, 1, "LZ4 frames, 4 MB blocks; negative levels are the command's --fast, 0 and 2 are 1, 3 and up LZ4 HC"},
    {"xz", 0, 9, 6, "xz files (LZMA2), CRC64 check; one thread unless BREVIMETER_THREADS says"},
    {"bzip2", 1, 9, 9, "bzip2 files; the level is the block size in 100 kB"},
    {"brotli", 0, 11, 11, "brotli streams, the window fitted to the file; the level is the quality"},
};

constexpr const Library *find(std::string_view name)
{
    for (const Library &library : Shipped)
        if (name == library.name)
            return &library;
    return nullptr;
}

// A whole number as the zstd command reads one from its variables: an
// optional sign, then digits and nothing else (no space), within an int.
// Nothing for anything else, which is then ignored.
inline std::optional<int> wholeNumber(const char *text)
{
    if (!text)
        return std::nullopt;
    const char *digits = *text == '-' || *text == '+' ? text + 1 : text;
    if (*digits < '0' || *digits > '9')
        return std::nullopt;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value <= -(1L << 31) || value >= (1L << 31))
        return std::nullopt;
    return static_cast<int>(value);
}

// A level for `library`: one past either end is that end.
constexpr int within(const Library &library, int level)
{
    return level < library.lowest ? library.lowest : level > library.highest ? library.highest : level;
}

} // namespace levels
