// The processes a library starts. The worker adopts every one of them (a
// process whose parent ends comes to the worker, not to init), so that a
// call's end can tell whether the library left any running: what such a
// process does after the call returns is in no figure of the call.
#pragma once

namespace worker {

// Adopt the library's orphaned processes from now on.
void adoptOrphans();

// Ends the processes left after a call: those that already ended are
// reaped, so that their CPU time counts; those still running are killed.
// Whether any was still running.
bool endLeftovers();

} // namespace worker
