#include "LibraryOption.h"

#include "LibraryChoice.h"

#include <QCommandLineParser>
#include <cstdio>

std::optional<QString> libraryOption(const QStringList &arguments, int &status)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times a compression library on one file."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption library(QStringLiteral("library"),
        QStringLiteral("A library file, or a reference library as NAME or NAME:LEVEL (see brevimeter-bench "
                       "--list-libraries). Default: " NORVIK_LIBRARY_FILE " in the library search order."),
        QStringLiteral("library"));
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
