// Where the fixed cost of a call goes, on a small file in SCRATCH (tmpfs): the
// whole call of each entry point, and the same steps one by one as the library
// takes them, the codec in memory among them. Prints a Markdown table of
// medians in microseconds.
//
//   fixed_cost [--runs N] LIBRARY SCRATCH FILE
#include <zstd.h>

#include "bench_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

double median(int runs, const std::function<void()> &work, const std::function<void()> &between = {})
{
    std::vector<double> times;
    for (int run = 0; run <= runs; ++run) { // the first warms up
        if (between)
            between();
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    times.erase(times.begin());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 201;
    if (argc > 2 && !std::strcmp(argv[1], "--runs"))
        runs = std::atoi(argv[2]), argv += 2, argc -= 2;
    if (argc != 4) {
        std::fprintf(stderr, "usage: fixed_cost [--runs N] LIBRARY SCRATCH FILE\n");
        return 2;
    }
    const std::optional<EntryPoints> entries = entryPoints(argv[1]);
    if (!entries)
        return 2;
    const auto [compress, decompress] = *entries;
    // A folder of its own in SCRATCH, so that runs side by side never share a file.
    std::string made = std::string(argv[2]) + "/fixed_cost-XXXXXX";
    if (!mkdtemp(made.data()))
        return std::perror(argv[2]), 2;
    const std::string scratch = made, source = scratch + "/fixed-source", packed = scratch + "/fixed-source.zst",
                      target = scratch + "/fixed-target";
    std::string content(1 << 20, '\0');
    {
        FILE *in = std::fopen(argv[3], "rb"), *out = std::fopen(source.c_str(), "wb");
        content.resize(in ? std::fread(content.data(), 1, content.size(), in) : 0);
        std::fwrite(content.data(), 1, content.size(), out);
        std::fclose(out);
        if (in)
            std::fclose(in);
    }
    std::string a = source, b = packed;
    compress(a.data(), b.data());
    const auto removeTarget = [&] { unlink(target.c_str()); };
    const auto call = [&](Entry entry, const std::string &from) {
        return [=] {
            std::string x = from, y = target;
            entry(x.data(), y.data());
        };
    };

    ZSTD_CCtx *context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    ZSTD_DCtx *decoder = ZSTD_createDCtx();
    std::vector<char> out(ZSTD_compressBound(content.size()) + content.size());
    std::fill(out.begin(), out.end(), 1);
    const std::size_t packedSize = ZSTD_compress2(context, out.data(), out.size(), content.data(), content.size());
    const std::vector<char> frame(out.begin(), out.begin() + long(packedSize));
    int fd = -1, folder = -1;
    struct stat status {};
    char buffer[1 << 16];
    char self[32];

    const std::pair<const char *, double> rows[] = {
        {"compress_file, the whole call", median(runs, call(compress, source), removeTarget)},
        {"decompress_file, the whole call", median(runs, call(decompress, packed), removeTarget)},
        {"compress in memory (kept context)", median(runs, [&] { ZSTD_compress2(context, out.data(), out.size(), content.data(), content.size()); })},
        {"decompress in memory (kept context)", median(runs, [&] { ZSTD_decompressDCtx(decoder, out.data(), out.size(), frame.data(), frame.size()); })},
        {"open the source, fstat, read it, close", median(runs, [&] {
             fd = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
             fstat(fd, &status);
             (void)!read(fd, buffer, sizeof buffer);
             close(fd);
         })},
        {"open the target's folder, look the target up, close", median(runs, [&] {
             folder = open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
             fstatat(folder, "fixed-target", &status, 0);
             close(folder);
         })},
        {"an unnamed file: create, write, link, close", median(runs, [&] {
             folder = open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
             fd = openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
             (void)!write(fd, out.data(), packedSize);
             std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
             (void)!linkat(AT_FDCWD, self, folder, "fixed-target", AT_SYMLINK_FOLLOW);
             close(fd);
             close(folder);
         }, removeTarget)},
        {"a named file: create, write, close", median(runs, [&] {
             fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
             (void)!write(fd, out.data(), packedSize);
             close(fd);
         }, removeTarget)},
    };
    std::printf("A %zu-byte file, median of %d calls, microseconds.\n\n| step | µs |\n|---|---:|\n", content.size(), runs);
    for (const auto &[step, micro] : rows)
        std::printf("| %s | %.1f |\n", step, micro);
    unlink(source.c_str()), unlink(packed.c_str()), unlink(target.c_str()), rmdir(scratch.c_str());
    return 0;
}
