#include "support/QStringPrinter.h"
#include "picking/FilePicking.h"
#include "support/FakeWindow.h"

#include <gtest/gtest.h>

namespace {

TEST(FilePicking, AConfirmedFileReplacesWhatTheFieldHeld)
{
    FakeWindow window;
    window.source = QStringLiteral("typed by hand");
    window.dialog.answers = {QStringLiteral("/data/alice29.txt")};
    SourceFile_DblClick(window);
    EXPECT_EQ(window.source, QStringLiteral("/data/alice29.txt"));
    EXPECT_EQ(window.dest, QString()) << "the other field is left alone";
    EXPECT_EQ(window.SourcePath, QString()) << "paths reach the runs only through the fields";
}

TEST(FilePicking, CancelKeepsTheField)
{
    FakeWindow window;
    window.source = QStringLiteral("typed source");
    window.dest = QStringLiteral("typed target");
    window.dialog.answers = {std::nullopt, QStringLiteral("/data/a"), std::nullopt};
    SourceFile_DblClick(window); // Cancel before any file was ever chosen
    EXPECT_EQ(window.source, QStringLiteral("typed source"));
    SourceFile_DblClick(window);
    DestFile_DblClick(window);   // Cancel after a file was chosen for the other field
    EXPECT_EQ(window.dest, QStringLiteral("typed target"));
    EXPECT_TRUE(window.errors.isEmpty());
}

// One dialog serves both fields: it opens with the name last chosen through
// either of them, never with the field's own text.
TEST(FilePicking, TheDialogRemembersTheLastNameAcrossBothFields)
{
    FakeWindow window;
    window.dest = QStringLiteral("typed target");
    window.dialog.answers = {QStringLiteral("/data/a"), QStringLiteral("/data/b"), std::nullopt};
    SourceFile_DblClick(window);
    DestFile_DblClick(window);
    SourceFile_DblClick(window);
    EXPECT_EQ(window.dialog.shownWith, (QStringList{QString(), QStringLiteral("/data/a"), QStringLiteral("/data/b")}));
    EXPECT_EQ(window.source, QStringLiteral("/data/a"));
    EXPECT_EQ(window.dest, QStringLiteral("/data/b"));
}

} // namespace
