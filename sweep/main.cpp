// brevimeter-bench: any compression library with the two entry points, over
// many files, repeated, verified, each direction in a worker process of its own.
#include "Bench.h"

#include <QGuiApplication>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    std::signal(SIGXFSZ, SIG_IGN); // past a file-size limit a write fails, and the row says so
    std::signal(SIGPIPE, SIG_IGN); // a worker that went away, or a reader of the report: a write fails
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
    return runBench(QCoreApplication::arguments());
}
