// Each reference library beside its codec in memory and beside its own
// command, on the same files in SCRATCH (tmpfs, so that no disk is involved).
// Prints a Markdown table: for each library and set, the ratio and the speed
// each way, summed over the set's files, each file's time the best of 3
// passes of N calls back to back.
//
//   reference_speeds [--runs N] BUILD SCRATCH SET=FILE,FILE... -- NAME:LEVEL...
//
// - in memory: the codec's one-call functions at the library's settings,
//   input read beforehand, output buffer touched beforehand;
// - file to file: the library's entry points, a new target each call, as
//   brevimeter-bench times them;
// - command: the codec's command writing to a file, a whole process each call.
#include <brotli/decode.h>
#include <brotli/encode.h>
#include <bzlib.h>
#include <lz4frame.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include "read_all.h"

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

using Entry = int (*)(char *, char *);
using Buffer = std::vector<char>;

// In memory, one call each way: into `out`, sized beforehand; returns the size written.
struct Codec {
    std::function<std::size_t(const std::string &in, Buffer &out, int level)> pack;
    std::function<std::size_t(const Buffer &in, std::size_t size, Buffer &out)> unpack;
    std::vector<std::string> command; // packs the file named last to standard output; with -d, unpacks
};

std::size_t gzipCall(bool deflating, const char *in, std::size_t size, Buffer &out, int level)
{
    z_stream z{};
    deflating ? deflateInit2(&z, level, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) : inflateInit2(&z, 31);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in));
    z.avail_in = uInt(size);
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    deflating ? deflate(&z, Z_FINISH) : inflate(&z, Z_FINISH);
    const std::size_t made = z.total_out;
    deflating ? deflateEnd(&z) : inflateEnd(&z);
    return made;
}

