// What the compress action adds around the library call: converting the two
// paths, finding the entry point, the call itself and the write-back, timed
// with a library that returns at once.
#include "Module1.h"

#include <QString>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>

namespace {

const QString Instant = QStringLiteral(BENCH_LIBRARY_DIR "/instant/" NORVIK_LIBRARY_FILE);

void WarmCall(benchmark::State &state)
{
    Module1 library(Instant);
    QString source = QStringLiteral("/home/user/corpus/canterbury/alice29.txt");
    QString target = QStringLiteral("compress.dat");
    library.compress_file(source, target); // loads the library
    for (auto _ : state)
        library.compress_file(source, target);
}
BENCHMARK(WarmCall)->Repetitions(5)->ReportAggregatesOnly(true)->DisplayAggregatesOnly(true);

// A library file the process has never loaded, so the loader really reads it.
void FirstCall(benchmark::State &state)
{
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "brevimeter-first-call-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const fs::path folder = pattern;
    static int copy = 0; // never the same name twice, across repetitions too
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path file = folder / (std::to_string(copy++) + "-" NORVIK_LIBRARY_FILE);
        fs::copy_file(Instant.toStdString(), file, fs::copy_options::overwrite_existing);
        Module1 library(QString::fromStdString(file.string()));
        QString source = QStringLiteral("/home/user/corpus/canterbury/alice29.txt");
        QString target = QStringLiteral("compress.dat");
        state.ResumeTiming();
        library.compress_file(source, target);
    }
    fs::remove_all(folder);
}
BENCHMARK(FirstCall)->Iterations(200)->Repetitions(5)->ReportAggregatesOnly(true)->DisplayAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
