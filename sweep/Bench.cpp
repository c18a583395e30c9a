#include "Bench.h"

#include "Digest.h"
#include "FileName.h"
#include "Interruption.h"
#include "LibraryList.h"
#include "Machine.h"
#include "Merge.h"
#include "Options.h"
#include "Plot.h"
#include "Progress.h"
#include "Report.h"
#include "Sweep.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

int refused(const QString &why)
{
    std::fprintf(stderr, "brevimeter-bench: %s\n", qPrintable(why));
    return 2;
}

bool writeOut(const QByteArray &text)
{
    return std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout) == std::size_t(text.size())
           && std::fflush(stdout) == 0;
}

// The files' sizes, and where the report keeps them, their digests.
std::optional<std::vector<FileFacts>> factsOf(const std::vector<QByteArray> &files, bool digests)
{
    std::vector<FileFacts> facts;
    for (const QByteArray &file : files) {
        struct stat status {};
        const std::optional<FileFacts> read = digests ? factsOf(file)
                                              : ::stat(file.constData(), &status) == 0
                                                  ? std::optional(FileFacts{file, static_cast<unsigned long long>(status.st_size)})
                                                  : std::nullopt;
        if (!read) {
            refused(shownName(file) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
            return std::nullopt;
        }
        facts.push_back(*read);
    }
    return facts;
}

} // namespace

int runBench(const QStringList &arguments)
{
    std::optional<Options> options = parseOptions(arguments);
    if (!options)
        return 2;
    if (options->listLibraries)
        return writeOut(libraryList(options->format)) ? 0 : 3;

    Report report;
    if (!options->merge.isEmpty()) {
        std::optional<Report> merged = merge(options->merge);
        if (!merged)
            return 2;
        report = std::move(*merged);
    } else {
        SweepSettings &settings = options->sweep;
        settings.worker = workerProgram();
        if (settings.worker.isEmpty())
            return refused(QStringLiteral("its worker, brevimeter-bench-worker, is not installed beside it"));
        const std::optional<std::vector<FileFacts>> facts = factsOf(settings.files, options->format == ReportFormat::Json);
        if (!facts)
            return 2;
        std::vector<unsigned long long> sizes;
        for (const FileFacts &file : *facts)
            sizes.push_back(file.size);
        Interruption::catchSignals();
        SweepResult result;
        {
            QTemporaryDir scratch(options->scratchParent + QStringLiteral("/brevimeter-bench-XXXXXX"));
            if (!scratch.isValid())
                return refused(QStringLiteral("%1: %2").arg(options->scratchParent, scratch.errorString()));
            settings.scratch = scratch.path(); // absolute, whatever was given

            Progress progress;
            result = sweep(settings, sizes, progress);
        }
        for (const Measurement &measured : result.measurements)
            if (measured.status != RowStatus::Ok)
                std::fprintf(stderr, "brevimeter-bench: %s on %s: %s: %s\n", qPrintable(shownName(measured.label.toUtf8())),
                             qPrintable(shownName(measured.file)), statusName(measured.status),
                             qPrintable(shownName(measured.reason.toUtf8())));
        report.measurements = std::move(result.measurements);
        report.made = {thisMachine(), now(), QStringLiteral(BREVIMETER_VERSION), recorded(settings),
                       options->format == ReportFormat::Json ? *facts : std::vector<FileFacts>(), result.complete};
    }

    // The rows measured so far are written even when a signal cut the sweep
    // short; the program then ends by that signal.
    const bool written = writeOut(::written(report, options->format));
    if (!written)
        std::fprintf(stderr, "brevimeter-bench: the report cannot be written: %s\n", std::strerror(errno));
    const bool drawn = options->plot.isEmpty() || plot(linesOf(report.measurements), options->plot, report.made);
    Interruption::endIfInterrupted();
    if (!written || !drawn)
        return 3;
    return std::all_of(report.measurements.begin(), report.measurements.end(),
                       [](const Measurement &measured) { return measured.status == RowStatus::Ok; })
               ? 0
               : 1;
}
