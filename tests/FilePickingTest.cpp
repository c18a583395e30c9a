#include "support/QStringPrinter.h"
#include "FilePicking.h"
#include "support/FakeWindow.h"

#include <gtest/gtest.h>

namespace {

// One dialog serves both fields: it opens with the name last chosen through
// either of them, never with the field's own text, and a confirmed file
// replaces what the field held.
TEST(FilePicking, AConfirmedFileFillsTheFieldAndTheDialogRemembersIt)
{
    FakeWindow window;
    window.fields[0] = QStringLiteral("typed by hand");
    window.dialog.answers = {QStringLiteral("/data/a"), QStringLiteral("/data/b"), std::nullopt};
    SourceFile_DblClick(window);
    EXPECT_EQ(window.fields[0], QStringLiteral("/data/a"));
    EXPECT_EQ(window.fields[1], QString()) << "the other field is left alone";
    DestFile_DblClick(window);
    SourceFile_DblClick(window);
    EXPECT_EQ(window.dialog.shownWith, (QStringList{QString(), QStringLiteral("/data/a"), QStringLiteral("/data/b")}));
    EXPECT_EQ(window.fields[1], QStringLiteral("/data/b"));
    EXPECT_EQ(window.SourcePath, QString()) << "paths reach the runs only through the fields";
}

TEST(FilePicking, CancelKeepsTheField)
{
    FakeWindow window;
    window.fields[0] = QStringLiteral("typed source");
    window.fields[1] = QStringLiteral("typed target");
    window.dialog.answers = {std::nullopt, QStringLiteral("/data/a"), std::nullopt};
    SourceFile_DblClick(window); // before any file was ever chosen
    EXPECT_EQ(window.fields[0], QStringLiteral("typed source"));
    SourceFile_DblClick(window);
    DestFile_DblClick(window);   // after a file was chosen for the other field
    EXPECT_EQ(window.fields[1], QStringLiteral("typed target"));
}

} // namespace
