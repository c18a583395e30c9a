// The default library file to file against what the same work costs in
// memory, on files in SCRATCH (tmpfs, so that no disk is involved). Prints a
// Markdown table: per file and summed over each set, the best of 3 passes of
// N warm calls back to back for each contender in turn.
//
//   file_to_file [--runs N] [--quick] LIBRARY SCRATCH SET=FILE,FILE... ...
//
// - in memory: libzstd at the library's own settings (ZSTD_CLEVEL, default 3;
//   all cores; checksum and content size), input read beforehand, output
//   buffer touched beforehand, contexts kept;
// - copy: the file read and written to a new file through a 1 MiB buffer,
//   what reading and writing that many bytes costs here;
// - ours: the library's entry points, a new target each call;
// - zstd: the zstd command at the same level and threads, a whole process.
// The limit for compress is the in-memory time; for decompress, the larger of
// the in-memory time and the copy's.
#include <zstd.h>

#include "bench_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {


double command(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    return seconds([&] {
        pid_t child = 0;
        int status = 0;
        if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0 || waitpid(child, &status, 0) < 0
            || status != 0)
            std::exit(1);
    });
}

// Best of the runs, each figure in milliseconds; `limit` is decompression's.
struct Figures {
    double memory[2], copy, ours[2], zstd[2];
    std::size_t size;
    double limit() const { return std::max(memory[1], copy); }
};

} // namespace

int main(int argc, char **argv)
{
    int runs = 7;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--quick"))
            runs = 1;
        else
            arguments.push_back(argv[i]);
    }
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: file_to_file [--runs N] [--quick] LIBRARY SCRATCH SET=FILE,FILE...\n");
        return 2;
    }
    const std::optional<EntryPoints> loaded = entryPoints(arguments[0]);
    if (!loaded)
        return 2;
    const EntryPoints entries = *loaded;
    // A folder of its own in SCRATCH, so that runs side by side never share a file.
    std::string folder = arguments[1] + "/file_to_file-XXXXXX";
    if (!mkdtemp(folder.data())) {
        std::perror(arguments[1].c_str());
        return 2;
    }
    const std::string scratch = folder;
    // The library's own settings, from the same variables.
    const char *levelText = std::getenv("ZSTD_CLEVEL"), *threadsText = std::getenv("ZSTD_NBTHREADS");
    const int level = levelText && *levelText ? std::atoi(levelText) : 3;
    int threads = threadsText && *threadsText ? std::atoi(threadsText) : 0;
    if (threads == 0)
        threads = int(std::thread::hardware_concurrency());

    ZSTD_CCtx *compression = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(compression, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(compression, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(compression, ZSTD_c_nbWorkers, threads);
    ZSTD_DCtx *decompression = ZSTD_createDCtx();
    std::vector<char> copyBuffer(1 << 20);
    const std::string source = scratch + "/source", packed = scratch + "/source.zst", target = scratch + "/target";

    std::printf("Level %d, %d worker threads. Best of 3 passes of %d warm calls, back to back, for each contender in turn; "
                "milliseconds.\n\n", level, threads, runs);
    std::printf("| set | file | size | compress: in memory | ours | zstd | ours ÷ limit | decompress: in memory | copy | ours | zstd | ours ÷ limit |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (std::size_t s = 2; s < arguments.size(); ++s) {
        const std::string set = arguments[s].substr(0, arguments[s].find('='));
        std::vector<std::string> files;
        for (std::size_t at = set.size() + 1; at <= arguments[s].size();) {
            const std::size_t comma = std::min(arguments[s].find(',', at), arguments[s].size());
            files.push_back(arguments[s].substr(at, comma - at));
            at = comma + 1;
        }
        Figures sum{};
        double summedLimit = 0; // each file's own
        const auto row = [&](const std::string &name, const Figures &f, double limit, const char *mark) {
            std::printf("| %s | %s%s%s | %zu | %.3f | %.3f | %.3f | %s%.2f%s | %.3f | %.3f | %.3f | %.3f | %s%.2f%s |\n",
                        set.c_str(), mark, name.c_str(), mark, f.size, f.memory[0], f.ours[0], f.zstd[0], mark,
                        f.ours[0] / f.memory[0], mark, f.memory[1], f.copy, f.ours[1], f.zstd[1], mark, f.ours[1] / limit, mark);
        };
        for (const std::string &file : files) {
            const std::string content = readAll(file);
            writeAll(source, content.data(), content.size());
            std::vector<char> compressed(ZSTD_compressBound(content.size())), decompressed(content.size() + 1);
            std::fill(compressed.begin(), compressed.end(), 1);
            std::fill(decompressed.begin(), decompressed.end(), 1);
            std::size_t packedSize = ZSTD_compress2(compression, compressed.data(), compressed.size(), content.data(), content.size());
            writeAll(packed, compressed.data(), packedSize);
            Figures best{{1e9, 1e9}, 1e9, {1e9, 1e9}, {1e9, 1e9}, content.size()};
            const std::string levelFlag = "-" + std::to_string(level);
            const auto ours = [&](int way) {
                std::string from = way ? packed : source, to = target;
                unlink(target.c_str());
                return seconds([&] {
                    if (entries[way](from.data(), to.data()) != 0)
                        std::exit(1);
                });
            };
            const std::function<double()> contenders[] = {
                [&] { return seconds([&] { ZSTD_compress2(compression, compressed.data(), compressed.size(), content.data(), content.size()); }); },
                [&] { return ours(0); },
                [&] { return command({"zstd", "-q", "-f", levelFlag, "-T" + std::to_string(threads), source, "-o", target}); },
                [&] { return seconds([&] { ZSTD_decompressDCtx(decompression, decompressed.data(), decompressed.size(), compressed.data(), packedSize); }); },
                [&] { unlink(target.c_str()); return seconds([&] { copyFile(source, target, copyBuffer); }); },
                [&] { return ours(1); },
                [&] { return command({"zstd", "-q", "-f", "-d", packed, "-o", target}); }};
            double *figures[] = {&best.memory[0], &best.ours[0], &best.zstd[0], &best.memory[1], &best.copy, &best.ours[1], &best.zstd[1]};
            // Each contender's calls back to back, as a sweep makes them, after
            // one that warms up; three passes over all of them, so that drift
            // reaches every contender alike.
            for (int pass = 0; pass < 3; ++pass)
                for (std::size_t c = 0; c < std::size(contenders); ++c)
                    for (int run = pass == 0 ? -1 : 0; run < runs; ++run)
                        if (const double value = contenders[c]() * 1e3; run >= 0)
                            *figures[c] = std::min(*figures[c], value);
            if (readAll(target) != content && (entries[1](const_cast<char *>(packed.c_str()), const_cast<char *>(target.c_str())), readAll(target) != content)) {
                std::fprintf(stderr, "file_to_file: %s did not come back\n", file.c_str());
                return 1;
            }
            row(file.substr(file.rfind('/') + 1), best, best.limit(), "");
            summedLimit += best.limit();
            for (int way = 0; way < 2; ++way)
                sum.memory[way] += best.memory[way], sum.ours[way] += best.ours[way], sum.zstd[way] += best.zstd[way];
            sum.copy += best.copy;
            sum.size += best.size;
        }
        row("summed", sum, summedLimit, "**");
    }
    for (const std::string &file : {source, packed, target})
        unlink(file.c_str());
    rmdir(scratch.c_str());
    return 0;
}
