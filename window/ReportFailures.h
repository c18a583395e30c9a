// How every handler meets a failure: the rest of the handler is abandoned, the
// pointer goes back to normal, the user reads the description, and the program
// goes on.
#pragma once

#include <functional>

class WindowState;

void reportFailures(WindowState &form, const std::function<void()> &handler);
