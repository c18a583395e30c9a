#include "Options.h"

#include "FileName.h"
#include "LevelRange.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
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

// One file under two names (given twice, or in a folder and by itself)
// would be measured twice and its figures counted twice in the totals.
bool eachOnce(const std::vector<QByteArray> &files)
{
    std::map<std::pair<dev_t, ino_t>, QByteArray> seen;
    for (const QByteArray &file : files) {
        struct stat status {};
        if (::stat(file.constData(), &status) != 0)
            return refuse(file, std::strerror(errno));
        const auto [first, fresh] = seen.emplace(std::pair(status.st_dev, status.st_ino), file);
        if (!fresh)
            return refuse(QStringLiteral("%1 and %2 are one file; give it once").arg(shownName(first->second), shownName(file)));
    }
    return true;
}

// What --library names, each with a label of its own; a reference's levels
// in one argument are a library each.
bool chooseLibraries(const QStringList &given, std::vector<LibraryChoice> &libraries)
{
    for (const QString &argument : given) {
        const auto expanded = expandedLevels(argument);
        if (const QString *why = std::get_if<QString>(&expanded))
            return refuse(*why);
        const QString name = argument.section(QLatin1Char('='), -1).section(QLatin1Char(':'), 0, 0);
        const bool reference = std::any_of(references().begin(), references().end(),
                                           [&](const Reference &r) { return name == QLatin1String(r.name); });
        for (const QString &named : reference ? std::get<QStringList>(expanded) : QStringList{argument}) {
            const auto choice = chooseLibrary(named);
            if (const QString *why = std::get_if<QString>(&choice))
                return refuse(*why);
            const LibraryChoice &chosen = std::get<LibraryChoice>(choice);
            if (!readable(QFile::encodeName(chosen.file)))
                return false;
            if (std::any_of(libraries.begin(), libraries.end(), [&](const LibraryChoice &l) { return l.label == chosen.label; }))
                return refuse(QStringLiteral("two libraries are labelled %1; name them with LABEL=").arg(shownName(chosen.label.toUtf8())));
            libraries.push_back(chosen);
        }
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

// A file written at the end: refused now, before anything runs, where it
// could not be written then. Nothing is left where it was not.
bool writable(const QString &name)
{
    QFile file(name);
    const bool existed = file.exists();
    if (!file.open(QIODevice::Append))
        return refuse(QStringLiteral("%1: %2").arg(shownName(QFile::encodeName(name)), file.errorString()));
    file.close();
    return existed || file.remove();
}

// A number of an option, within bounds, or why not.
template <typename Number>
std::optional<Number> number(const QCommandLineParser &parser, const QString &option, Number lowest, Number highest,
                             const char *what)
{
    bool ok = false;
    const double value = parser.value(option).toDouble(&ok);
    if (!ok || !(value >= double(lowest) && value <= double(highest)) || (std::is_integral_v<Number> && value != std::floor(value))) {
        refuse(QStringLiteral("--%1 wants %2, from %3 to %4").arg(option, QLatin1String(what)).arg(double(lowest), 0, 'g', 15).arg(double(highest), 0, 'g', 15));
        return std::nullopt;
    }
    return Number(value);
}

struct Described {
    const char *name, *description, *value, *standard;
};

// The options, in the order --help lists them.
constexpr Described Table[] = {
    {"library", "A library to measure: a library file, or a reference library as NAME or NAME:LEVEL (levels as "
                "A-B or A,B,C: one library each), with LABEL= before it to name its rows; repeat to compare several. "
                "Default: the one the window loads.", "[label=]library", nullptr},
    {"list-libraries", "List the reference libraries, their levels and files, and stop.", nullptr, nullptr},
    {"runs", "Timed calls each way (default 5).", "n", "5"},
    {"warmup", "Uncounted calls each way before the timed ones (default 1).", "n", "1"},
    {"min-time", "Go on calling until the timed calls also add up to this many seconds (default 0).", "seconds", "0"},
    {"max-time", "Make no more timed calls once they add up to this many seconds, each way, at least one "
                 "(default 0: no bound).", "seconds", "0"},
    {"threads", "Threads each shipped library may use (BREVIMETER_THREADS; default 1).", "n", "1"},
    {"fresh", "Make every call, warm-up or timed, in a process of its own: for a library that may keep results "
              "between calls.", nullptr, nullptr},
    {"timeout", "Seconds any one call may take before its row is a timeout (default 3600).", "seconds", "3600"},
    {"scratch", "Where to make the private folder for the work (default: $TMPDIR).", "dir", nullptr},
    {"format", "The report on standard output: table (default), csv or json.", "format", "table"},
    {"output", "Also write the report to this file, as JSON or CSV by its name's end (.json, .csv); repeat for "
               "more.", "file", nullptr},
    {"plot", "Also draw ratio against compress and decompress speed, as SVG.", "file.svg", nullptr},
    {"shard", "Measure only shard I of N of the (library, file) pairs, for --merge.", "I/N", "1/1"},
    {"merge", "Join the JSON reports of the shards of one sweep, given as the arguments, instead of measuring.",
     nullptr, nullptr},
    {"compare", "Set two JSON reports, BEFORE and AFTER, side by side: each row's and each library's change in size "
                "and speed, with a 95% confidence interval.", nullptr, nullptr},
    {"fail-if-slower", "With --compare: exit 1 when a speed fell significantly by more than this many percent.",
     "percent", nullptr},
};

// An option the mode would not use is refused rather than ignored: a user
// who gives --runs to --merge expects it to do something.
bool fitsTheMode(const QCommandLineParser &parser)
{
    const QStringList modes{QStringLiteral("list-libraries"), QStringLiteral("merge"), QStringLiteral("compare")};
    QStringList given;
    for (const QString &mode : modes)
        if (parser.isSet(mode))
            given << mode;
    if (given.size() > 1)
        return refuse(QStringLiteral("--%1 and --%2: one at a time").arg(given[0], given[1]));
    if (given.isEmpty())
        return true;
    QStringList unused{QStringLiteral("library"), QStringLiteral("runs"), QStringLiteral("warmup"), QStringLiteral("min-time"),
                       QStringLiteral("max-time"), QStringLiteral("threads"), QStringLiteral("fresh"), QStringLiteral("timeout"),
                       QStringLiteral("scratch"), QStringLiteral("shard")};
    if (given[0] != QLatin1String("merge"))
        unused << QStringLiteral("plot");
    if (given[0] == QLatin1String("list-libraries"))
        unused << QStringLiteral("output");
    const QStringList named = parser.optionNames(); // as given, defaults aside
    for (const QString &option : unused)
        if (named.contains(option))
            return refuse(QStringLiteral("--%1 does nothing with --%2").arg(option, given[0]));
    return true;
}

} // namespace

std::optional<Options> parseOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures compression libraries over many files: each file is compressed and decompressed\n"
        "several times by each library, every round trip is checked byte for byte, and what one\n"
        "process compressed is given back by another that never compressed it."));
    const QCommandLineOption help = parser.addHelpOption(), version = parser.addVersionOption();
    for (const Described &option : Table) {
        QCommandLineOption made(QString::fromLatin1(option.name), QString::fromLatin1(option.description));
        if (option.value)
            made.setValueName(QString::fromLatin1(option.value));
        if (option.standard)
            made.setDefaultValue(QString::fromLatin1(option.standard));
        if (option.name == std::string("scratch"))
            made.setDefaultValue(QDir::tempPath());
        parser.addOption(made);
    }
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("Files, or folders of files, to measure (with --merge, the shards' JSON "
                                                "reports; with --compare, BEFORE.json and AFTER.json)."),
                                 QStringLiteral("FILE|FOLDER..."));
    if (!parser.parse(arguments))
        return refuse(parser.errorText().remove(QRegularExpression(QStringLiteral("\\.$"))) + QStringLiteral("; see --help")),
               std::nullopt;
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    Options options;
    SweepSettings &sweep = options.sweep;
    const auto runs = number(parser, QStringLiteral("runs"), 1, 1'000'000, "a whole number");
    const auto warmup = number(parser, QStringLiteral("warmup"), 0, 1'000'000, "a whole number");
    const auto minTime = runs && warmup ? number(parser, QStringLiteral("min-time"), 0.0, 1e6, "seconds") : std::nullopt;
    const auto maxTime = minTime ? number(parser, QStringLiteral("max-time"), 0.0, 1e6, "seconds") : std::nullopt;
    const auto threads = maxTime ? number(parser, QStringLiteral("threads"), 1, 1024, "a whole number") : std::nullopt;
    const auto timeout = threads ? number(parser, QStringLiteral("timeout"), 1LL, 1'000'000'000LL, "a whole number of seconds")
                                 : std::nullopt;
    if (!timeout)
        return std::nullopt;
    sweep.runs = *runs, sweep.warmup = *warmup, sweep.minTime = *minTime, sweep.maxTime = *maxTime, sweep.threads = *threads;
    sweep.timeout = std::chrono::seconds(*timeout);
    sweep.fresh = parser.isSet(QStringLiteral("fresh"));
    if (sweep.maxTime > 0 && sweep.maxTime < sweep.minTime)
        return refuse(QStringLiteral("--max-time is below --min-time")), std::nullopt;
    if (!readShard(parser.value(QStringLiteral("shard")), sweep))
        return std::nullopt;
    const QStringList formats{QStringLiteral("table"), QStringLiteral("csv"), QStringLiteral("json")};
    if (!formats.contains(parser.value(QStringLiteral("format"))))
        return refuse(QStringLiteral("--format is table, csv or json")), std::nullopt;
    options.format = static_cast<ReportFormat>(formats.indexOf(parser.value(QStringLiteral("format"))));
    for (const QString &file : parser.values(QStringLiteral("output"))) {
        const bool json = file.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
        if (!json && !file.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
            return refuse(QStringLiteral("--output wants a file name ending in .json or .csv")), std::nullopt;
        options.outputs.push_back({file, json ? ReportFormat::Json : ReportFormat::Csv});
    }
    options.plot = parser.value(QStringLiteral("plot"));
    if (!options.plot.isEmpty() && !options.plot.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        return refuse(QStringLiteral("--plot wants a file name ending in .svg")), std::nullopt;
    options.scratchParent = parser.value(QStringLiteral("scratch"));
    if (parser.isSet(QStringLiteral("fail-if-slower"))) {
        options.failIfSlower = number(parser, QStringLiteral("fail-if-slower"), 0.0, 100.0, "a percentage");
        if (!options.failIfSlower)
            return std::nullopt;
        if (!parser.isSet(QStringLiteral("compare")))
            return refuse(QStringLiteral("--fail-if-slower goes with --compare")), std::nullopt;
    }

    const QStringList positional = parser.positionalArguments();
    options.mode = parser.isSet(QStringLiteral("list-libraries")) ? Mode::List
                   : parser.isSet(QStringLiteral("merge"))        ? Mode::Merge
                   : parser.isSet(QStringLiteral("compare"))      ? Mode::Compare
                                                                  : Mode::Sweep;
    if (!fitsTheMode(parser))
        return std::nullopt;
    if (options.mode == Mode::List)
        return options;
    if (options.mode == Mode::Merge && positional.isEmpty())
        return refuse(QStringLiteral("--merge wants the JSON reports of the shards to join")), std::nullopt;
    if (options.mode == Mode::Compare && positional.size() != 2)
        return refuse(QStringLiteral("--compare wants two JSON reports, BEFORE and AFTER")), std::nullopt;
    if (options.mode == Mode::Sweep) {
        if (positional.isEmpty())
            return refuse(QStringLiteral("no file or folder to measure; see --help")), std::nullopt;
        for (const QString &argument : positional)
            if (!collect(argument, sweep.files))
                return std::nullopt;
        if (sweep.files.empty())
            return refuse(QStringLiteral("no regular file under the folders given")), std::nullopt;
        if (!eachOnce(sweep.files))
            return std::nullopt;
        if (!chooseLibraries(parser.values(QStringLiteral("library")), sweep.libraries))
            return std::nullopt;
    } else {
        options.reports = positional;
    }
    for (const QString &file : QStringList{options.plot} + [&] {
             QStringList files;
             for (const Output &output : options.outputs)
                 files << output.file;
             return files;
         }())
        if (!file.isEmpty() && !writable(file))
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
    // What changes what a shipped library does, as the sweep found it; the
    // sweep sets BREVIMETER_THREADS, and BREVIMETER_LEVEL for a reference's level.
    QJsonObject environment;
    for (const char *name : {"BREVIMETER_LEVEL", "BREVIMETER_THREADS", "ZSTD_CLEVEL", "ZSTD_NBTHREADS"})
        if (qEnvironmentVariableIsSet(name))
            environment.insert(QLatin1String(name), qEnvironmentVariable(name));
    return {{QStringLiteral("runs"), settings.runs},
            {QStringLiteral("warmup"), settings.warmup},
            {QStringLiteral("min_time"), settings.minTime},
            {QStringLiteral("max_time"), settings.maxTime},
            {QStringLiteral("threads"), settings.threads},
            {QStringLiteral("fresh"), settings.fresh},
            {QStringLiteral("timeout"), double(settings.timeout.count())},
            {QStringLiteral("environment"), environment},
            {QStringLiteral("libraries"), libraries},
            {QStringLiteral("files"), files},
            {QStringLiteral("shard"), QStringLiteral("%1/%2").arg(settings.shard).arg(settings.shards)}};
}
