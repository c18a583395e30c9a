#include "Options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

bool refuse(const QString &what)
{
    std::fprintf(stderr, "brevimeter-bench: %s\n", qPrintable(what));
    return false;
}

// A file that can be read, by the name given.
bool readable(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) || refuse(QStringLiteral("%1: %2").arg(name, file.errorString()));
}

// Every regular file an argument names: itself, or all under a folder.
bool collect(const QString &argument, QStringList &files)
{
    const QFileInfo info(argument);
    if (!info.exists())
        return refuse(argument + QStringLiteral(": no such file or folder"));
    if (info.isFile()) {
        files << argument;
        return readable(argument);
    }
    if (!info.isDir())
        return refuse(argument + QStringLiteral(": neither a regular file nor a folder"));
    namespace fs = std::filesystem;
    std::error_code error;
    QStringList found;
    for (fs::recursive_directory_iterator it(QFile::encodeName(argument).toStdString(), error), end; it != end && !error;
         it.increment(error))
        if (it->is_regular_file())
            found << QFile::decodeName(QByteArray::fromStdString(it->path().string()));
    if (error)
        return refuse(QStringLiteral("%1: %2").arg(argument, QString::fromLocal8Bit(error.message().c_str())));
    std::sort(found.begin(), found.end());
    files << found;
    return std::all_of(found.begin(), found.end(), readable);
}

} // namespace

std::optional<Options> parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures compression libraries over many files: each file is compressed and decompressed\n"
        "several times by each library, every round trip is checked byte for byte, and each library\n"
        "runs in a process of its own."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption library(QStringLiteral("library"),
        QStringLiteral("A library to measure; repeat to compare several. Default: the one the window loads."),
        QStringLiteral("path"));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs of each call (default 5)."),
                                  QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Seconds any one call may take before its row is a timeout (default 3600)."),
        QStringLiteral("seconds"), QStringLiteral("3600"));
    const QCommandLineOption scratch(QStringLiteral("scratch"),
        QStringLiteral("Where to make the private folder for the outputs (default: $TMPDIR)."), QStringLiteral("dir"),
        QDir::tempPath());
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("table (default), csv or json."),
                                    QStringLiteral("format"), QStringLiteral("table"));
    const QCommandLineOption plot(QStringLiteral("plot"), QStringLiteral("Also draw ratio against compress speed."),
                                  QStringLiteral("file.svg"));
    parser.addOptions({library, runs, timeout, scratch, format, plot});
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Files, or folders of files, to measure."),
                                 QStringLiteral("FILE|FOLDER..."));
    parser.process(arguments);

    Options options;
    bool ok = true;
    options.sweep.runs = parser.value(runs).toInt(&ok);
    if (!ok || options.sweep.runs < 1)
        return refuse(QStringLiteral("--runs wants a whole number of 1 or more")), std::nullopt;
    options.sweep.timeoutSeconds = parser.value(timeout).toInt(&ok);
    if (!ok || options.sweep.timeoutSeconds < 1)
        return refuse(QStringLiteral("--timeout wants a whole number of seconds, 1 or more")), std::nullopt;
    const QStringList formats{QStringLiteral("table"), QStringLiteral("csv"), QStringLiteral("json")};
    if (!formats.contains(parser.value(format)))
        return refuse(QStringLiteral("--format is table, csv or json")), std::nullopt;
    options.format = static_cast<ReportFormat>(formats.indexOf(parser.value(format)));
    options.plot = parser.value(plot);
    options.scratchParent = parser.value(scratch);
    if (parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("no file or folder to measure; see --help")), std::nullopt;
    for (const QString &argument : parser.positionalArguments())
        if (!collect(argument, options.sweep.files))
            return std::nullopt;
    if (options.sweep.files.isEmpty())
        return refuse(QStringLiteral("no regular file under the folders given")), std::nullopt;
    options.sweep.libraries = parser.values(library);
    for (const QString &given : options.sweep.libraries)
        if (!readable(given))
            return std::nullopt;
    if (options.sweep.libraries.isEmpty())
        options.sweep.libraries << QStringLiteral(NORVIK_LIBRARY_FILE);
    return options;
}
