// The window's state without a window, and a clock in which only the library
// takes time: a call takes `callTakes`, and any window operation an hour, so
// the elapsed time a run shows is exact only when the clock's two readings
// enclose the library call and nothing else.
#pragma once

#include "Clock.h"
#include "CompressRun.h"
#include "DecompressRun.h"
#include "ReportFailures.h"
#include "WindowState.h"

#include <QStringList>
#include <map>
#include <cstdlib>
#include <string>
#include <vector>

class FakeWindow : public WindowState, public Clock {
public:
    QString fields[2]; // SourceFile, DestFile
    std::map<StatisticsRow, QString> captions;
    MousePointer pointer = MousePointer::Default;
    int repaints = 0;
    QStringList errors;
    // What the library was called with, and what the window showed meanwhile.
    struct Call {
        std::string entry, source, target;
        MousePointer pointer;
        int repaints;
    };
    std::vector<Call> calls;
    std::chrono::nanoseconds callTakes{}, time{};

    QString text(PathField field) const override { return fields[int(field)]; }
    void setText(PathField field, const QString &text) override { fields[int(field)] = text, time += std::chrono::hours(1); }
    void repaintNow(PathField) override { ++repaints, time += std::chrono::hours(1); }
    void setCaption(StatisticsRow row, const QString &caption) override { captions[row] = caption, time += std::chrono::hours(1); }
    void setPointer(MousePointer value) override { pointer = value, time += std::chrono::hours(1); }
    void showError(const QString &description) override { errors << description; }
    std::chrono::nanoseconds now() override { return time; }

    // From inside a stand-in library.
    void libraryCalled(const char *entry, const char *source, const char *target)
    {
        calls.push_back({entry, source, target, pointer, repaints});
        time += callTakes;
    }

    // As the window's buttons run the actions, with these two paths typed in.
    void click(bool compress, Module1 &library, const QString &source, const QString &dest)
    {
        fields[0] = source, fields[1] = dest;
        reportFailures(*this, [&] {
            compress ? CompressBtn_Click(*this, library, *this) : DecompressBtn_Click(*this, library);
        });
    }

    QString caption(StatisticsRow row) const { return captions.count(row) ? captions.at(row) : QString(); }
};
