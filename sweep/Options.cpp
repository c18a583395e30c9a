#include "Options.h"

#include "FileName.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool refuse(const QString &what)
{
    std::fprintf(stderr, "brevimeter-bench: %s\n", qPrintable(what));
    return false;
}

bool refuse(const QByteArray &name, const char *why)
{
    return refuse(shownName(name) + QStringLiteral(": ") + QString::fromLocal8Bit(why));
}

// A file that can be read, by the name the system gives it.
bool readable(const QByteArray &name)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return refuse(name, std::strerror(errno));
    ::close(fd);
    return true;
}

// Every regular file an argument names: itself, or all under a folder, each
// by its name as the system gives it.
bool collect(const QString &argument, std::vector<QByteArray> &files)
{
    const QByteArray given = QFile::encodeName(argument);
    struct stat status {};
    if (::stat(given.constData(), &status) != 0)
        return refuse(given, errno == ENOENT ? "no such file or folder" : std::strerror(errno));
    if (S_ISREG(status.st_mode)) {
        files.push_back(given);
        return readable(given);
    }
    if (!S_ISDIR(status.st_mode))
        return refuse(given, "neither a regular file nor a folder");
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<QByteArray> found;
    for (fs::recursive_directory_iterator it(given.toStdString(), error), end; it != end && !error; it.increment(error))
        if (it->is_regular_file())
            found.push_back(QByteArray::fromStdString(it->path().native()));
    if (error)
        return refuse(given, error.message().c_str());
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return std::all_of(found.begin(), found.end(), readable);
}

// A library file as the loader is to take it: a name in the current folder
// gets "./", which the loader would otherwise look up in its search order.
std::optional<QString> libraryFile(const QString &given)
{
    if (!QFileInfo(given).isFile())
        return refuse(given + QStringLiteral(": no such library file")), std::nullopt;
    if (!readable(QFile::encodeName(given)))
        return std::nullopt;
    return given.contains(QLatin1Char('/')) ? given : QStringLiteral("./") + given;
}

// The chart's file, written at the end: refused now, before anything runs,
// where it could not be written then. Nothing is left where it was not.
bool plotWritable(const QString &plot)
{
    if (!plot.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        return refuse(QStringLiteral("--plot wants a file name ending in .svg"));
    QFile file(plot);
    const bool existed = file.exists();
    if (!file.open(QIODevice::Append))
        return refuse(QStringLiteral("%1: %2").arg(plot, file.errorString()));
    file.close();
    return existed || file.remove();
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
        QStringLiteral("A library file to measure; repeat to compare several. Default: the one the window loads."),
        QStringLiteral("path"));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs of each call (default 5)."),
                                  QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Seconds any one call may take before its row is a timeout (default 3600)."),
        QStringLiteral("seconds"), QStringLiteral("3600"));
    const QCommandLineOption scratch(QStringLiteral("scratch"),
        QStringLiteral("Where to make the private folder for the work (default: $TMPDIR)."), QStringLiteral("dir"),
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
    options.sweep.timeout = std::chrono::seconds(parser.value(timeout).toLongLong(&ok));
    if (!ok || options.sweep.timeout.count() < 1 || options.sweep.timeout.count() > 1'000'000'000)
        return refuse(QStringLiteral("--timeout wants a whole number of seconds, from 1 to 1000000000")), std::nullopt;
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
    if (options.sweep.files.empty())
        return refuse(QStringLiteral("no regular file under the folders given")), std::nullopt;
    for (const QString &given : parser.values(library)) {
        const std::optional<QString> file = libraryFile(given);
        if (!file)
            return std::nullopt;
        options.sweep.libraries << *file;
    }
    if (options.sweep.libraries.isEmpty())
        options.sweep.libraries << QStringLiteral(NORVIK_LIBRARY_FILE);
    if (!options.plot.isEmpty() && !plotWritable(options.plot))
        return std::nullopt;
    return options;
}
