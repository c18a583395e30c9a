#include "Clock.h"
#include "Form1.h"
#include "LibraryChoice.h"
#include "Module1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <csignal>
#include <cstdio>

namespace {

// The library the window runs: the default one, or what --library names.
// Read before the window's platform starts, so that --help and a wrong
// argument need no display. Nothing, after saying why, when the program is
// to end here, with `status`.
std::optional<QString> chosenLibrary(const QStringList &arguments, int &status)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times a compression library on one file."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption library(QStringLiteral("library"),
        QStringLiteral("A library file, or a reference library as NAME or NAME:LEVEL (see brevimeter-bench "
                       "--list-libraries). Default: " NORVIK_LIBRARY_FILE " in the library search order."),
        QStringLiteral("spec"));
    parser.addOption(library);
    status = 2;
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "brevimeter: %s\n", qPrintable(parser.errorText()));
        return std::nullopt;
    }
    status = 0;
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        std::fputs(parser.isSet(QStringLiteral("version")) ? "brevimeter " BREVIMETER_VERSION "\n"
                   : qPrintable(parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("brevimeter"))),
                   stdout);
        return std::nullopt;
    }
    if (!parser.isSet(library))
        return QStringLiteral(NORVIK_LIBRARY_FILE);
    const auto choice = chooseLibrary(parser.value(library));
    if (const QString *why = std::get_if<QString>(&choice)) {
        std::fprintf(stderr, "brevimeter: %s\n", qPrintable(*why));
        status = 2;
        return std::nullopt;
    }
    applyLevel(std::get<LibraryChoice>(choice));
    return std::get<LibraryChoice>(choice).file;
}

} // namespace

int main(int argc, char *argv[])
{
#if defined(SIGXFSZ)
    // A write past the file-size limit then fails with EFBIG, which the
    // library reports, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int status = 0;
    const std::optional<QString> file = chosenLibrary(arguments, status);
    if (!file)
        return status;
    QApplication app(argc, argv);
    Module1 library(*file);
    MonotonicClock clock;
    Form1 window(library, clock);
    window.show();
    return app.exec();
}
