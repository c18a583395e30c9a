// Each shipped library file to file beside its codec in memory and a plain
// copy, on the same files in SCRATCH (tmpfs, so that no disk is involved),
// for one or more builds side by side in one run (the library as it was and
// as it is). Prints a Markdown table: for each library and set, summed over
// the set's files, each file's time the best call of N calls back to back in
// each of several passes, the contenders taking turns within each pass.
//
//   reference_speeds [--runs N] [--passes N] [--threads N] [--each]
//                    SCRATCH SET=FILE,FILE... -- BUILD=DIR... -- NAME[:LEVEL]...
//
// - in memory: the codec's one-call functions at the library's settings,
//   input read beforehand, output buffer touched beforehand;
// - copy: the file read and written to a new file through a 1 MiB buffer,
//   what reading and writing that many bytes costs here;
// - in turn: what a plain program does, one thing after the other: the file
//   read whole, the same in-memory call, its output written whole to a new
//   file, nothing overlapping. For a codec that gives output only once it
//   holds a whole block, the read before and the write after are what no
//   overlap hides; a file layer can only make them cheaper;
// - each build: the library's entry points, a new target each call, as
//   brevimeter-bench times them; BREVIMETER_THREADS and ZSTD_NBTHREADS are
//   set to --threads (0: the library's own default, all cores for zstd).
// The limit for compress is the in-memory time; for decompress, the larger of
// the in-memory time and the copy's. With --each, a row per file too, and the
// microseconds a call spends beyond the codec's own work.
#include <brotli/decode.h>
#include <brotli/encode.h>
#include <bzlib.h>
#include <lz4frame.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include "levels.h"
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

using Buffer = std::vector<char>;

int threads = 0; // --threads

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
                       // The library's workers: all cores, unless told.
                       const int workers = threads > 0 ? threads : int(std::thread::hardware_concurrency());
                       ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, workers > 1 ? workers : 0);
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
                      prefs.frameInfo.contentSize = in.size();
                      return LZ4F_compressFrame(out.data(), out.size(), in.data(), in.size(), &prefs);
                  },
                  [](const Buffer &in, std::size_t size, Buffer &out) {
                      static LZ4F_dctx *context = [] { LZ4F_dctx *c = nullptr; LZ4F_createDecompressionContext(&c, LZ4F_VERSION); return c; }();
                      std::size_t made = out.size(), used = size;
                      LZ4F_resetDecompressionContext(context);
                      LZ4F_decompress(context, out.data(), &made, in.data(), &used, nullptr);
                      return made;
                  },
                  {"lz4", "-q", "-c", "--content-size"}};
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

std::vector<std::string> split(const std::string &list)
{
    std::vector<std::string> items;
    for (std::size_t at = 0, comma; at <= list.size(); at = comma + 1) {
        comma = std::min(list.find(',', at), list.size());
        items.push_back(list.substr(at, comma - at));
    }
    return items;
}

struct Build {
    std::string name;
    Entry pack, unpack;
};

// Seconds, best call of each contender on one file or summed over a set.
struct Figures {
    double bytes = 0, packed = 0, memory[2] = {}, copy = 0, inTurn[2] = {};
    std::vector<double> ours[2];
    double limits[2] = {}; // summed over a set: each file's own
    double limit(int way) const { return limits[way] > 0 ? limits[way] : way == 0 ? memory[0] : std::max(memory[1], copy); }
};

std::string milliseconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value * 1e3);
    return text;
}

