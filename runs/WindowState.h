// What the handlers see of Form1: the two member strings that carry a run's paths
// into and out of the library, and the few operations they perform on the window.
// The handlers know nothing else of the window, so tests give them a fake.
#pragma once

#include <QString>

enum class PathField { SourceFile, DestFile };
enum class StatisticsRow { OrigSize, CompSize, CompTime, CompPct };

// The application-wide mouse pointer, by the values the program has always used.
enum class MousePointer { Default = 0, Hourglass = 11 };

class WindowState {
public:
    virtual ~WindowState() = default;

    QString SourcePath;
    QString DestPath;

    // The field's text exactly as the field holds it.
    virtual QString text(PathField field) const = 0;
    // Replaces the field's whole text.
    virtual void setText(PathField field, const QString &text) = 0;
    // Draws the field with its current text before returning.
    virtual void repaintNow(PathField field) = 0;
    // Replaces the value shown in one row of the statistics box.
    virtual void setCaption(StatisticsRow row, const QString &caption) = 0;
    // Takes effect over every window of the program at once.
    virtual void setPointer(MousePointer pointer) = 0;
    // Tells the user what went wrong; returns once the user has read it.
    virtual void showError(const QString &description) = 0;
};
