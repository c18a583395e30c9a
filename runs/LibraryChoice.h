// Which compression library a program runs: a library file, or one of the
// reference libraries shipped with it by name and level ("lz4", "zstd:19").
#pragma once

#include <QString>
#include <optional>
#include <variant>
#include <vector>

struct Reference {
    const char *name;
    int lowest, highest, standard; // levels; all 0 for one without
    const char *description;
};

// The shipped references, in the order they are listed, from the one table
// the libraries themselves take their levels from (levels/levels.h).
const std::vector<Reference> &references();

// The file of a shipped reference, where the program finds it: beside it in
// a build, in the private library folder once installed. Empty when neither
// holds it.
QString referenceFile(const char *name);

struct LibraryChoice {
    QString label;             // what rows and legends call it
    QString file;              // for the loader; a bare name only for the default
    std::optional<int> level;  // for BREVIMETER_LEVEL, for a reference
    QString given;             // as the user named it, without the label
};

// "[LABEL=]LIBRARY": LIBRARY is a reference's NAME or NAME:LEVEL, else a library
// file ("./" is put before a name without a folder, which the loader would
// otherwise look up in its search order). The label defaults to the name given for
// a reference, and to the file's folder and name. Returns why not, as a
// sentence, when what is given names neither or the level is out of range.
std::variant<LibraryChoice, QString> chooseLibrary(const QString &given);

// Sets BREVIMETER_LEVEL for a reference's level, in this process; leaves the
// environment alone for a library file.
void applyLevel(const LibraryChoice &choice);
