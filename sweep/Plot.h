// A chart, as an SVG file, of compression ratio against speed, compressing
// and decompressing side by side: a dot for each library on each file and a
// diamond for each library over all the files, every mark labelled (by a
// number keyed to a list below where its label would cover another). An axis
// whose range passes ten times is logarithmic. Lines that did not go through
// are left out. The chart ends with the machine, the date and the version.
#pragma once

#include "Report.h"
#include "ReportLine.h"

#include <QString>
#include <vector>

// False, after saying why on standard error, when the file cannot be written.
bool plot(const std::vector<ReportLine> &lines, const QString &file, const Provenance &made);
