// Two builds of a library on one file, call for call: A's call then B's, then
// B's then A's, and so on, a new target each call. On a shared machine whose
// pace moves for seconds at a time, the best call of each can come from
// different moments; a pair of calls made together sees the same one, so the
// median of B's time less A's says which is faster, and by how much.
//
//   paired_calls [--calls N] [--compress] SCRATCH FILE A=LIBRARY B=LIBRARY
//
// Decompressing, FILE is compressed by A first, and both decompress that.
// Compressing, each one's file is decompressed by the other, so that neither
// is timed on a format only it reads, and the sizes are shown. Prints each
// one's best and median call (and compressed size), and the median of B - A
// with its quartiles, in microseconds.
#include "bench_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Side {
    std::string name;
    Entry pack = nullptr, unpack = nullptr;
    std::vector<double> calls;
    long long packedSize = 0; // of its last compressed file
};

bool load(const std::string &given, Side &side)
{
    side.name = given.substr(0, given.find('='));
    if (given.find('=') == std::string::npos) {
        std::fprintf(stderr, "%s: NAME=LIBRARY\n", given.c_str());
        return false;
    }
    const std::optional<EntryPoints> entries = entryPoints(given.substr(given.find('=') + 1));
    if (entries)
        side.pack = (*entries)[0], side.unpack = (*entries)[1];
    return entries.has_value();
}

// Whether `path` holds exactly `content`, read into `buffer`, kept from call
// to call: a check that allocated would give the next call fresh pages.
bool holds(const std::string &path, const std::string &content, std::vector<char> &buffer)
{
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::size_t got = 0;
    for (ssize_t n = 1; in >= 0 && n > 0 && got < buffer.size(); got += std::size_t(std::max<ssize_t>(n, 0)))
        n = ::read(in, buffer.data() + got, buffer.size() - got);
    if (in >= 0)
        ::close(in);
    return in >= 0 && got == content.size() && std::memcmp(buffer.data(), content.data(), got) == 0;
}

long long fileSize(const std::string &path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<long long>(status.st_size) : -1;
}

// A folder of its own in SCRATCH and the files the calls use in it, gone at
// the end, whatever happened.
struct Folder {
    std::string path, original = path + "/original", packed = path + "/packed", target = path + "/target", back = path + "/back";
    ~Folder()
    {
        for (const std::string *file : {&original, &packed, &target, &back})
            ::unlink(file->c_str());
        ::rmdir(path.c_str());
    }
};

// The value at `fraction` of the way through, between neighbours where it falls between them.
double at(const std::vector<double> &sorted, double fraction)
{
    const double place = fraction * double(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(place);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (place - double(below)) * (sorted[above] - sorted[below]);
}

} // namespace

int main(int argc, char **argv)
{
    int calls = 100, arg = 1;
    bool compress = false;
    for (; arg < argc && argv[arg][0] == '-' && argv[arg][1] == '-'; ++arg) {
        if (!std::strcmp(argv[arg], "--compress"))
            compress = true;
        else if (arg + 1 < argc && !std::strcmp(argv[arg], "--calls"))
            calls = std::max(1, std::atoi(argv[++arg]));
    }
    Side sides[2];
    if (argc - arg != 4 || !load(argv[arg + 2], sides[0]) || !load(argv[arg + 3], sides[1])) {
        std::fprintf(stderr, "usage: paired_calls [--calls N] [--compress] SCRATCH FILE A=LIBRARY B=LIBRARY\n");
        return 2;
    }
    std::string folder = std::string(argv[arg]) + "/paired_calls-XXXXXX";
    if (!mkdtemp(folder.data())) {
        std::perror(argv[arg]);
        return 2;
    }
    Folder scratch{folder};
    std::string &original = scratch.original, &packed = scratch.packed, &target = scratch.target, &back = scratch.back;
    const std::string content = readAll(argv[arg + 1]);
    writeAll(original, content.data(), content.size());
    if (sides[0].pack(original.data(), packed.data()) != 0) {
        std::fprintf(stderr, "%s could not compress %s\n", sides[0].name.c_str(), argv[arg + 1]);
        return 1;
    }
    std::vector<double> differences;
    std::vector<char> check(content.size() + 1);
    // One uncounted pair first, to warm both.
    for (int pair = -1; pair < calls; ++pair) {
        double taken[2];
        for (int turn = 0; turn < 2; ++turn) {
            Side &side = sides[(pair & 1) ? 1 - turn : turn];
            ::unlink(target.c_str());
            std::string from = compress ? original : packed, to = target;
            int result = -1;
            const double took = seconds([&] { result = (compress ? side.pack : side.unpack)(from.data(), to.data()); });
            // Every call's output is checked, outside its time: compressed, by the other's way back.
            ::unlink(back.c_str());
            const Side &other = sides[1 - (&side - sides)];
            if (compress)
                side.packedSize = fileSize(target);
            if (result != 0 || (compress && other.unpack(to.data(), back.data()) != 0) || !holds(compress ? back : target, content, check)) {
                std::fprintf(stderr, "%s: %s did not come back\n", side.name.c_str(), argv[arg + 1]);
                return 1;
            }
            taken[&side - sides] = took * 1e6;
        }
        if (pair < 0)
            continue;
        sides[0].calls.push_back(taken[0]), sides[1].calls.push_back(taken[1]);
        differences.push_back(taken[1] - taken[0]);
    }
    for (Side &side : sides) {
        std::sort(side.calls.begin(), side.calls.end());
        std::printf("%s: best %.0f, median %.0f µs", side.name.c_str(), side.calls.front(), at(side.calls, 0.5));
        if (compress)
            std::printf(", %lld bytes", side.packedSize);
        std::printf(" | ");
    }
    std::sort(differences.begin(), differences.end());
    std::printf("%s - %s: median %+.0f µs (quartiles %+.0f, %+.0f) over %d pairs\n", sides[1].name.c_str(), sides[0].name.c_str(),
                at(differences, 0.5), at(differences, 0.25), at(differences, 0.75), calls);
    return 0;
}
