#include "Options.h"

#include "FileName.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
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

// What --library names, each with a label of its own.
bool chooseLibraries(const QStringList &given, std::vector<LibraryChoice> &libraries)
{
    for (const QString &named : given) {
        const auto choice = chooseLibrary(named);
        if (const QString *why = std::get_if<QString>(&choice))
            return refuse(*why);
        const LibraryChoice &chosen = std::get<LibraryChoice>(choice);
        if (!readable(QFile::encodeName(chosen.file)))
            return false;
        if (std::any_of(libraries.begin(), libraries.end(), [&](const LibraryChoice &l) { return l.label == chosen.label; }))
            return refuse(QStringLiteral("two libraries are labelled %1; name them with LABEL=").arg(chosen.label));
        libraries.push_back(chosen);
    }
    if (libraries.empty())
        libraries.push_back({QStringLiteral(NORVIK_LIBRARY_FILE), QStringLiteral(NORVIK_LIBRARY_FILE), std::nullopt,
                             QStringLiteral(NORVIK_LIBRARY_FILE)});
    return true;
}

// "I/N", 1 <= I <= N.
bool readShard(const QString &text, SweepSettings &settings)
{
    bool ok = false, whole = false;
    settings.shard = text.section(QLatin1Char('/'), 0, 0).toInt(&ok);
    settings.shards = text.section(QLatin1Char('/'), 1).toInt(&whole);
    if (!ok || !whole || text.count(QLatin1Char('/')) != 1 || settings.shards < 1 || settings.shard < 1 || settings.shard > settings.shards)
        return refuse(QStringLiteral("--shard wants I/N, a shard I of N shards, 1 <= I <= N"));
    return true;
}

