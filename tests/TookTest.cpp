// What a worker says a call took, read strictly and believed only where it
// agrees with what the sweep and the kernel saw.
#include "Took.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

TEST(Took, ReadsOnlyItsOwnCallsLineOfWholeNumbers)
{
    const std::optional<Took> took = tookFrom("took 7 10 20 15 5 3 4", 7);
    ASSERT_TRUE(took);
    EXPECT_EQ(took->wall, 10ns);
    EXPECT_EQ(took->cpu, 20ns);
    EXPECT_EQ(took->threadCpu, 15ns);
    EXPECT_EQ(took->childCpu, 5ns);
    EXPECT_EQ(took->faults, 3);
    EXPECT_EQ(took->childFaults, 4);
    for (const char *line : {"took 6 10 20 15 5 3 4", "took 7 10 20 15 5 3", "took 7 10 20 15 5 3 4 1", "took 7 -10 20 15 5 3 4",
                             "took 7 1e3 20 15 5 3 4", "took 7 10 20  15 5 3", "peak 7 10 20 15 5 3 4", "took 7 10 20 15 5 3 x"})
        EXPECT_FALSE(tookFrom(line, 7)) << line;
}

Took claimed(std::chrono::nanoseconds wall, std::chrono::nanoseconds threadCpu)
{
    return {wall, threadCpu, threadCpu, 0ns, 0, 0};
}

TEST(Took, IsBelievedOnlyWithinWhatTheSweepAndTheKernelSaw)
{
    const struct {
        const char *what;
        Took took;
        std::chrono::nanoseconds seen;
        std::optional<std::chrono::nanoseconds> counted;
        const char *doubt; // the start of the reason, or nothing
    } cases[] = {
        {"honest", claimed(19ms, 18ms), 20ms, 18300us, nullptr},
        {"the whole of what was seen", claimed(20ms, 18ms), 20ms, 18ms, nullptr},
        {"longer than seen", claimed(21ms, 18ms), 20ms, 18ms, "the worker reported a call longer"},
        {"more CPU than counted", claimed(19ms, 18ms), 20ms, 17ms, "the worker reported CPU time other"},
        {"a little CPU hidden", claimed(19ms, 15ms), 20ms, 18ms, "the worker reported CPU time other"},
        {"most CPU hidden", claimed(1ms, 1ms), 20ms, 18ms, "the worker reported CPU time other"},
        {"a small call's reading and writing", claimed(100us, 50us), 1ms, 500us, nullptr},
        {"nothing counted to check against", claimed(1ms, 1ms), 20ms, std::nullopt, nullptr},
    };
    for (const auto &c : cases) {
        const std::optional<QString> doubt = doubtAbout(c.took, c.seen, c.counted);
        if (c.doubt)
            EXPECT_TRUE(doubt && doubt->startsWith(QLatin1String(c.doubt))) << c.what;
        else
            EXPECT_FALSE(doubt) << c.what << ": " << doubt->toStdString();
    }
}

TEST(Took, RanOnOneThreadWithoutAChildOrOtherThreadsWork)
{
    EXPECT_TRUE(onOneThread({10ms, 10ms, 10ms, 0ns, 0, 0}));
    EXPECT_TRUE(onOneThread({10ms, 10ms, 9900us, 0ns, 0, 0}));
    EXPECT_FALSE(onOneThread({10ms, 10ms, 9ms, 0ns, 0, 0}));
    EXPECT_FALSE(onOneThread({10ms, 10ms, 10ms, 1ms, 0, 0}));
}

std::chrono::nanoseconds threadCpu()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// A child that spends CPU time, says how much, and waits: the kernel's count
// of it is at least that, and hardly more.
TEST(Took, ReadsTheKernelsCountOfAProcesssMainThread)
{
    int said[2];
    ASSERT_EQ(pipe(said), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        while (threadCpu() < 30ms) {
        }
        const long long spent = threadCpu().count();
        if (write(said[1], &spent, sizeof spent) != sizeof spent)
            _exit(1);
        pause();
        _exit(0);
    }
    close(said[1]);
    long long spent = 0;
    ASSERT_EQ(read(said[0], &spent, sizeof spent), ssize_t(sizeof spent));
    const std::optional<std::chrono::nanoseconds> counted = mainThreadCpu(child);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(said[0]);
    ASSERT_TRUE(counted);
    EXPECT_GE(*counted, std::chrono::nanoseconds(spent));
    EXPECT_LE(*counted, std::chrono::nanoseconds(spent) + 2ms);
    EXPECT_FALSE(mainThreadCpu(child)) << "a process that is gone";

    // One that never stops running has no count that can be trusted.
    const pid_t spinning = fork();
    ASSERT_GE(spinning, 0);
    if (spinning == 0)
        for (;;) {
        }
    EXPECT_FALSE(mainThreadCpu(spinning));
    kill(spinning, SIGKILL);
    waitpid(spinning, nullptr, 0);
}

} // namespace
