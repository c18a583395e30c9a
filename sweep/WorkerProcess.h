// The sweep's side of one worker process (see worker/Protocol.h): started
// for one library and one direction, it takes commands and answers a line
// at a time until it is closed, killed, or ends by itself.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

class WorkerProcess {
public:
    // Starts `program` (the worker) with these arguments and, added to this
    // process's environment, these variables ("NAME=value"). Its standard
    // input is empty and its standard output is this process's standard
    // error, so nothing the library prints reaches the report.
    WorkerProcess(const QString &program, const QStringList &arguments, const QStringList &environment);
    // Closes its commands and waits for it to end, killing it if it does not soon.
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess &) = delete;
    WorkerProcess &operator=(const WorkerProcess &) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Sends one command line; false when the worker no longer listens.
    bool send(const QByteArray &line);
    // The next line it says, without its newline; nothing when it has
    // ended, the deadline passed first, or a signal arrived (silence() says which).
    enum class Silence { Ended, TimedOut, Interrupted };
    std::optional<QByteArray> next(const QDeadlineTimer &deadline);
    Silence silence() const { return silence_; }
    // Ends it at once.
    void kill();
    // Once it has ended: "exited with status N" or "ended by a signal".
    QString ending();

private:
    void reap(bool wait);

    pid_t pid_ = -1;
    int commands_ = -1, reports_ = -1;
    QByteArray buffered_;
    Silence silence_ = Silence::Ended;
    std::optional<int> status_;
};
