// A chart, as an SVG file, of compression ratio against compress speed: a dot
// for each library on each file, and a diamond for each library over all the
// files, labelled where the labels fit. Rows that did not go through are left out.
#pragma once

#include "Row.h"

#include <QString>
#include <vector>

// False, after saying why on standard error, when the file cannot be written.
bool plot(const std::vector<Row> &rows, const QString &file);
