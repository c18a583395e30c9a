#include "Interruption.h"

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t arrived = 0;
volatile pid_t current = 0;

extern "C" void onSignal(int number)
{
    arrived = number;
    if (current > 0)
        ::kill(-current, SIGKILL); // the worker and what its library started
}

} // namespace

namespace Interruption {

void catchSignals()
{
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(number, onSignal);
}

void setWorker(pid_t worker)
{
    current = worker;
}

int signal()
{
    return arrived;
}

void endIfInterrupted()
{
    if (arrived == 0)
        return;
    std::signal(arrived, SIG_DFL);
    std::raise(arrived);
}

} // namespace Interruption