std::map<std::string, Codec> codecs()
{
    std::map<std::string, Codec> all;
    all["copy"] = {[](const std::string &in, Buffer &out, int) { std::memcpy(out.data(), in.data(), in.size()); return in.size(); },
                   [](const Buffer &in, std::size_t size, Buffer &out) { std::memcpy(out.data(), in.data(), size); return size; },
                   {"cat"}};
    all["zstd"] = {[](const std::string &in, Buffer &out, int level) {
                       static ZSTD_CCtx *context = ZSTD_createCCtx();
                       ZSTD_CCtx_reset(context, ZSTD_reset_session_and_parameters);
                       ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level);
                       ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
                       // The library's workers: all cores.
                       ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, int(std::thread::hardware_concurrency()));
                       return ZSTD_compress2(context, out.data(), out.size(), in.data(), in.size());
                   },
                   [](const Buffer &in, std::size_t size, Buffer &out) {
                       static ZSTD_DCtx *context = ZSTD_createDCtx();
                       return ZSTD_decompressDCtx(context, out.data(), out.size(), in.data(), size);
                   },
                   {"zstd", "-q", "-c"}};
    all["zlib"] = {[](const std::string &in, Buffer &out, int level) { return gzipCall(true, in.data(), in.size(), out, level); },
                   [](const Buffer &in, std::size_t size, Buffer &out) { return gzipCall(false, in.data(), size, out, 0); },
                   {"gzip", "-n", "-c"}};
    all["lz4"] = {[](const std::string &in, Buffer &out, int level) {
                      LZ4F_preferences_t prefs{};
                      prefs.compressionLevel = level;
                      prefs.frameInfo.blockSizeID = LZ4F_max4MB;
                      prefs.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
                      return LZ4F_compressFrame(out.data(), out.size(), in.data(), in.size(), &prefs);
                  },
                  [](const Buffer &in, std::size_t size, Buffer &out) {
                      static LZ4F_dctx *context = [] { LZ4F_dctx *c = nullptr; LZ4F_createDecompressionContext(&c, LZ4F_VERSION); return c; }();
                      std::size_t made = out.size(), used = size;
                      LZ4F_resetDecompressionContext(context);
                      LZ4F_decompress(context, out.data(), &made, in.data(), &used, nullptr);
                      return made;
                  },
                  {"lz4", "-q", "-c"}};
    all["xz"] = {[](const std::string &in, Buffer &out, int level) {
                     std::size_t made = 0;
                     lzma_easy_buffer_encode(uint32_t(level), LZMA_CHECK_CRC64, nullptr, reinterpret_cast<const uint8_t *>(in.data()),
                                             in.size(), reinterpret_cast<uint8_t *>(out.data()), &made, out.size());
                     return made;
                 },
                 [](const Buffer &in, std::size_t size, Buffer &out) {
                     uint64_t limit = UINT64_MAX;
                     std::size_t used = 0, made = 0;
                     if (lzma_stream_buffer_decode(&limit, 0, nullptr, reinterpret_cast<const uint8_t *>(in.data()), &used, size,
                                                   reinterpret_cast<uint8_t *>(out.data()), &made, out.size()) != LZMA_OK)
                         return std::size_t(0);
                     return made;
                 },
                 {"xz", "-c"}};
    all["bzip2"] = {[](const std::string &in, Buffer &out, int level) {
                        unsigned made = unsigned(out.size());
                        BZ2_bzBuffToBuffCompress(out.data(), &made, const_cast<char *>(in.data()), unsigned(in.size()), level, 0, 30);
                        return std::size_t(made);
                    },
                    [](const Buffer &in, std::size_t size, Buffer &out) {
                        unsigned made = unsigned(out.size());
                        BZ2_bzBuffToBuffDecompress(out.data(), &made, const_cast<char *>(in.data()), unsigned(size), 0, 0);
                        return std::size_t(made);
                    },
                    {"bzip2", "-c"}};
    all["brotli"] = {[](const std::string &in, Buffer &out, int level) {
                         int window = 10;
                         while ((1ull << window) - 16 < in.size() && window < 24)
                             ++window;
                         std::size_t made = out.size();
                         BrotliEncoderCompress(level, window, BROTLI_MODE_GENERIC, in.size(), reinterpret_cast<const uint8_t *>(in.data()),
                                               &made, reinterpret_cast<uint8_t *>(out.data()));
                         return made;
                     },
                     [](const Buffer &in, std::size_t size, Buffer &out) {
                         std::size_t made = out.size();
                         BrotliDecoderDecompress(size, reinterpret_cast<const uint8_t *>(in.data()), &made, reinterpret_cast<uint8_t *>(out.data()));
                         return made;
                     },
                     {"brotli", "-c"}};
    return all;
}

