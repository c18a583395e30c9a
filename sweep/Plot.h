// The chart of a report as an SVG file: what Chart.h lays out, drawn, with a
// title, the libraries' colours, the key of the marks labelled by number, and
// the machine, the date and the version last.
#pragma once

#include "Report.h"
#include "ReportLine.h"

#include <QString>
#include <vector>

// False, after saying why on standard error, when the file cannot be written.
bool plot(const std::vector<ReportLine> &lines, const QString &file, const Provenance &made);
