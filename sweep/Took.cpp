#include "Took.h"

#include <QList>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Clocks read apart by this much may disagree.
constexpr std::chrono::microseconds Slack{100};

// A call that used other threads' CPU time beyond this share of its own did
// not run on the calling thread alone.
constexpr double OtherThreads = 0.05;

// What the worker does around a call beyond the call itself, on its main
// thread, reading the command and writing the report: at most this, and this
// share of the call.
constexpr std::chrono::microseconds AroundACall{500};
constexpr double AroundShare = 0.1;

// A file of /proc, open once and read again from its start as often as
// asked: each read is the kernel's account at that moment.
class Proc {
public:
    explicit Proc(const std::string &name) : fd_(::open(name.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~Proc()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Proc(const Proc &) = delete;
    Proc &operator=(const Proc &) = delete;
    explicit operator bool() const { return fd_ >= 0; }

    std::optional<QByteArray> read() const
    {
        char text[1024];
        const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
        return n > 0 ? std::optional(QByteArray(text, qsizetype(n))) : std::nullopt;
    }

private:
    int fd_;
};

} // namespace

std::optional<long long> whole(const QByteArray &word)
{
    bool ok = false;
    const long long value = word.toLongLong(&ok);
    return ok && value >= 0 ? std::optional(value) : std::nullopt;
}

std::optional<Took> tookFrom(const QByteArray &line, long long call)
{
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 8 || words[0] != "took" || whole(words[1]) != call)
        return std::nullopt;
    std::optional<long long> figures[6];
    for (int i = 0; i < 6; ++i)
        if (!(figures[i] = whole(words[i + 2])))
            return std::nullopt;
    const auto ns = [&](int i) { return std::chrono::nanoseconds(*figures[i]); };
    return Took{ns(0), ns(1), ns(2), ns(3), *figures[4], *figures[5]};
}

// The kernel brings a thread's count up to date when it stops running, and
// only at its ticks while it runs: read while the thread runs, the count may
// lag by a tick. So it is read once the thread waits, for a few
// milliseconds at most.
std::optional<std::chrono::nanoseconds> mainThreadCpu(pid_t worker)
{
    const std::string folder = "/proc/" + std::to_string(worker);
    Proc state(folder + "/stat"), stats(folder + "/schedstat");
    if (!state || !stats)
        return std::nullopt;
    // A worker that has just written its report blocks on its next read
    // within microseconds: the state is read again at once, not after a
    // sleep, which would cost more than the wait.
    const auto until = std::chrono::steady_clock::now() + 10ms;
    while (std::chrono::steady_clock::now() < until) {
        const std::optional<QByteArray> line = state.read();
        if (!line)
            return std::nullopt;
        const qsizetype name = line->lastIndexOf(')'); // the command name may hold anything
        if (name < 0 || name + 2 >= line->size())
            return std::nullopt;
        if (line->at(name + 2) != 'R') {
            const std::optional<QByteArray> counts = stats.read();
            bool ok = false;
            const long long ns = counts ? counts->split(' ').value(0).toLongLong(&ok) : 0;
            return ok ? std::optional(std::chrono::nanoseconds(ns)) : std::nullopt;
        }
        std::this_thread::yield();
    }
    return std::nullopt;
}

std::optional<QString> doubtAbout(const Took &took, std::chrono::nanoseconds seen,
                                  std::optional<std::chrono::nanoseconds> counted)
{
    if (took.wall > seen)
        return QStringLiteral("the worker reported a call longer than the sweep saw it take: its report is not its own");
    if (counted && (took.threadCpu > *counted + Slack
                    || took.threadCpu + AroundACall + AroundShare * *counted < *counted))
        return QStringLiteral("the worker reported CPU time other than its thread spent: its report is not its own");
    return std::nullopt;
}

bool onOneThread(const Took &took)
{
    return took.childCpu == 0ns && took.cpu - took.threadCpu <= OtherThreads * took.cpu + Slack;
}
