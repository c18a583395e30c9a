#include "Worker.h"

#include "Clock.h"
#include "Module1.h"
#include "RunError.h"

#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ctime>
#include <sys/resource.h>
#if defined(__linux__)
#  include <sys/prctl.h>
#endif

namespace {

// CPU time of every thread of this process.
std::chrono::nanoseconds cpuNow()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

template <typename... Values>
void say(const char *format, Values... values)
{
    std::printf(format, values...);
    std::fflush(stdout);
}

// Byte for byte, through small buffers of its own: a check between two timed
// calls must not leave the heap other than it found it.
bool sameContent(const QString &a, const QString &b)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> first(std::fopen(QFile::encodeName(a), "rb"), std::fclose),
        second(std::fopen(QFile::encodeName(b), "rb"), std::fclose);
    char x[16384], y[16384];
    for (std::size_t n = 1; n > 0;) {
        if (!first || !second || (n = std::fread(x, 1, sizeof x, first.get())) != std::fread(y, 1, sizeof y, second.get())
            || std::memcmp(x, y, n) != 0)
            return false;
    }
    return std::feof(first.get()) && std::feof(second.get());
}

} // namespace

int runWorker(const QStringList &arguments)
{
#if defined(__linux__)
    prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the sweep
#endif
    std::signal(SIGXFSZ, SIG_IGN);
    const QString source = arguments.at(1), folder = arguments.at(2);
    const QString outputs[] = {folder + QStringLiteral("/packed"), folder + QStringLiteral("/unpacked")};
    const int runs = arguments.at(3).toInt();
    Module1 library(arguments.at(0));
    try {
        library.load();
    } catch (const RunError &error) {
        say("failed %s\n", qPrintable(error.description()));
        return 0;
    }
    MonotonicClock clock;
    for (const bool compress : {true, false}) {
        for (int run = 1; run <= runs; ++run) {
            QString from = compress ? source : outputs[0], to = outputs[compress ? 0 : 1];
            QFile::remove(to);
            say("call %s %d\n", compress ? "compress" : "decompress", run);
            const std::chrono::nanoseconds cpu = cpuNow();
            // The window's own timed region: the call, and the path conversions around it.
            const std::chrono::nanoseconds wall = timed(clock, [&] {
                compress ? library.compress_file(from, to) : library.decompress_file(from, to);
            });
            say("took %lld %lld\n", static_cast<long long>(wall.count()), static_cast<long long>((cpuNow() - cpu).count()));
            if (!QFileInfo(outputs[compress ? 0 : 1]).isFile()) {
                say("failed the library left no output\n");
                return 0;
            }
            if (!compress && !sameContent(source, outputs[1])) {
                say("mismatch %d\n", run);
                return 0;
            }
        }
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    say("size %lld\npeak %ld\n", static_cast<long long>(QFileInfo(outputs[0]).size()), usage.ru_maxrss);
    return 0;
}
