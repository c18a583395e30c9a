#include "Bench.h"

#include "Compare.h"
#include "Digest.h"
#include "FileName.h"
#include "Files.h"
#include "Interruption.h"
#include "LibraryList.h"
#include "Machine.h"
#include "Merge.h"
#include "Options.h"
#include "Plot.h"
#include "Progress.h"
#include "Report.h"
#include "Sweep.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/stat.h>

namespace {

int refused(const QString &why)
{
    std::fprintf(stderr, "brevimeter-bench: %s\n", qPrintable(why));
    return 2;
}

bool writeOut(const QByteArray &text)
{
    const bool written = std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout) == std::size_t(text.size())
                         && std::fflush(stdout) == 0;
    if (!written)
        std::fprintf(stderr, "brevimeter-bench: the report cannot be written: %s\n", std::strerror(errno));
    return written;
}

// The report on standard output and in every --output file. False, after
// saying why, when one cannot be written.
bool writeAll(const Options &options, const std::function<QByteArray(ReportFormat)> &report)
{
    bool written = writeOut(report(options.format));
    for (const Output &output : options.outputs) {
        if (const std::optional<QString> why = writtenWhole(QFile::encodeName(output.file), report(output.format))) {
            std::fprintf(stderr, "brevimeter-bench: %s: %s\n", qPrintable(shownName(QFile::encodeName(output.file))), qPrintable(*why));
            written = false;
        }
    }
    return written;
}

// The files' sizes, and where a report keeps them, their digests.
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

std::optional<Report> measured(Options &options)
{
    SweepSettings &settings = options.sweep;
    settings.worker = workerProgram();
    if (settings.worker.isEmpty())
        return refused(QStringLiteral("its worker, brevimeter-bench-worker, is not installed beside it")), std::nullopt;
    const bool digests = options.format == ReportFormat::Json
                         || std::any_of(options.outputs.begin(), options.outputs.end(),
                                        [](const Output &output) { return output.format == ReportFormat::Json; });
    const std::optional<std::vector<FileFacts>> facts = factsOf(settings.files, digests);
    if (!facts)
        return std::nullopt;
    std::vector<unsigned long long> sizes;
    for (const FileFacts &file : *facts)
        sizes.push_back(file.size);
    Interruption::catchSignals();
    SweepResult result;
    {
        QTemporaryDir scratch(options.scratchParent + QStringLiteral("/brevimeter-bench-XXXXXX"));
        if (!scratch.isValid())
            return refused(QStringLiteral("%1: %2").arg(shownName(QFile::encodeName(options.scratchParent)), scratch.errorString())), std::nullopt;
        settings.scratch = scratch.path(); // absolute, whatever was given
        Progress progress;
        result = sweep(settings, sizes, progress);
    }
    for (const Measurement &one : result.measurements)
        if (one.status != RowStatus::Ok)
            std::fprintf(stderr, "brevimeter-bench: %s on %s: %s: %s\n", qPrintable(shownName(one.label.toUtf8())),
                         qPrintable(shownName(one.file)), statusName(one.status), qPrintable(shownName(one.reason.toUtf8())));
    return Report{std::move(result.measurements),
                  {thisMachine(), now(), QStringLiteral(BREVIMETER_VERSION), recorded(settings),
                   digests ? *facts : std::vector<FileFacts>(), result.complete}};
}

std::optional<Report> readFrom(const QString &name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return refused(shownName(QFile::encodeName(name)) + QStringLiteral(": ") + file.errorString()), std::nullopt;
    auto read = readReport(file.readAll());
    if (const QString *why = std::get_if<QString>(&read))
        return refused(shownName(QFile::encodeName(name)) + QStringLiteral(": ") + *why), std::nullopt;
    return std::get<Report>(std::move(read));
}

int compare(const Options &options)
{
    const std::optional<Report> before = readFrom(options.reports[0]), after = before ? readFrom(options.reports[1]) : std::nullopt;
    if (!after)
        return 2;
    const std::vector<Comparison> comparisons = compared(*before, *after);
    if (!writeAll(options, [&](ReportFormat format) { return writtenComparison(comparisons, format, before->made, after->made); }))
        return 3;
    if (!options.failIfSlower)
        return 0;
    if (!after->made.complete)
        return std::fprintf(stderr, "brevimeter-bench: %s: the sweep was cut short\n", qPrintable(shownName(QFile::encodeName(options.reports[1])))), 1;
    return slowerThan(comparisons, *options.failIfSlower) || worsened(comparisons) ? 1 : 0;
}

} // namespace

int runBench(const QStringList &arguments)
{
    std::optional<Options> options = parseOptions(arguments);
    if (!options)
        return 2;
    if (options->mode == Mode::List)
        return writeOut(libraryList(options->format)) ? 0 : 3;
    if (options->mode == Mode::Compare)
        return compare(*options);
    const std::optional<Report> report = options->mode == Mode::Merge ? merge(options->reports) : measured(*options);
    if (!report)
        return 2;

    // The rows measured so far are written even when a signal cut the sweep
    // short; the program then ends by that signal.
    const bool written = writeAll(*options, [&](ReportFormat format) { return ::written(*report, format); });
    const bool drawn = options->plot.isEmpty() || plot(linesOf(report->measurements), options->plot, report->made);
    Interruption::endIfInterrupted();
    if (!written || !drawn)
        return 3;
    return std::all_of(report->measurements.begin(), report->measurements.end(),
                       [](const Measurement &one) { return one.status == RowStatus::Ok; })
               ? 0
               : 1;
}
