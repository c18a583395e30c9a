// The elapsed time the window shows, against the length of the call as the
// library itself measured it, for calls of known length. Prints a Markdown table.
#include "Clock.h"
#include "CompressRun.h"
#include "Module1.h"
#include "RunError.h"
#include "WindowState.h"

#include <QLocale>
#include <algorithm>
#include <dlfcn.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

// The monotonic clock, keeping its readings so the unrounded figure is known.
class KeptClock : public MonotonicClock {
public:
    std::chrono::nanoseconds now() override
    {
        readings[count++ % 2] = MonotonicClock::now();
        return readings[(count - 1) % 2];
    }
    double elapsed() const { return std::chrono::duration<double>(readings[1] - readings[0]).count(); }

private:
    std::chrono::nanoseconds readings[2]{};
    int count = 0;
};

// What a run needs of the window: two fields, and the captions it shows.
class Captions : public WindowState {
public:
    QString source, dest, time;
    QString text(PathField field) const override { return field == PathField::SourceFile ? source : dest; }
    void setText(PathField, const QString &text) override { dest = text; }
    void repaintNow(PathField) override {}
    void setCaption(StatisticsRow row, const QString &caption) override
    {
        if (row == StatisticsRow::CompTime)
            time = caption;
    }
    void setPointer(MousePointer) override {}
    void showError(const QString &) override {}
};

} // namespace

int main(int argc, char **argv)
{
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const int runs = quick ? 1 : 7;
    QLocale::setDefault(QLocale::c());
    const char *spin = BENCH_LIBRARY_DIR "/spin/" NORVIK_LIBRARY_FILE;
    Module1 library(QString::fromUtf8(spin));
    // The library's own measure, from the same loaded copy the binding uses.
    auto lastCall = reinterpret_cast<double (*)()>(dlsym(dlopen(spin, RTLD_NOW), "spin_last_call"));
    if (!lastCall)
        return 1;
    KeptClock clock;
    // The run reads the size of its source, so a file of that name must exist.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "brevimeter-timing-fidelity";
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    for (int milliseconds : {1, 10, 100, 1000})
        std::ofstream("spin:" + std::to_string(milliseconds));
    const std::string target = (folder / "measured.txt").string();

    std::printf("| call (ms) | runs | measured − truth, median (µs) | min | max | shown − truth, median (µs) | min | max | worst \\|shown − truth\\| (s) | within 0.0001 s |\n");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|:-:|\n");
    bool allWithin = true;
    for (int milliseconds : quick ? std::vector<int>{1} : std::vector<int>{1, 10, 100, 1000}) {
        std::vector<double> errors, excess;
        for (int run = -1; run < runs; ++run) { // run -1 warms up
            Captions window;
            window.source = QStringLiteral("spin:%1").arg(milliseconds);
            window.dest = QString::fromStdString(target);
            try {
                CompressBtn_Click(window, library, clock);
            } catch (const RunError &error) {
                std::fprintf(stderr, "%s\n", qPrintable(error.description()));
                return 1;
            }
            const double truth = lastCall();
            const double shown = window.time.chopped(6).toDouble();
            if (run >= 0) {
                errors.push_back(shown - truth);
                excess.push_back(clock.elapsed() - truth);
            }
        }
        std::sort(errors.begin(), errors.end());
        std::sort(excess.begin(), excess.end());
        const double worst = std::max(std::fabs(errors.front()), std::fabs(errors.back()));
        const bool within = worst <= 0.0001;
        allWithin = allWithin && within;
        std::printf("| %d | %d | %.2f | %.2f | %.2f | %.1f | %.1f | %.1f | %.6f | %s |\n", milliseconds, runs,
                    excess[excess.size() / 2] * 1e6, excess.front() * 1e6, excess.back() * 1e6,
                    errors[errors.size() / 2] * 1e6, errors.front() * 1e6, errors.back() * 1e6, worst,
                    within ? "yes" : "no");
    }
    std::filesystem::current_path("/");
    std::filesystem::remove_all(folder);
    return allWithin || quick ? 0 : 2;
}
