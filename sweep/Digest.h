// What a report says of each file it measured, so that shards measured on
// other files under the same names are never joined.
#pragma once

#include "Report.h"

#include <optional>

// The file's size and the SHA-256 digest of its content; nothing when it
// cannot be read.
std::optional<FileFacts> factsOf(const QByteArray &file);
