#include "LibraryOption.h"

#include "LibraryChoice.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {

// The options every Qt program takes, which QApplication reads later: the
// ones that name a value, given after them or after "=", and the plain ones.
// One dash or two.
const QStringList QtValued{"platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
                           "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display", "geometry",
                           "style", "stylesheet", "name", "title", "visual"};
const QStringList QtPlain{"reverse", "widgetcount", "nograb", "dograb", "sync"};

QStringList withoutQtOptions(const QStringList &arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const QString name = argument.startsWith(QLatin1String("--")) ? argument.mid(2)
                             : argument.startsWith(QLatin1Char('-')) ? argument.mid(1)
                                                                      : QString();
        const bool valued = QtValued.contains(name.section(QLatin1Char('='), 0, 0));
        if (i == 0 || name.isEmpty() || !(valued || QtPlain.contains(name)))
            kept << argument;
        else if (valued && !name.contains(QLatin1Char('=')))
            ++i; // its value
    }
    return kept;
}

} // namespace

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
    if (!parser.parse(withoutQtOptions(arguments))) {
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
