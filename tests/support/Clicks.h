// The two buttons as the window wires them: the paths typed into the fields,
// then the action, with any failure reported and the program going on.
#pragma once

#include "runs/CompressRun.h"
#include "runs/DecompressRun.h"
#include "support/FakeWindow.h"
#include "window/ReportFailures.h"

#include <string>

class Clock;
class Module1;

inline void clickCompress(FakeWindow &window, Module1 &library, Clock &clock, const std::string &source,
                          const std::string &dest)
{
    window.source = QString::fromStdString(source);
    window.dest = QString::fromStdString(dest);
    reportFailures(window, [&] { CompressBtn_Click(window, library, clock); });
}

inline void clickDecompress(FakeWindow &window, Module1 &library, const std::string &source,
                            const std::string &dest)
{
    window.source = QString::fromStdString(source);
    window.dest = QString::fromStdString(dest);
    reportFailures(window, [&] { DecompressBtn_Click(window, library); });
}
