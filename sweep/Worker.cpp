#include "Worker.h"

#include "Clock.h"
#include "FileStamp.h"
#include "Module1.h"
#include "PathBuffer.h"
#include "RunError.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__linux__)
#  include <sys/prctl.h>
#endif

namespace {

// Where the worker reports to the sweep: the standard output the sweep gave
// it. The library gets standard error in its place, so nothing it prints can
// be taken for the worker's report.
int reportChannel = -1;

void takeStandardOutput()
{
    reportChannel = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

template <typename... Values>
void say(const char *format, Values... values)
{
    ::dprintf(reportChannel, format, values...);
}

// CPU time of every thread of this process.
std::chrono::nanoseconds cpuNow()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Page faults so far, every thread of this process, minor and major.
long faultsNow()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// A figure from /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 without one.
long statusKiB(const char *field)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> status(std::fopen("/proc/self/status", "re"), std::fclose);
    char line[256];
    const std::size_t length = std::strlen(field);
    while (status && std::fgets(line, sizeof line, status.get()))
        if (std::strncmp(line, field, length) == 0 && line[length] == ':')
            return std::strtol(line + length + 1, nullptr, 10);
    return -1;
}

// The process's peak resident memory so far, in KiB.
long peakSoFar()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return std::max(usage.ru_maxrss, statusKiB("VmHWM"));
}

// The most memory a stretch of calls held above what the process held before
// them: the kernel's high-water mark is set back to the present at the start
// (which also sets back the peak getrusage reports, so the process's own peak
// is kept here). Where it cannot be, the process's peak so far stands in,
// which can only be higher.
class PeakAbove {
public:
    PeakAbove() : before_(statusKiB("VmRSS")), earlier_(peakSoFar())
    {
        const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
        reset_ = fd >= 0 && ::write(fd, "5", 1) == 1;
        if (fd >= 0)
            ::close(fd);
    }
    long kiB() const { return std::max(0L, (reset_ ? statusKiB("VmHWM") : peakSoFar()) - std::max(0L, before_)); }
    // The process's peak, from its start.
    long processKiB() const { return std::max(earlier_, peakSoFar()); }

private:
    long before_, earlier_;
    bool reset_ = false;
};

// Byte for byte, through small buffers of its own: a check between two timed
// calls must not leave the heap other than it found it.
bool sameContent(const QByteArray &a, const QString &b)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> first(std::fopen(a.constData(), "rb"), std::fclose),
        second(std::fopen(QFile::encodeName(b), "rb"), std::fclose);
    char x[16384], y[16384];
    for (std::size_t n = 1; n > 0;) {
        if (!first || !second || (n = std::fread(x, 1, sizeof x, first.get())) != std::fread(y, 1, sizeof y, second.get())
            || std::memcmp(x, y, n) != 0)
            return false;
    }
    return std::feof(first.get()) && std::feof(second.get());
}

// A copy of the user's file in the worker's folder, under the same name where
// the system's encoding carries it: the library under test only ever gets the
// copy. Nothing when it cannot be made.
std::optional<QString> copyOf(const QByteArray &original, const QString &folder)
{
    namespace fs = std::filesystem;
    const fs::path name = fs::path(original.toStdString()).filename();
    const QString decoded = decodePath(QByteArray::fromStdString(name.string()));
    const QString copy = folder + QStringLiteral("/in/")
                         + (encodePath(decoded) == QByteArray::fromStdString(name.string()) ? decoded : QStringLiteral("file"));
    std::error_code error;
    fs::create_directory(QFile::encodeName(folder + QStringLiteral("/in")).toStdString(), error);
    if (error || !fs::copy_file(original.toStdString(), QFile::encodeName(copy).toStdString(), error))
        return std::nullopt;
    return copy;
}

} // namespace

int runWorker(const QStringList &arguments)
{
#if defined(__linux__)
    prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the sweep
#endif
    std::signal(SIGXFSZ, SIG_IGN);
    takeStandardOutput();
    const QByteArray original = QByteArray::fromHex(arguments.at(1).toLatin1());
    const QString folder = arguments.at(2);
    const int runs = arguments.at(3).toInt(), warmup = arguments.at(4).toInt();
    const std::chrono::nanoseconds least(static_cast<long long>(arguments.at(5).toDouble() * 1e9));
    const std::optional<QString> source = copyOf(original, folder);
    if (!source) {
        say("failed the file could not be copied into the scratch folder\n");
        return 0;
    }
    const QString outputs[] = {folder + QStringLiteral("/packed"), folder + QStringLiteral("/unpacked")};
    Module1 library(arguments.at(0));
    try {
        library.load();
    } catch (const RunError &error) {
        say("failed %s\n", qPrintable(error.description()));
        return 0;
    }
    say("loaded %s\n", QFile::encodeName(library.loadedFile()).constData());
    MonotonicClock clock;
    long processPeak = 0;
    for (const bool compress : {true, false}) {
        const PeakAbove peak;
        std::chrono::nanoseconds spent{0};
        for (int call = 1 - warmup; call <= runs || spent < least; ++call) {
            const int run = std::max(call, 0);
            const QString &input = compress ? *source : outputs[0], &output = outputs[compress ? 0 : 1];
            // The library may rewrite the names it is given; the checks use the real ones.
            QString from = input, to = output;
            QFile::remove(output);
            const std::optional<FileStamp> before = stampOf(input);
            say("call %s %d\n", compress ? "compress" : "decompress", run);
            const long faults = faultsNow();
            const std::chrono::nanoseconds cpu = cpuNow();
            // The window's own timed region: the call, and the path conversions around it.
            const std::chrono::nanoseconds wall = timed(clock, [&] {
                compress ? library.compress_file(from, to) : library.decompress_file(from, to);
            });
            const std::chrono::nanoseconds used = cpuNow() - cpu;
            if (run > 0) {
                say("took %lld %lld %ld\n", static_cast<long long>(wall.count()), static_cast<long long>(used.count()),
                    faultsNow() - faults);
                spent += wall;
            }
            if (stampOf(input) != before) {
                say("failed the library changed or removed its source file\n");
                return 0;
            }
            if (!QFileInfo(output).isFile()) {
                say("failed the library left no output\n");
                return 0;
            }
            if (!compress && !sameContent(original, outputs[1])) {
                say("mismatch %d\n", run);
                return 0;
            }
        }
        say("peak %s %ld\n", compress ? "compress" : "decompress", peak.kiB());
        processPeak = std::max(processPeak, peak.processKiB());
        if (compress)
            say("size %lld\n", static_cast<long long>(QFileInfo(outputs[0]).size()));
    }
    say("peak %ld\n", processPeak);
    return 0;
}
