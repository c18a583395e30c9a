// The worker's two channels to the sweep: commands in, report lines out.
#pragma once

#include <cstdio>
#include <string>

namespace worker {

// The next command line, without its newline; false at the end of the
// commands (the sweep closed them, or went away).
bool nextCommand(std::string &line);

// One report line, written whole; false when the sweep no longer listens.
template <typename... Values>
bool say(const char *format, Values... values);

bool sayText(const std::string &line);

template <typename... Values>
bool say(const char *format, Values... values)
{
    char line[4096];
    const int n = std::snprintf(line, sizeof line, format, values...);
    return n >= 0 && sayText(std::string(line, std::size_t(n) < sizeof line ? std::size_t(n) : sizeof line - 1));
}

} // namespace worker
