// A sweep's rows as an aligned table for a terminal, as CSV, or as JSON (an
// array of objects, one a row), with the same columns and keys in the same order:
// library, file, size, compressed, ratio, compress_s_min, compress_s_median,
// decompress_s_min, decompress_s_median, compress_mb_s, decompress_mb_s,
// cpu_s, peak_rss_mib, status. Sizes are in bytes and times in seconds to the
// microsecond; a figure a row does not have is empty (CSV), null (JSON) or "-".
// Text in CSV is always quoted.
#pragma once

#include "Row.h"

#include <QString>
#include <vector>

enum class ReportFormat { Table, Csv, Json };

QString report(const std::vector<Row> &rows, ReportFormat format);
