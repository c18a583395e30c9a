// The report as a table for a terminal: a heading line for each file, a row
// for each library under it, the totals last, then the provenance and a key.
#pragma once

#include "Report.h"
#include "ReportLine.h"

// At most this wide for names up to ShortName characters; longer names are
// shortened in the middle here, and only here.
constexpr qsizetype TableWidth = 100, ShortName = 24;

QByteArray table(const std::vector<ReportLine> &lines, const Provenance &made);

// `name` at most `width` characters: its middle given up for "…".
QString shortened(const QString &name, qsizetype width);
