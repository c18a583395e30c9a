// A sweep's rows as an aligned table for a terminal, as CSV, or as JSON (an
// array of objects, one a row), with the same columns and keys in the same order:
// library, file, size, compressed, ratio, compress_s_min, compress_s_median,
// decompress_s_min, decompress_s_median, compress_mb_s, decompress_mb_s,
// cpu_s, peak_rss_mib, status. Sizes are in bytes and times in seconds to the
// microsecond; a figure a row does not have is empty (CSV), null (JSON) or "-".
// Text in CSV is always quoted. File names keep their bytes in CSV; in JSON a
// byte that is not UTF-8 is the escape \udcXX; in the table, what a terminal
// would act on is escaped.
#pragma once

#include "Row.h"

#include <QByteArray>
#include <vector>

enum class ReportFormat { Table, Csv, Json };

QByteArray report(const std::vector<Row> &rows, ReportFormat format);
