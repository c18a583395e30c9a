// What the benchmarks do with files, libraries and time: a whole file into
// memory (empty when it cannot be read) and out of it, a plain copy through a
// buffer, a library's entry points, and the seconds a piece of work took.
#pragma once

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

inline std::string readAll(const std::string &path)
{
    std::string content;
    FILE *file = std::fopen(path.c_str(), "rb");
    char buffer[1 << 16];
    for (std::size_t n; file && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        content.append(buffer, n);
    if (file)
        std::fclose(file);
    return content;
}

inline void writeAll(const std::string &path, const char *data, std::size_t size)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// `from` into a new file `to` through `buffer`: what reading and writing that many bytes costs.
inline void copyFile(const std::string &from, const std::string &to, std::vector<char> &buffer)
{
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC), out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    for (ssize_t n; (n = read(in, buffer.data(), buffer.size())) > 0;)
        for (ssize_t done = 0, w; done < n; done += w)
            if ((w = write(out, buffer.data() + done, std::size_t(n - done))) < 0)
                std::exit(1);
    close(in);
    close(out);
}

// All `size` bytes through `move` (read or write) at `fd`, or the program ends.
template <typename Byte, typename Move>
inline void whole(int fd, Byte *bytes, std::size_t size, Move move)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = move(fd, bytes + done, size - done);
        if (n <= 0) {
            std::perror("a whole read or write");
            std::exit(1);
        }
        done += std::size_t(n);
    }
}

// What a plain program does file to file: `size` bytes of `from` read at
// once into `into`, and `size` bytes written at once to a new file `to`.
inline void readInto(const std::string &from, char *into, std::size_t size)
{
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    whole(in, into, size, ::read);
    close(in);
}

inline void writeNew(const std::string &to, const char *bytes, std::size_t size)
{
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    whole(out, bytes, size, ::write);
    close(out);
}

using Entry = int (*)(char *, char *);
using EntryPoints = std::array<Entry, 2>; // compress_file, decompress_file

// The library at `file`, loaded on its own; nothing, and why on stderr, when
// it cannot be loaded or lacks an entry point.
inline std::optional<EntryPoints> entryPoints(const std::string &file)
{
    void *library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return std::nullopt;
    }
    const EntryPoints entries{reinterpret_cast<Entry>(dlsym(library, "compress_file")),
                              reinterpret_cast<Entry>(dlsym(library, "decompress_file"))};
    if (!entries[0] || !entries[1]) {
        std::fprintf(stderr, "%s: no compress_file or decompress_file\n", file.c_str());
        return std::nullopt;
    }
    return entries;
}

inline double seconds(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
