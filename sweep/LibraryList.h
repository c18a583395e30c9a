// --list-libraries: the shipped reference libraries.
#pragma once

#include "Report.h"

#include <QByteArray>

// A line each: name, levels, default level, file and what it is; as CSV
// with the columns name,levels,default_level,path,description; as JSON an
// array of objects with name, lowest_level, highest_level, default_level
// (null without levels), path (null where not installed) and description.
QByteArray libraryList(ReportFormat format);
