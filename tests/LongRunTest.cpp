// Many runs in one session hold on to nothing: open files and resident memory
// stay flat.
#include "support/QStringPrinter.h"
#include "runs/Clock.h"
#include "runs/Module1.h"
#include "support/Clicks.h"
#include "support/FakeWindow.h"
#include "support/ProcessUsage.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"

namespace {

using Reset = void (*)(void (*)(const char *, const char *, const char *, void *), void *, long long);

class LongRun : public ScratchFolder {
protected:
    template <typename Run>
    void repeat(int times, Run run)
    {
        for (int i = 0; i < times; ++i) {
            run();
            window.log.clear(); // the fake's own record would grow otherwise
        }
    }

    FakeWindow window;
    MonotonicClock clock;
};

TEST_F(LongRun, TenThousandCompressRunsHoldNothing)
{
    testLibraryFunction<Reset>("recording", "recording_reset")(nullptr, nullptr, 10);
    Module1 library(testLibrary("recording"));
    const std::string source = write("in", "some text");
    auto run = [&] { clickCompress(window, library, clock, source, path("out")); };

    repeat(500, run); // warm up: the library loaded, the allocator settled
    const int files = openFileDescriptors();
    const long memory = residentKibibytes();
    repeat(10000, run);

    EXPECT_TRUE(window.errors.isEmpty());
    EXPECT_EQ(openFileDescriptors(), files);
    if (residentMemoryIsMeaningful)
        EXPECT_LT(residentKibibytes() - memory, 512) << "KiB more after 10,000 runs";
}

TEST_F(LongRun, TwoHundredRoundTripsHoldNothing)
{
    Module1 library(QStringLiteral(NORVIK_BUILD_LIBRARY));
    const std::string original = write("in", std::string(300000, 'r') + "end");
    auto roundTrip = [&] {
        clickCompress(window, library, clock, original, path("in.zst"));
        clickDecompress(window, library, path("in.zst"), path("back"));
    };

    repeat(20, roundTrip);
    const int files = openFileDescriptors();
    const long memory = residentKibibytes();
    repeat(200, roundTrip);

    EXPECT_TRUE(window.errors.isEmpty());
    EXPECT_TRUE(read(path("back")) == read(original));
    EXPECT_EQ(openFileDescriptors(), files);
    if (residentMemoryIsMeaningful)
        EXPECT_LT(residentKibibytes() - memory, 1024) << "KiB more after 200 round trips";
    EXPECT_EQ(entries(), (std::vector<std::string>{"back", "in", "in.zst"}));
}

} // namespace
