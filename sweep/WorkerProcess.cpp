#include "WorkerProcess.h"

#include "Protocol.h"

#include <QFile>
#include <QProcessEnvironment>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A pipe whose two ends sit above the descriptors the worker is given, so
// that placing them never finds one already in its place.
bool pipeAbove(int ends[2])
{
    int made[2];
    if (::pipe2(made, O_CLOEXEC) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        ends[i] = ::fcntl(made[i], F_DUPFD_CLOEXEC, 10);
        ::close(made[i]);
    }
    return ends[0] >= 0 && ends[1] >= 0;
}

} // namespace

WorkerProcess::WorkerProcess(const QString &program, const QStringList &arguments, const QStringList &environment)
{
    int commands[2] = {-1, -1}, reports[2] = {-1, -1};
    if (!pipeAbove(commands) || !pipeAbove(reports)) {
        for (int fd : {commands[0], commands[1], reports[0], reports[1]})
            if (fd >= 0)
                ::close(fd);
        return;
    }
    std::vector<QByteArray> words{QFile::encodeName(program)}, variables;
    for (const QString &argument : arguments)
        words.push_back(QFile::encodeName(argument));
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : environment)
        all.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    for (const QString &variable : all.toStringList())
        variables.push_back(variable.toLocal8Bit());
    std::vector<char *> argv, envp;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    for (QByteArray &variable : variables)
        envp.push_back(variable.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, commands[0], worker::CommandChannel);
    posix_spawn_file_actions_adddup2(&actions, reports[1], worker::ReportChannel);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    // Nothing else the sweep was given reaches the library, even what was not opened to close on exec.
    posix_spawn_file_actions_addclosefrom_np(&actions, worker::ReportChannel + 1);
#endif
    // The worker starts with the signals as a program expects them, not as the sweep keeps them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all_signals;
    sigemptyset(&none);
    sigemptyset(&all_signals);
    for (int number : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGXFSZ})
        sigaddset(&all_signals, number);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all_signals);
    // A process group of its own, which the processes its library starts join:
    // a worker that is ended takes them with it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    const int failed = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(commands[0]);
    ::close(reports[1]);
    commands_ = commands[1];
    reports_ = reports[0];
    if (failed != 0) {
        pid_ = -1;
        errno = failed;
    }
}

WorkerProcess::~WorkerProcess()
{
    if (commands_ >= 0)
        ::close(commands_);
    if (pid_ > 0 && !status_) {
        // It ends once its commands do; one that does not is ended.
        for (int tries = 0; tries < 200 && !status_; ++tries) {
            reap(false);
            if (!status_)
                ::usleep(5000);
        }
        if (!status_)
            kill();
    }
    if (reports_ >= 0)
        ::close(reports_);
}

bool WorkerProcess::send(const QByteArray &line)
{
    const QByteArray whole = line + '\n';
    for (qsizetype done = 0; done < whole.size();) {
        const ssize_t n = ::write(commands_, whole.constData() + done, std::size_t(whole.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

std::optional<QByteArray> WorkerProcess::next(const QDeadlineTimer &deadline)
{
    for (;;) {
        const qsizetype end = buffered_.indexOf('\n');
        if (end >= 0) {
            const QByteArray line = buffered_.left(end);
            buffered_.remove(0, end + 1);
            return line;
        }
        if (reports_ < 0) {
            silence_ = Silence::Ended;
            return std::nullopt;
        }
        pollfd ready{reports_, POLLIN, 0};
        const qint64 left = deadline.remainingTime();
        // In slices, so that a worker that died while a process it started
        // still holds the channel open is seen to have ended.
        const int polled = ::poll(&ready, 1, int(left < 0 ? 500 : std::min<qint64>(left, 500)));
        if (polled < 0 && errno == EINTR) {
            silence_ = Silence::Interrupted; // the sweep looks at it
            return std::nullopt;
        }
        if (polled == 0) {
            reap(false);
            if (status_) {
                silence_ = Silence::Ended;
                return std::nullopt;
            }
            if (deadline.hasExpired()) {
                silence_ = Silence::TimedOut;
                return std::nullopt;
            }
            continue;
        }
        char chunk[4096];
        const ssize_t n = ::read(reports_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) { // every writer has closed it: the worker ended
            ::close(reports_);
            reports_ = -1;
            silence_ = Silence::Ended;
            return std::nullopt;
        }
        buffered_.append(chunk, n);
    }
}

void WorkerProcess::kill()
{
    if (pid_ > 0 && !status_) {
        ::kill(-pid_, SIGKILL); // not yet reaped, so the group is still the worker's
        reap(true);
    }
}

QString WorkerProcess::ending()
{
    reap(true);
    if (!status_)
        return QStringLiteral("was never started");
    return WIFSIGNALED(*status_) ? QStringLiteral("ended by a signal") : QStringLiteral("exited with status %1").arg(WEXITSTATUS(*status_));
}

void WorkerProcess::reap(bool wait)
{
    if (pid_ <= 0 || status_)
        return;
    int status = 0;
    pid_t got;
    while ((got = ::waitpid(pid_, &status, wait ? 0 : WNOHANG)) < 0 && errno == EINTR)
        ;
    if (got == pid_)
        status_ = status;
}
