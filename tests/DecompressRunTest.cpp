#include "support/QStringPrinter.h"
#include "runs/DecompressRun.h"
#include "runs/Module1.h"
#include "support/FakeWindow.h"
#include "support/TestLibraries.h"
#include "window/ReportFailures.h"

#include <gtest/gtest.h>

namespace {

using Hook = void (*)(const char *, const char *, const char *, void *);
using Reset = void (*)(Hook, void *, long long);

void noteCall(const char *entry, const char *source, const char *target, void *window)
{
    static_cast<FakeWindow *>(window)->note(std::string(entry) + "(" + source + ", " + target + ")");
}

class DecompressRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        testLibraryFunction<Reset>("recording", "recording_reset")(noteCall, &window, 0);
    }
    void click(Module1 &library)
    {
        reportFailures(window, [&] { DecompressBtn_Click(window, library); });
    }

    FakeWindow window;
};

TEST_F(DecompressRun, HandsTheFieldsOverAsTheyAreAndTouchesNothingElse)
{
    struct Fields { const char *source, *dest; };
    for (Fields f : {Fields{"", ""}, Fields{"  ", "\t"}, Fields{" a.zst ", "b"}}) {
        window.log.clear();
        window.source = QString::fromLatin1(f.source);
        window.dest = QString::fromLatin1(f.dest);
        window.captions[StatisticsRow::CompPct] = QStringLiteral("62.5%");
        // A fresh binding: Decompress can be the call that loads the library.
        Module1 library(testLibrary("recording"));

        click(library);

        EXPECT_EQ(window.log, std::vector<std::string>{std::string("decompress_file(") + f.source + ", " + f.dest + ")"});
        EXPECT_EQ(window.SourcePath, window.source);
        EXPECT_EQ(window.DestPath, window.dest);
        EXPECT_EQ(window.dest, QLatin1String(f.dest)) << "no default name";
        EXPECT_EQ(window.caption(StatisticsRow::CompPct), QStringLiteral("62.5%"));
    }
}

TEST_F(DecompressRun, ReportsAMissingLibraryAndGoesOn)
{
    Module1 missing(QStringLiteral("/no/such/libnorvik.so"));
    Module1 noEntry(testLibrary("noentry"));
    click(missing);
    click(noEntry);
    ASSERT_EQ(window.errors.size(), 2);
    EXPECT_TRUE(window.errors[0].contains(QStringLiteral("\"/no/such/libnorvik.so\" cannot be loaded")));
    EXPECT_TRUE(window.errors[1].contains(QStringLiteral("has no entry point \"decompress_file\"")));
    EXPECT_EQ(window.pointer, MousePointer::Default);
}

} // namespace
