// The window's command line: which library it runs.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The library file for Module1: the default library's bare name, or what
// --library names (a library file, or a reference as NAME or NAME:LEVEL,
// whose level it sets in BREVIMETER_LEVEL). Read before the window's platform
// starts, so that --help and a wrong argument need no display. Nothing, after
// printing help, the version or why not, when the program is to end here
// with `status`. Qt's own options (-platform, -style, -reverse, ...) are left
// to QApplication.
std::optional<QString> libraryOption(const QStringList &arguments, int &status);
