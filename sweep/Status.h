// How one library did on one file.
#pragma once

#include <QString>
#include <optional>

enum class RowStatus { Ok, Mismatch, Crashed, Timeout, Failed };

const char *statusName(RowStatus status);
std::optional<RowStatus> statusNamed(const QString &name);