// The chart's file, written at the end: refused now, before anything runs,
// where it could not be written then. Nothing is left where it was not.
bool plotWritable(const QString &plot)
{
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
    const QCommandLineOption help = parser.addHelpOption(), version = parser.addVersionOption();
    const QCommandLineOption library(QStringLiteral("library"),
        QStringLiteral("A library to measure: a library file, or a reference library as NAME or NAME:LEVEL, "
                       "with LABEL= before it to name its rows; repeat to compare several. Default: the one the "
                       "window loads."),
        QStringLiteral("[label=]library"));
    const QCommandLineOption list(QStringLiteral("list-libraries"),
                                  QStringLiteral("List the reference libraries, their levels and files, and stop."));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Timed runs of each call (default 5)."),
                                  QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption warmup(QStringLiteral("warmup"),
        QStringLiteral("Uncounted calls each way before the timed ones (default 1)."), QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption minTime(QStringLiteral("min-time"),
        QStringLiteral("Repeat each call until its timed runs also add up to this many seconds (default 0)."),
        QStringLiteral("seconds"), QStringLiteral("0"));
    const QCommandLineOption shard(QStringLiteral("shard"),
        QStringLiteral("Measure only part I of N equal parts of the (library, file) pairs, for --merge."),
        QStringLiteral("I/N"), QStringLiteral("1/1"));
    const QCommandLineOption fresh(QStringLiteral("fresh"),
        QStringLiteral("Make every call, warm-up or timed, in a process of its own: for a library that may keep "
                       "results between calls."));
    const QCommandLineOption merging(QStringLiteral("merge"),
        QStringLiteral("Join JSON reports of the parts of one sweep, given as the arguments, instead of measuring."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
        QStringLiteral("Seconds any one call may take before its row is a timeout (default 3600)."),
        QStringLiteral("seconds"), QStringLiteral("3600"));
    const QCommandLineOption scratch(QStringLiteral("scratch"),
        QStringLiteral("Where to make the private folder for the work (default: $TMPDIR)."), QStringLiteral("dir"),
        QDir::tempPath());
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("table (default), csv or json."),
                                    QStringLiteral("format"), QStringLiteral("table"));
    const QCommandLineOption plot(QStringLiteral("plot"), QStringLiteral("Also draw ratio against compress and decompress speed, as SVG."),
                                  QStringLiteral("file.svg"));
    parser.addOptions({library, list, runs, warmup, minTime, fresh, timeout, scratch, format, plot, shard, merging});
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Files, or folders of files, to measure (with --merge: the JSON reports)."),
                                 QStringLiteral("FILE|FOLDER..."));
    if (!parser.parse(arguments))
        return refuse(parser.errorText().remove(QRegularExpression(QStringLiteral("\\.$"))) + QStringLiteral("; see --help")),
               std::nullopt;
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    Options options;
    bool ok = true;
    options.sweep.runs = parser.value(runs).toInt(&ok);
    if (!ok || options.sweep.runs < 1)
        return refuse(QStringLiteral("--runs wants a whole number of 1 or more")), std::nullopt;
    options.sweep.warmup = parser.value(warmup).toInt(&ok);
    if (!ok || options.sweep.warmup < 0)
        return refuse(QStringLiteral("--warmup wants a whole number of 0 or more")), std::nullopt;
    options.sweep.fresh = parser.isSet(fresh);
    options.sweep.minTime = parser.value(minTime).toDouble(&ok);
    if (!ok || !(options.sweep.minTime >= 0 && options.sweep.minTime <= 1e6))
        return refuse(QStringLiteral("--min-time wants seconds, from 0 to 1000000")), std::nullopt;
    if (!readShard(parser.value(shard), options.sweep))
        return std::nullopt;
    options.sweep.timeout = std::chrono::seconds(parser.value(timeout).toLongLong(&ok));
    if (!ok || options.sweep.timeout.count() < 1 || options.sweep.timeout.count() > 1'000'000'000)
        return refuse(QStringLiteral("--timeout wants a whole number of seconds, from 1 to 1000000000")), std::nullopt;
    const QStringList formats{QStringLiteral("table"), QStringLiteral("csv"), QStringLiteral("json")};
    if (!formats.contains(parser.value(format)))
        return refuse(QStringLiteral("--format is table, csv or json")), std::nullopt;
    options.format = static_cast<ReportFormat>(formats.indexOf(parser.value(format)));
    options.plot = parser.value(plot);
    options.scratchParent = parser.value(scratch);
    options.listLibraries = parser.isSet(list);
    if (options.listLibraries)
        return options;
    if (!options.plot.isEmpty() && !options.plot.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        return refuse(QStringLiteral("--plot wants a file name ending in .svg")), std::nullopt;
    if (parser.isSet(merging)) {
        options.merge = parser.positionalArguments();
        if (options.merge.isEmpty())
            return refuse(QStringLiteral("--merge wants the JSON reports to join")), std::nullopt;
        if (!options.plot.isEmpty() && !plotWritable(options.plot))
            return std::nullopt;
        return options;
    }
    if (parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("no file or folder to measure; see --help")), std::nullopt;
    for (const QString &argument : parser.positionalArguments())
        if (!collect(argument, options.sweep.files))
            return std::nullopt;
    if (options.sweep.files.empty())
        return refuse(QStringLiteral("no regular file under the folders given")), std::nullopt;
    if (!chooseLibraries(parser.values(library), options.sweep.libraries))
        return std::nullopt;
    if (!options.plot.isEmpty() && !plotWritable(options.plot))
        return std::nullopt;
    return options;
}

std::vector<std::pair<QString, QJsonValue>> recorded(const SweepSettings &settings)
{
    QJsonArray libraries, files;
    for (const LibraryChoice &library : settings.libraries)
        libraries.append(QJsonObject{{QStringLiteral("label"), library.label}, {QStringLiteral("library"), library.given}});
    for (const QByteArray &file : settings.files)
        files.append(textOfBytes(file));
    return {{QStringLiteral("runs"), settings.runs},
            {QStringLiteral("warmup"), settings.warmup},
            {QStringLiteral("min_time"), settings.minTime},
            {QStringLiteral("fresh"), settings.fresh},
            {QStringLiteral("timeout"), double(settings.timeout.count())},
            {QStringLiteral("libraries"), libraries},
            {QStringLiteral("files"), files},
            {QStringLiteral("shard"), QStringLiteral("%1/%2").arg(settings.shard).arg(settings.shards)}};
}
