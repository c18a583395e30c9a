#include "Progress.h"

#include <cstdio>
#include <unistd.h>

Progress::Progress()
    : terminal_(isatty(STDERR_FILENO) == 1)
{
}

Progress::~Progress()
{
    if (shown_)
        std::fputs("\r\033[K", stderr);
}

void Progress::show(const QString &text)
{
    if (!terminal_)
        return;
    std::fprintf(stderr, "\r\033[K%s", qPrintable(text));
    std::fflush(stderr);
    shown_ = true;
}
