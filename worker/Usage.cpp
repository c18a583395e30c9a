#include "Usage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace worker {

namespace {

std::chrono::nanoseconds clockNow(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::chrono::nanoseconds cpuOf(const rusage &usage)
{
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// A figure from /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 without one.
// Read through a buffer on the stack: nothing here may touch the heap the
// library's calls share.
long statusKiB(const char *field)
{
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    char text[8192];
    const ssize_t n = fd < 0 ? -1 : ::read(fd, text, sizeof text - 1);
    if (fd >= 0)
        ::close(fd);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    const std::size_t length = std::strlen(field);
    for (const char *line = text; line && *line; line = std::strchr(line, '\n') ? std::strchr(line, '\n') + 1 : nullptr)
        if (std::strncmp(line, field, length) == 0 && line[length] == ':')
            return std::strtol(line + length + 1, nullptr, 10);
    return -1;
}

long peakSoFar()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return std::max(usage.ru_maxrss, statusKiB("VmHWM"));
}

} // namespace

std::chrono::nanoseconds processCpuNow()
{
    return clockNow(CLOCK_PROCESS_CPUTIME_ID);
}

std::chrono::nanoseconds threadCpuNow()
{
    return clockNow(CLOCK_THREAD_CPUTIME_ID);
}

Counters countersNow()
{
    rusage self {}, children {};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    return {cpuOf(children), self.ru_minflt + self.ru_majflt, children.ru_minflt + children.ru_majflt};
}

long residentKiB()
{
    return statusKiB("VmRSS");
}

PeakAbove::PeakAbove(long baseline)
    : baseline_(baseline)
{
    ::malloc_trim(0);
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    reset_ = fd >= 0 && ::write(fd, "5", 1) == 1;
    if (fd >= 0)
        ::close(fd);
}

long PeakAbove::kiB() const
{
    return std::max(0L, processKiB() - std::max(0L, baseline_));
}

long PeakAbove::processKiB() const
{
    return reset_ ? statusKiB("VmHWM") : peakSoFar();
}

long PeakAbove::childKiB()
{
    rusage children {};
    getrusage(RUSAGE_CHILDREN, &children);
    return children.ru_maxrss;
}

} // namespace worker
