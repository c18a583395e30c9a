// Which library a program runs: a reference by name and level, or a file,
// each with its label; and the window's --library option.
#include "LibraryChoice.h"
#include "LibraryOption.h"
#include "support/QStringPrinter.h"
#include "support/ScratchFolder.h"

#include <QFileInfo>
#include <cstdlib>

namespace {

using Choices = ScratchFolder;

TEST_F(Choices, NameAReferenceByLevelOrAFileAndLabelIt)
{
    std::filesystem::create_directory(path("mine"));
    write("mine/" NORVIK_LIBRARY_FILE, "");
    write(NORVIK_LIBRARY_FILE, "");
    const QString built = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
    struct Case {
        QString given, label, file;
        std::optional<int> level;
    };
    const Case cases[] = {
        {"zstd:-5", "zstd:-5", built + "/" NORVIK_LIBRARY_FILE, -5},
        {"fast=lz4:9", "fast", built + "/references/lz4/" NORVIK_LIBRARY_FILE, 9},
        {"xz", "xz", built + "/references/xz/" NORVIK_LIBRARY_FILE, 6},
        {"copy", "copy", built + "/references/copy/" NORVIK_LIBRARY_FILE, 0},
        {"mine/" NORVIK_LIBRARY_FILE, "mine/" NORVIK_LIBRARY_FILE, "mine/" NORVIK_LIBRARY_FILE, std::nullopt},
        {"a=b=mine/" NORVIK_LIBRARY_FILE, "a", "b=mine/" NORVIK_LIBRARY_FILE, std::nullopt},
        {NORVIK_LIBRARY_FILE, "./" NORVIK_LIBRARY_FILE, "./" NORVIK_LIBRARY_FILE, std::nullopt},
    };
    std::filesystem::create_directory(path("b=mine"));
    write("b=mine/" NORVIK_LIBRARY_FILE, "");
    for (const Case &c : cases) {
        const auto choice = chooseLibrary(c.given);
        ASSERT_TRUE(std::holds_alternative<LibraryChoice>(choice)) << c.given.toStdString() << std::get<QString>(choice).toStdString();
        const LibraryChoice &chosen = std::get<LibraryChoice>(choice);
        EXPECT_EQ(chosen.label, c.label) << c.given.toStdString();
        EXPECT_EQ(chosen.file, c.file) << c.given.toStdString();
        EXPECT_EQ(chosen.level, c.level) << c.given.toStdString();
    }
    const std::pair<QString, QString> refused[] = {
        {"zstd:23", "zstd's levels are -131072 to 22"},
        {"lz4: 9", "lz4's levels are -65537 to 12"},
        {"lz4:fast", "lz4's levels are -65537 to 12"},
        {"copy:3", "copy has no levels"},
        {"nothing", "nothing: neither a reference library (see --list-libraries) nor a library file"},
    };
    for (const auto &[given, why] : refused)
        EXPECT_EQ(std::get<QString>(chooseLibrary(given)), why);
}

TEST_F(Choices, TheWindowRunsTheLibraryItsOptionNames)
{
    ::setenv("BREVIMETER_LEVEL", "2", 1);
    struct Case {
        QStringList arguments;
        std::optional<QString> file;
        int status;
        const char *level;
    };
    const QString built = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
    const Case cases[] = {
        {{}, NORVIK_LIBRARY_FILE, 0, "2"},
        {{"--library", "lz4:9"}, built + "/references/lz4/" NORVIK_LIBRARY_FILE, 0, "9"},
        {{"--library", "zstd:23"}, std::nullopt, 2, "9"},
        {{"--frobnicate"}, std::nullopt, 2, "9"},
        // Qt's own options are QApplication's, with their values.
        {{"-platform", "offscreen", "-style=fusion", "--reverse", "-stylesheet", "x.qss", "--library", "lz4:3"},
         built + "/references/lz4/" NORVIK_LIBRARY_FILE, 0, "3"},
        {{"--version"}, std::nullopt, 0, "3"},
    };
    for (const Case &c : cases) {
        int status = -1;
        EXPECT_EQ(libraryOption(QStringList{"brevimeter"} + c.arguments, status), c.file) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_STREQ(std::getenv("BREVIMETER_LEVEL"), c.level) << c.arguments.join(' ').toStdString();
    }
    ::unsetenv("BREVIMETER_LEVEL");
}

} // namespace
