// brevimeter-bench: any compression library with the two entry points, over
// many files, repeated, verified, each library in a process of its own.
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
#include "Worker.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
#if defined(SIGXFSZ)
    std::signal(SIGXFSZ, SIG_IGN); // past a file-size limit a write fails, and the row says so
#endif
    if (argc > 1 && std::strcmp(argv[1], "--worker") == 0) {
        QCoreApplication worker(argc, argv);
        return runWorker(worker.arguments().mid(2));
    }
    // Drawing the chart needs fonts, never a display; without it Qt Core does.
    std::unique_ptr<QCoreApplication> app;
    if (std::any_of(argv + 1, argv + argc, [](const char *argument) { return std::strncmp(argument, "--plot", 6) == 0; })) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's GUI start-up warns of a runtime folder that drawing to a file never uses.
        static QtMessageHandler standard = nullptr;
        standard = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (!text.startsWith(QLatin1String("QStandardPaths:")))
                standard(type, context, text);
        });
        app = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(standard);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("brevimeter-bench"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BREVIMETER_VERSION));
    std::optional<Options> options = parseOptions(QCoreApplication::arguments());
    if (!options)
        return 2;

    if (options->listLibraries) {
        const QByteArray list = libraryList(options->format);
        return std::fwrite(list.constData(), 1, std::size_t(list.size()), stdout) == std::size_t(list.size()) ? 0 : 3;
    }

    std::vector<Line> lines;
    Provenance made;
    if (!options->merge.isEmpty()) {
        std::optional<Merged> merged = merge(options->merge);
        if (!merged)
            return 2;
        lines = std::move(merged->lines);
        made = std::move(merged->made);
    } else {
        Interruption::catchSignals();
        std::vector<Row> rows;
        {
            QTemporaryDir scratch(options->scratchParent + QStringLiteral("/brevimeter-bench-XXXXXX"));
            if (!scratch.isValid()) {
                std::fprintf(stderr, "brevimeter-bench: %s: %s\n", qPrintable(options->scratchParent),
                             qPrintable(scratch.errorString()));
                return 2;
            }
            options->sweep.scratch = scratch.path();
            Progress progress;
            rows = sweep(options->sweep, progress);
        }
        for (const Row &row : rows) {
            lines.push_back(lineOf(row));
            if (row.status != RowStatus::Ok)
                std::fprintf(stderr, "brevimeter-bench: %s on %s: %s: %s\n", qPrintable(row.label),
                             qPrintable(shownName(row.file)), statusName(row.status), qPrintable(row.reason));
        }
        made = {thisMachine(), now(), QStringLiteral(BREVIMETER_VERSION), recorded(options->sweep)};
    }
    lines = withTotals(std::move(lines));

    // The rows measured so far are written even when a signal cut the sweep
    // short; the program then ends by that signal.
    const QByteArray text = report(lines, options->format, made);
    const bool written = std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout) == std::size_t(text.size())
                         && std::fflush(stdout) == 0;
    if (!written)
        std::fprintf(stderr, "brevimeter-bench: the report cannot be written: %s\n", std::strerror(errno));
    const bool drawn = options->plot.isEmpty() || plot(lines, options->plot, made);
    Interruption::endIfInterrupted();
    if (!written || !drawn)
        return 3;
    return std::all_of(lines.begin(), lines.end(), [](const Line &line) { return line.status == RowStatus::Ok; }) ? 0 : 1;
}
