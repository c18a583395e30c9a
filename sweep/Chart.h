// Where everything of a chart goes: compression ratio against speed,
// compressing and decompressing side by side, a dot for each library on each
// file and a diamond for each library over all the files. Every mark is
// labelled beside it, by its name or, where that does not fit, by a number
// keyed to a list below the chart, or, where neither fits, in that list
// alone; no label lies over a mark or another label, and a diamond over
// another is drawn smaller, so that no total hides another. An axis whose
// range passes ten times is logarithmic. Lines that did not go through are
// left out.
#pragma once

#include "ReportLine.h"

#include <QFont>
#include <QRectF>
#include <QString>
#include <vector>

class QPaintDevice;

// A figure's place along an axis: logarithmic where the range passes ten
// times, else linear (from zero, for a ratio).
class Axis {
public:
    Axis(double low, double high, bool fromZero);
    double at(double value) const; // 0 to 1
    bool logarithmic() const { return log_; }
    std::vector<double> ticks() const;

private:
    bool log_;
    double low_ = 0, high_ = 1;
};

struct ChartPanel {
    QRectF area;
    Axis speed;
    bool compress;
};

struct ChartMark {
    int panel;       // 0 compressing, 1 decompressing
    QPointF at;
    double size;     // half its width
    int library;     // in the order the libraries come
    bool total;
    QString text;    // the file's name, or for a total the library's
};

struct ChartLabel {
    QRectF box;      // where its text goes
    QString text;
    bool total;      // of a total's mark: in the larger font
    int library;
    std::optional<QPointF> from; // a line to its mark, where it is not right beside it
};

struct Chart {
    double width = 0, height = 0;
    std::vector<ChartPanel> panels;
    Axis ratio{1, 10, true};
    std::vector<QString> libraries;
    std::vector<ChartMark> marks;   // dots first, then diamonds, larger ones first
    std::vector<ChartLabel> labels;
    std::vector<QString> key;       // the numbered labels, and the marks with none beside them
    qsizetype files = 0;
};

// Texts are measured as `device` draws them, in these fonts.
extern const QFont ChartSmall, ChartNormal, ChartTitle;

Chart chartOf(const std::vector<ReportLine> &lines, QPaintDevice *device);
