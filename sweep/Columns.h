// The columns of a report, in order: one table that every writer and reader
// of the report takes them from. CSV and JSON have the same columns in the
// same order, every figure at full precision; sizes are in bytes and times
// in seconds; a figure a line does not have is empty (CSV) or null (JSON).
#pragma once

#include "ReportLine.h"

#include <QByteArray>
#include <optional>
#include <span>

enum class Format {
    Text,   // UTF-8
    Name,   // a file name: bytes as the system gives them
    Bytes,  // a whole number of bytes
    Count,  // a whole number
    Figure, // a number
    Words,  // text: words a space apart
};

// A value as it is written, or nothing.
struct Cell {
    std::optional<QByteArray> value;
    Format format;
};

struct Column {
    const char *name;
    Format format;
    Cell (*value)(const ReportLine &line);
};

std::span<const Column> columns();

// A cell as JSON writes it.
QByteArray jsonOfCell(const Cell &cell);

// The shortest text that reads back as the same number.
QByteArray shortest(double value);
