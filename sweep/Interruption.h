// Ctrl+C, SIGTERM and SIGHUP end a sweep cleanly: the running worker and
// the processes its library started are killed at once and its row dropped,
// the scratch folder goes, the rows measured so far are written, and the
// program then ends by the same signal.
#pragma once

#include <sys/types.h>

namespace Interruption {

void catchSignals();
// The worker to kill on a signal, or 0 for none.
void setWorker(pid_t worker);
// The signal that arrived, or 0.
int signal();
// Ends the program by the signal that arrived, if one did.
void endIfInterrupted();

} // namespace Interruption
