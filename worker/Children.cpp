#include "Children.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace worker {

namespace {

// Reaps every child that has ended; whether any is still running.
bool anyRunning()
{
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(-1, &status, WNOHANG);
        if (got > 0)
            continue;
        if (got < 0 && errno == EINTR)
            continue;
        return got == 0; // 0: children remain, none ended; -1 (ECHILD): none at all
    }
}

// Kills each running child of each of the worker's threads.
void killChildren()
{
    DIR *tasks = ::opendir("/proc/self/task");
    if (!tasks)
        return;
    while (const dirent *task = ::readdir(tasks)) {
        if (task->d_name[0] == '.')
            continue;
        std::ifstream children(std::string("/proc/self/task/") + task->d_name + "/children");
        for (long pid; children >> pid;)
            ::kill(pid_t(pid), SIGKILL);
    }
    ::closedir(tasks);
}

} // namespace

void adoptOrphans()
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

bool endLeftovers()
{
    if (!anyRunning())
        return false;
    // A killed process's own children come to the worker in turn, so the
    // worker never waits for one it has not killed: it kills, lets the
    // signals land, reaps what ended and looks again, for a second at most.
    for (int round = 0; round < 1000 && anyRunning(); ++round) {
        killChildren();
        ::usleep(1000);
    }
    return true;
}

} // namespace worker