// The best of 3 passes of `runs` calls back to back, a call's time in seconds;
// `between` runs outside the timing.
double best(int runs, const std::function<void()> &call, const std::function<void()> &between = {})
{
    double fastest = 1e300;
    for (int pass = 0; pass < 3; ++pass) {
        double total = 0;
        for (int run = 0; run < runs; ++run) {
            if (between)
                between();
            const auto start = std::chrono::steady_clock::now();
            call();
            total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        fastest = std::min(fastest, total / runs);
    }
    return fastest;
}

// A whole process, its standard output into `target`.
void command(std::vector<std::string> arguments, const std::string &target)
{
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(child, nullptr, 0);
    posix_spawn_file_actions_destroy(&actions);
}

struct Totals {
    double bytes = 0, packed = 0, memory[2] = {}, library[2] = {}, process[2] = {};
};

std::vector<std::string> split(const std::string &list)
{
    std::vector<std::string> items;
    for (std::size_t at = 0, comma; at <= list.size(); at = comma + 1) {
        comma = std::min(list.find(',', at), list.size());
        items.push_back(list.substr(at, comma - at));
    }
    return items;
}

std::string speed(double bytes, double seconds)
{
    // Three significant figures, whole numbers from 100 up.
    const double value = bytes / 1e6 / seconds;
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", value >= 100 ? 0 : value >= 10 ? 1 : 2, value);
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 5, at = 1;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0)
        runs = std::atoi(argv[2]), at = 3;
    if (argc - at < 4) {
        std::fprintf(stderr, "usage: reference_speeds [--runs N] BUILD SCRATCH SET=FILE,... -- NAME:LEVEL...\n");
        return 2;
    }
    const std::string build = argv[at], scratch = argv[at + 1];
    std::vector<std::pair<std::string, std::vector<std::string>>> sets;
    for (at += 2; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        const std::string set = argv[at];
        sets.emplace_back(set.substr(0, set.find('=')), split(set.substr(set.find('=') + 1)));
    }
    const std::map<std::string, Codec> all = codecs();
    std::printf("| library | set | ratio | compress MB/s: in memory | file to file | command | decompress MB/s: in memory | file to file | command |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
    const std::string packed = scratch + "/packed", unpacked = scratch + "/unpacked", original = scratch + "/original";
    for (++at; at < argc; ++at) {
        const std::string choice = argv[at], name = choice.substr(0, choice.find(':'));
        const int level = choice.find(':') == std::string::npos ? 0 : std::atoi(choice.substr(choice.find(':') + 1).c_str());
        const Codec &codec = all.at(name);
        ::setenv("BREVIMETER_LEVEL", std::to_string(level).c_str(), 1);
        void *library = dlopen((build + (name == "zstd" ? "/libnorvik.so" : "/references/" + name + "/libnorvik.so")).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "%s\n", dlerror());
            return 1;
        }
        const auto pack = reinterpret_cast<Entry>(dlsym(library, "compress_file"));
        const auto unpack = reinterpret_cast<Entry>(dlsym(library, "decompress_file"));
        std::vector<std::string> packing = codec.command, unpacking = codec.command;
        if (name != "copy")
            packing.push_back("-" + std::to_string(level)), unpacking.push_back("-d");
        if (name == "brotli")
            packing.back() = "-q", packing.push_back(std::to_string(level));
        for (const auto &[set, files] : sets) {
            Totals totals;
            for (const std::string &file : files) {
                const std::string content = readAll(file);
                {
                    FILE *copy = std::fopen(original.c_str(), "wb");
                    std::fwrite(content.data(), 1, content.size(), copy);
                    std::fclose(copy);
                }
                Buffer out(content.size() * 2 + (1 << 20), 1), back(content.size() + 1, 1);
                std::size_t size = 0;
                totals.bytes += double(content.size());
                totals.memory[0] += best(runs, [&] { size = codec.pack(content, out, level); });
                totals.memory[1] += best(runs, [&] { codec.unpack(out, size, back); });
                if (back.size() > 1 && std::memcmp(back.data(), content.data(), content.size()) != 0)
                    std::fprintf(stderr, "%s: %s came back other in memory\n", choice.c_str(), file.c_str());
                std::string from = original, to = packed;
                totals.library[0] += best(runs, [&] { pack(from.data(), to.data()); }, [&] { ::unlink(packed.c_str()); });
                totals.packed += double(readAll(packed).size());
                from = packed, to = unpacked;
                totals.library[1] += best(runs, [&] { unpack(from.data(), to.data()); }, [&] { ::unlink(unpacked.c_str()); });
                std::vector<std::string> packs = packing, unpacks = unpacking;
                packs.push_back(original), unpacks.push_back(packed);
                totals.process[0] += best(runs, [&] { command(packs, scratch + "/theirs"); });
                totals.process[1] += best(runs, [&] { command(unpacks, scratch + "/theirs"); });
            }
            std::printf("| %s | %s | %.3f | %s | %s | %s | %s | %s | %s |\n", choice.c_str(), set.c_str(), totals.bytes / totals.packed,
                        speed(totals.bytes, totals.memory[0]).c_str(), speed(totals.bytes, totals.library[0]).c_str(),
                        speed(totals.bytes, totals.process[0]).c_str(), speed(totals.bytes, totals.memory[1]).c_str(),
                        speed(totals.bytes, totals.library[1]).c_str(), speed(totals.bytes, totals.process[1]).c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}
