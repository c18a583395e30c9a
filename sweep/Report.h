// A sweep's report: its measurements and where, when and how they were made,
// as a table for a terminal, as CSV, or as JSON, which it also reads back.
//
// CSV is the lines alone, a header first, text always quoted (see
// Columns.h). JSON is an object: "rows", each with the columns, whether it is
// a total, and the samples of a measurement, every timed call's figures;
// "machine", "date", "version", "options" (what makes the shards of a sweep
// shards of one sweep share), "files" (each file's name, size and SHA-256 digest) and
// "complete" (whether the sweep ran to its end). Names keep their bytes: as
// they are in CSV, with \udcXX for a byte that is not UTF-8 in JSON. The
// table, for people, shows names as given with what a terminal would act on
// escaped, speeds in MB/s and times in ms, and ends with the machine, the
// date and the version.
#pragma once

#include "Measurement.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <utility>
#include <variant>
#include <vector>

enum class ReportFormat { Table, Csv, Json };

struct FileFacts {
    QByteArray name;
    unsigned long long size = 0;
    QByteArray sha256; // in hexadecimal

    bool operator==(const FileFacts &) const = default;
};

// Where and when a report was made, with what options, on what files.
struct Provenance {
    QString machine, date, version;
    std::vector<std::pair<QString, QJsonValue>> options; // in order
    std::vector<FileFacts> files;
    bool complete = true; // the sweep ran to its end
};

struct Report {
    std::vector<Measurement> measurements;
    Provenance made;
};

QByteArray written(const Report &report, ReportFormat format);

// A JSON report read back, every figure checked: finite, not negative, sizes
// and counts whole, and each line's figures those its samples give. Why not,
// as a sentence, where the text is no such report.
std::variant<Report, QString> readReport(const QByteArray &json);

// The line a table and a chart end with.
QString footer(const Provenance &made);

// Text as CSV writes it: always in quotes, a quote doubled.
QByteArray csvText(const QByteArray &text);

// Rows of cells as columns two spaces apart, each column as wide as its
// widest cell: left-aligned where `left` says, else right-aligned; no line
// ends in spaces. The widths, when asked for, are each column's.
QString aligned(const std::vector<QStringList> &rows, const std::vector<bool> &left,
                std::vector<qsizetype> *widths = nullptr);
