// brevimeter-bench-worker: one library, one direction, call after call as the
// sweep asks, in a process of its own, so that a library that crashes, exits
// or hangs takes only its own row with it, and so that what one process
// compressed is given back by another that never compressed it.
//
//   brevimeter-bench-worker compress|decompress LIBRARY
//
// Commands arrive on descriptor 3, the report leaves on descriptor 4 (see
// Protocol.h); standard output is standard error, so nothing a library prints
// reaches either.
#include "Channel.h"
#include "Children.h"
#include "Codecs.h"
#include "Library.h"
#include "Protocol.h"
#include "Usage.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

using namespace worker;

namespace {

std::optional<std::vector<char>> fromHex(const std::string &hex)
{
    if (hex.size() % 2 != 0)
        return std::nullopt;
    std::vector<char> bytes;
    for (std::size_t at = 0; at < hex.size(); at += 2) {
        const std::string pair = hex.substr(at, 2);
        char *end = nullptr;
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0')
            return std::nullopt;
        bytes.push_back(char(value));
    }
    return bytes;
}

std::string toHex(const std::string &bytes)
{
    static const char Digits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes)
        hex += {Digits[byte >> 4], Digits[byte & 15]};
    return hex;
}

long long count(std::chrono::nanoseconds time)
{
    return static_cast<long long>(time.count());
}

// One call, timed as the window times it: the path buffers made afresh, the
// call, and nothing else between the two readings of the clock.
void call(long long number, EntryPoint entry, const std::vector<char> &input, const std::vector<char> &output, pid_t worker)
{
    // The CPU clocks are read right inside the other counters and right
    // outside the wall clock, so that both times span the same stretch.
    const Counters before = countersNow();
    const std::chrono::nanoseconds cpu = processCpuNow(), thread = threadCpuNow();
    const auto start = std::chrono::steady_clock::now();
    std::vector<char> source(input), target(output);
    source.push_back('\0');
    target.push_back('\0');
    entry(source.data(), target.data());
    const auto end = std::chrono::steady_clock::now();
    const std::chrono::nanoseconds cpuAfter = processCpuNow(), threadAfter = threadCpuNow();
    if (::getpid() != worker) { // a child the library forked, back from the call
        say("forked %lld", number);
        ::_exit(0);
    }
    // The library's processes that ended count; one still running spoils the call.
    if (endLeftovers())
        say("left %lld", number);
    const Counters after = countersNow();
    say("took %lld %lld %lld %lld %lld %ld %ld", number, count(end - start), count(cpuAfter - cpu), count(threadAfter - thread),
        count(after.childCpu - before.childCpu), after.faults - before.faults, after.childFaults - before.childFaults);
}

} // namespace

int main(int argc, char *argv[])
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the sweep
    adoptOrphans();
    std::signal(SIGXFSZ, SIG_IGN);      // past a file-size limit a write fails, and the library says so
    if (argc != 3 || (std::strcmp(argv[1], "compress") != 0 && std::strcmp(argv[1], "decompress") != 0)) {
        std::fputs("usage: brevimeter-bench-worker compress|decompress LIBRARY (started by brevimeter-bench)\n", stderr);
        return 2;
    }
    // A program the library starts does not get the channels; a process it
    // forks does, to say that it returned from the call.
    for (int channel : {CommandChannel, ReportChannel})
        ::fcntl(channel, F_SETFD, FD_CLOEXEC);
    const bool compress = std::strcmp(argv[1], "compress") == 0;
    const pid_t self = ::getpid();
    const Library library(argv[2]);
    if (!library.usable()) {
        sayText("failed " + library.reason());
        return 0;
    }
    const long baseline = residentKiB();
    sayText("codecs " + loadedCodecs());
    sayText("loaded " + toHex(library.loadedFile()));

    std::optional<PeakAbove> peak;
    std::string line;
    line.reserve(1 << 12);
    while (nextCommand(line)) {
        if (line == "begin") {
            peak.emplace(baseline);
        } else if (line == "end" && peak) {
            say("peak %ld %ld %ld", peak->kiB(), PeakAbove::childKiB(), peak->processKiB());
            peak.reset();
        } else if (line.rfind("call ", 0) == 0) {
            char *end = nullptr;
            const long long number = std::strtoll(line.c_str() + 5, &end, 10);
            const std::size_t first = std::size_t(end - line.c_str()), second = line.find(' ', first + 1);
            if (*end != ' ' || second == std::string::npos)
                return 2;
            const auto input = fromHex(line.substr(first + 1, second - first - 1)), output = fromHex(line.substr(second + 1));
            if (!input || !output)
                return 2;
            call(number, library.entry(compress), *input, *output, self);
        } else {
            return 2;
        }
    }
    return 0;
}
