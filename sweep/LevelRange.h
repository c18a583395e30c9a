// Levels in one argument: "zstd:1-19", "zstd:1,3,19", "xz:0-9", "fast=lz4:1,9"
// stand for one library for each level, each labelled as it would be given
// alone ("zstd:1" ..., "fast:1", "fast:9").
#pragma once

#include <QString>
#include <QStringList>
#include <variant>

// What `given` stands for, one library a word ("[LABEL=]NAME:LEVEL"), or
// itself where it names one level or none; why not, as a sentence, for a
// range that runs backwards, a level past any a library has, or more levels
// than MostLevels. Whether NAME is a library with levels is the
// caller's to know.
std::variant<QStringList, QString> expandedLevels(const QString &given);

// The most levels one argument may stand for (zstd has 131,094).
constexpr long long MostLevels = 1000;