void print(const std::string &library, const std::string &set, const std::string &file, const Figures &f, bool beyond, const char *mark)
{
    std::printf("| %s | %s | %s%s%s | %.3f |", library.c_str(), set.c_str(), mark, file.c_str(), mark, f.bytes / f.packed);
    for (int way = 0; way < 2; ++way) {
        std::printf(" %s |", milliseconds(f.memory[way]).c_str());
        if (way == 1)
            std::printf(" %s |", milliseconds(f.copy).c_str());
        std::printf(" %s | %.2f |", milliseconds(f.inTurn[way]).c_str(), f.inTurn[way] / f.limit(way));
        for (const double ours : f.ours[way])
            std::printf(" %s | %s%.2f%s |", milliseconds(ours).c_str(), mark, ours / f.limit(way), mark);
        if (beyond)
            std::printf(" %.1f |", (f.ours[way].back() - f.memory[way]) * 1e6);
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 5, passes = 3, at = 1;
    bool each = false;
    for (; at < argc && argv[at][0] == '-' && argv[at][1] == '-' && argv[at][2]; ++at) {
        if (!std::strcmp(argv[at], "--each"))
            each = true;
        else if (at + 1 < argc && !std::strcmp(argv[at], "--runs"))
            runs = std::atoi(argv[++at]);
        else if (at + 1 < argc && !std::strcmp(argv[at], "--passes"))
            passes = std::atoi(argv[++at]);
        else if (at + 1 < argc && !std::strcmp(argv[at], "--threads"))
            threads = std::atoi(argv[++at]);
    }
    std::vector<std::string> given[3];
    for (int part = 0; at < argc; ++at)
        std::strcmp(argv[at], "--") == 0 && part < 2 ? void(++part) : given[part].push_back(argv[at]);
    if (given[0].size() < 2 || given[1].empty() || given[2].empty()) {
        std::fprintf(stderr, "usage: reference_speeds [--runs N] [--passes N] [--threads N] [--each] SCRATCH SET=FILE,... "
                             "-- BUILD=DIR... -- NAME[:LEVEL]...\n");
        return 2;
    }
    // A folder of its own in SCRATCH, so that runs side by side never share a file.
    std::string folder = given[0][0] + "/reference_speeds-XXXXXX";
    if (!mkdtemp(folder.data())) {
        std::perror(given[0][0].c_str());
        return 2;
    }
    const std::string scratch = folder;
    const std::string threadText = std::to_string(threads);
    ::setenv("BREVIMETER_THREADS", threadText.c_str(), 1);
    ::setenv("ZSTD_NBTHREADS", threadText.c_str(), 1);
    const std::map<std::string, Codec> all = codecs();
    std::printf("Threads: %s. Milliseconds, best call of %d back to back in each of %d passes, the contenders taking turns.\n\n",
                threads ? threadText.c_str() : "each library's default", runs, passes);
    std::string head = "| library | set | file | ratio | compress: in memory |", rule = "|---|---|---|---:|---:|";
    for (int way = 0; way < 2; ++way) {
        if (way == 1)
            head += " decompress: in memory | copy |", rule += "---:|---:|";
        head += " in turn | ÷ limit |", rule += "---:|---:|";
        for (const std::string &build : given[1]) {
            const std::string name = build.substr(0, build.find('='));
            head += " " + name + " | ÷ limit |", rule += "---:|---:|";
        }
        if (each)
            head += " beyond the codec, µs |", rule += "---:|";
    }
    std::printf("%s\n%s\n", head.c_str(), rule.c_str());
    const std::string original = scratch + "/original", packed = scratch + "/packed", target = scratch + "/target";
    Buffer copyBuffer(1 << 20);
    for (const std::string &choice : given[2]) {
        const std::string name = choice.substr(0, choice.find(':'));
        const int level = choice.find(':') == std::string::npos ? -1 : std::atoi(choice.substr(choice.find(':') + 1).c_str());
        const int standard = levels::find(name)->standard;
        level >= 0 ? ::setenv("BREVIMETER_LEVEL", std::to_string(level).c_str(), 1) : ::unsetenv("BREVIMETER_LEVEL");
        const Codec &codec = all.at(name);
        std::vector<Build> builds;
        for (const std::string &build : given[1]) {
            const std::string folder = build.substr(build.find('=') + 1);
            const std::string file = folder + (name == "zstd" ? "/libnorvik.so" : "/references/" + name + "/libnorvik.so");
            const std::optional<EntryPoints> entries = entryPoints(file);
            if (!entries)
                return 1;
            builds.push_back({build.substr(0, build.find('=')), (*entries)[0], (*entries)[1]});
        }
        for (const std::string &setText : given[0]) {
            if (&setText == &given[0][0])
                continue;
            const std::string set = setText.substr(0, setText.find('='));
            Figures sum;
            sum.ours[0].assign(builds.size(), 0), sum.ours[1].assign(builds.size(), 0);
            for (const std::string &file : split(setText.substr(setText.find('=') + 1))) {
                const std::string content = readAll(file);
                writeAll(original, content.data(), content.size());
                Buffer out(content.size() * 2 + (1 << 20), 1), back(content.size() + 1, 1);
                std::string staged(content.size(), '\1'); // what "in turn" reads the source into
                std::size_t inTurnMade[2] = {};
                Buffer stagedPack(out.size(), 1), stagedBack(back.size(), 1), stagedIn(out.size(), 1);
                const int at = level >= 0 ? level : standard;
                const std::size_t size = codec.pack(content, out, at);
                writeAll(packed, out.data(), size);
                Figures best;
                best.bytes = double(content.size()), best.packed = double(size);
                best.memory[0] = best.memory[1] = best.copy = best.inTurn[0] = best.inTurn[1] = 1e300;
                best.ours[0].assign(builds.size(), 1e300), best.ours[1].assign(builds.size(), 1e300);
                const auto call = [&](Entry entry, const std::string &from) {
                    ::unlink(target.c_str());
                    std::string a = from, b = target;
                    return seconds([&] {
                        if (entry(a.data(), b.data()) != 0)
                            std::exit(1);
                    });
                };
                std::vector<std::pair<double *, std::function<double()>>> contenders{
                    {&best.memory[0], [&] { return seconds([&] { codec.pack(content, out, at); }); }},
                    {&best.memory[1], [&] { return seconds([&] { codec.unpack(out, size, back); }); }},
                    {&best.copy, [&] { ::unlink(target.c_str()); return seconds([&] { copyFile(original, target, copyBuffer); }); }},
                    {&best.inTurn[0], [&] {
                         ::unlink(target.c_str());
                         return seconds([&] {
                             readInto(original, staged.data(), staged.size());
                             inTurnMade[0] = codec.pack(staged, stagedPack, at);
                             writeNew(target, stagedPack.data(), inTurnMade[0]);
                         });
                     }},
                    {&best.inTurn[1], [&] {
                         ::unlink(target.c_str());
                         return seconds([&] {
                             readInto(packed, stagedIn.data(), size);
                             inTurnMade[1] = codec.unpack(stagedIn, size, stagedBack);
                             writeNew(target, stagedBack.data(), inTurnMade[1]);
                         });
                     }}};
                for (std::size_t b = 0; b < builds.size(); ++b) {
                    contenders.push_back({&best.ours[0][b], [&, b] { return call(builds[b].pack, original); }});
                    contenders.push_back({&best.ours[1][b], [&, b] { return call(builds[b].unpack, packed); }});
                }
                // One uncounted call each first; then the passes, each
                // contender's calls back to back, as a sweep makes them.
                for (int pass = 0; pass < passes; ++pass)
                    for (auto &[figure, contender] : contenders)
                        for (int run = pass == 0 ? -1 : 0; run < runs; ++run)
                            if (const double value = contender(); run >= 0)
                                *figure = std::min(*figure, value);
                // The plain program's output as well: the same bytes as the in-memory call's, each way.
                const bool inTurnRight = inTurnMade[0] == size && std::memcmp(stagedPack.data(), out.data(), size) == 0
                                         && inTurnMade[1] == content.size()
                                         && std::memcmp(stagedBack.data(), content.data(), content.size()) == 0;
                if (readAll(target) != content || !inTurnRight
                    || (name != "copy" && std::memcmp(back.data(), content.data(), content.size()) != 0)) {
                    std::fprintf(stderr, "%s: %s did not come back\n", choice.c_str(), file.c_str());
                    return 1;
                }
                if (each)
                    print(choice, set, file.substr(file.rfind('/') + 1), best, true, "");
                sum.bytes += best.bytes, sum.packed += best.packed, sum.copy += best.copy;
                for (int way = 0; way < 2; ++way) {
                    sum.memory[way] += best.memory[way];
                    sum.inTurn[way] += best.inTurn[way];
                    sum.limits[way] += best.limit(way);
                    for (std::size_t b = 0; b < builds.size(); ++b)
                        sum.ours[way][b] += best.ours[way][b];
                }
            }
            print(choice, set, "summed", sum, each, "**");
        }
    }
    for (const std::string &file : {original, packed, target})
        ::unlink(file.c_str());
    ::rmdir(scratch.c_str());
    return 0;
}
