// --list-libraries: the shipped reference libraries.
#pragma once

#include "Report.h"

#include <QByteArray>

// A line each: name, levels, default level, file and what it is; as CSV
// with the columns name,levels,default_level,path,description.
QByteArray libraryList(ReportFormat format);
