// A sweep's lines as a table for a terminal, as CSV, or as JSON.
//
// CSV and JSON have the same columns and keys in the same order, every figure
// at full precision: library, file, size, compressed, ratio, compress_s_min,
// compress_s_median, decompress_s_min, decompress_s_median, compress_mb_s,
// decompress_mb_s, cpu_s, peak_rss_mib, status, label, compress_s_max,
// decompress_s_max, compress_cpu_s, decompress_cpu_s, compress_peak_mib,
// decompress_peak_mib, compress_faults, decompress_faults. Sizes are in bytes
// and times in seconds; a figure a line does not have is empty (CSV) or null
// (JSON). Text in CSV is always quoted. File names keep their bytes in CSV; in
// JSON a byte that is not UTF-8 is the escape \udcXX. CSV is the lines alone;
// JSON is an object: "rows" (the lines), "machine", "date", "version" and
// "options". The table, for people, shows names as given with what a terminal
// would act on escaped, speeds in MB/s and times in ms, and ends with the
// machine, the date and the version.
#pragma once

#include "Row.h"

#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

enum class ReportFormat { Table, Csv, Json };

// Where and when a report was made, and with what options.
struct Provenance {
    QString machine, date, version;
    std::vector<std::pair<QByteArray, QByteArray>> options; // key and JSON value, in order
};

// The line a table and a chart end with.
QString footer(const Provenance &made);

QByteArray report(const std::vector<Line> &lines, ReportFormat format, const Provenance &made);

// Text as CSV writes it: always in quotes, a quote doubled.
QByteArray csvText(const QByteArray &text);

// Rows of cells as columns two spaces apart, each column as wide as its
// widest cell: left-aligned where `left` says, else right-aligned; no line
// ends in spaces. The widths, when asked for, are each column's.
QString aligned(const std::vector<QStringList> &rows, const std::vector<bool> &left,
                std::vector<qsizetype> *widths = nullptr);
