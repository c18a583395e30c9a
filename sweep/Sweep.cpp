#include "Sweep.h"

#include "Deal.h"
#include "FileName.h"
#include "Files.h"
#include "Interruption.h"
#include "Progress.h"
#include "Workers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <functional>
#include <map>

using namespace std::chrono_literals;

namespace {

// A call that used other threads' CPU time beyond this share, or any child
// process's, did not run on the calling thread alone.
constexpr double OtherThreads = 0.05;
constexpr std::chrono::microseconds Slack{100};

// One pair's files: the user's, and the three in its folder of the scratch;
// and the files a new worker's first call takes (see PairRun::prime).
struct PairFiles {
    QByteArray original, copy, packed, unpacked;
    QByteArray primer, primerPacked, primerUnpacked;
};

// A file of the sweep's own for a new worker's first call: text of a few
// thousand words in a varied order, which any codec has work to do on.
bool writePrimer(const QByteArray &name)
{
    QFile file(QFile::decodeName(name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text;
    static const char *const Words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "a ", "lazy ", "dog; ",
                                        "compression ", "of ", "files ", "is ", "measured ", "here.\n"};
    for (unsigned state = 1; text.size() < (64 << 10);) {
        state = state * 1103515245u + 12345u;
        text += Words[(state >> 16) % std::size(Words)];
    }
    return file.write(text) == text.size();
}

// What one call of a worker gave.
struct Took {
    std::chrono::nanoseconds wall, cpu, threadCpu, childCpu;
    long long faults, childFaults;
};

std::optional<Took> tookFrom(const QByteArray &line, long long call)
{
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 8 || words[0] != "took" || words[1].toLongLong() != call)
        return std::nullopt;
    const auto ns = [&](int i) { return std::chrono::nanoseconds(words[i].toLongLong()); };
    return Took{ns(2), ns(3), ns(4), ns(5), words[6].toLongLong(), words[7].toLongLong()};
}

double seconds(std::chrono::nanoseconds time)
{
    return std::chrono::duration<double>(time).count();
}

// Measures one library on one file, a direction at a time.
class PairRun {
public:
    PairRun(const SweepSettings &settings, Workers &workers, std::size_t library, Measurement &measured,
            const PairFiles &files, Progress &progress, QString where, std::function<void(long long)> forked,
            long long &calls)
        : settings_(settings), workers_(workers), library_(library), measured_(measured), files_(files),
          progress_(progress), where_(std::move(where)), forked_(std::move(forked)), calls_(calls)
    {
    }

    // False once the pair is over: it failed, or a signal arrived.
    bool direction(bool compress)
    {
        compress_ = compress;
        DirectionSamples &samples = compress ? measured_.compress : measured_.decompress;
        std::chrono::nanoseconds spent{0};
        bool childrenRan = false;
        WorkerProcess *worker = nullptr;
        for (int call = 1 - settings_.warmup; (call <= settings_.runs || spent < least()) && !(most() > 0ns && spent >= most()); ++call) {
            run_ = std::max(call, 0);
            if (!worker && !(worker = begin()))
                return false;
            const std::optional<Took> took = callOnce(*worker, compress ? files_.copy : files_.packed,
                                                      compress ? files_.packed : files_.unpacked);
            if (!took)
                return false;
            if (measured_.status != RowStatus::Ok) { // a process the library forked came back
                workers_.retire(library_, compress);
                return false;
            }
            if (!samples.firstSeconds)
                samples.firstSeconds = seconds(took->wall);
            if (run_ > 0) {
                samples.seconds.push_back(seconds(took->wall));
                samples.cpuSeconds.push_back(seconds(took->cpu + took->childCpu));
                samples.faults.push_back(double(took->faults + took->childFaults));
                samples.oneThread = samples.oneThread && took->childCpu.count() == 0
                                    && took->cpu - took->threadCpu <= OtherThreads * took->cpu + Slack;
                spent += took->wall;
            }
            childrenRan = childrenRan || took->childCpu.count() > 0 || took->childFaults > 0;
            if (!checked())
                return false;
            if (settings_.fresh) {
                if (!end(*worker, samples))
                    return false;
                worker = nullptr;
            }
        }
        if (worker && !end(*worker, samples))
            return false;
        if (childrenRan && !settings_.fresh) {
            workers_.noteChildren(library_, compress);
            workers_.retire(library_, compress);
        }
        return true;
    }

private:
    std::chrono::nanoseconds least() const
    {
        return std::chrono::nanoseconds(static_cast<long long>(settings_.minTime * 1e9));
    }
    // After at least one timed call, as they all took some time.
    std::chrono::nanoseconds most() const
    {
        return std::chrono::nanoseconds(static_cast<long long>(settings_.maxTime * 1e9));
    }

    QString inCall() const
    {
        const char *direction = compress_ ? "compress" : "decompress";
        if (priming_)
            return QStringLiteral("a first %1 call on a sample file").arg(QLatin1String(direction));
        return QStringLiteral("%1 %2").arg(direction, run_ == 0 ? QStringLiteral("warm-up") : QString::number(run_));
    }

    bool fail(RowStatus status, const QString &reason)
    {
        measured_.status = status;
        measured_.reason = reason;
        return false;
    }

    QDeadlineTimer deadline() const
    {
        return QDeadlineTimer(settings_.timeout);
    }

    WorkerProcess *begin()
    {
        const auto got = workers_.get(library_, compress_, deadline());
        if (const auto *refused = std::get_if<Workers::Refused>(&got)) {
            fail(refused->timedOut ? RowStatus::Timeout : refused->loaded ? RowStatus::Failed : RowStatus::Crashed,
                 refused->timedOut ? QStringLiteral("no answer within %1 s %2").arg(settings_.timeout.count()).arg(refused->why)
                                   : refused->why);
            return nullptr;
        }
        const Workers::Ready &ready = std::get<Workers::Ready>(got);
        measured_.library = ready.loaded;
        measured_.codecs = ready.codecs;
        if (ready.started && !settings_.fresh && !workers_.runsChildren(library_, compress_)) {
            const std::optional<Took> primed = prime(*ready.process);
            if (!primed)
                return nullptr;
            // The peak of a child is the largest one's a worker ever waited
            // for: a library that runs children gets a worker that made no
            // call before the file's.
            if (primed->childCpu.count() > 0 || primed->childFaults > 0) {
                workers_.noteChildren(library_, compress_);
                workers_.retire(library_, compress_);
                return begin();
            }
        }
        if (!ready.process->send("begin"))
            return lost(*ready.process), nullptr;
        return ready.process;
    }

    // What ended a worker in the middle of the pair.
    bool lost(WorkerProcess &worker)
    {
        if (Interruption::signal())
            return false;
        const bool timedOut = worker.silence() == WorkerProcess::Silence::TimedOut;
        worker.kill();
        const QString how = timedOut ? QStringLiteral("no answer within %1 s").arg(settings_.timeout.count()) : worker.ending();
        workers_.retire(library_, compress_);
        return fail(timedOut ? RowStatus::Timeout : RowStatus::Crashed, how + QStringLiteral(" in ") + inCall());
    }

    // The worker's next line other than a forked process's, or nothing once
    // it ended, timed out, or a signal arrived.
    std::optional<QByteArray> next(WorkerProcess &worker, const QDeadlineTimer &until)
    {
        for (;;) {
            std::optional<QByteArray> line = worker.next(until);
            if (!line && worker.silence() == WorkerProcess::Silence::Interrupted && !Interruption::signal())
                continue;
            if (line && line->startsWith("forked ")) {
                forked_(line->mid(7).toLongLong());
                continue;
            }
            return line;
        }
    }

    // A new worker's first call is on a file of the sweep's own, so that
    // what a library does once in a process (tables it makes, pages it
    // first touches) is not taken for the file's first call: a first call
    // far slower than the later ones then says that they had help. The
    // decompressing worker takes what a compressing worker made of it.
    std::optional<Took> prime(WorkerProcess &worker)
    {
        const QByteArray &input = compress_ ? files_.primer : files_.primerPacked;
        if (!compress_ && !QFile::exists(QFile::decodeName(input)))
            return Took{};
        priming_ = true;
        const std::optional<Took> primed = callOnce(worker, input, compress_ ? files_.primerPacked : files_.primerUnpacked);
        priming_ = false;
        return primed;
    }

    std::optional<Took> callOnce(WorkerProcess &worker, const QByteArray &input, const QByteArray &output)
    {
        if (Interruption::signal()) // between two calls: no more
            return std::nullopt;
        QFile::remove(QFile::decodeName(output));
        before_ = stampOf(input);
        progress_.show(where_ + QStringLiteral(" \u00b7 ") + inCall()
                       + (run_ == 0 || priming_ ? QString() : QStringLiteral("/%1").arg(settings_.runs)));
        const long long call = ++calls_;
        Interruption::setWorker(worker.pid());
        const bool sent = worker.send("call " + QByteArray::number(call) + ' ' + input.toHex() + ' ' + output.toHex());
        const std::optional<QByteArray> line = sent ? next(worker, deadline()) : std::nullopt;
        Interruption::setWorker(0);
        const std::optional<Took> took = line ? tookFrom(*line, call) : std::nullopt;
        if (!took) {
            if (line) // not the worker's word: nothing more it says can be trusted
                worker.kill();
            lost(worker);
        }
        return took;
    }

    // What the call left: its source as it was, an output of its own, and
    // decompressing, the user's file again.
    bool checked()
    {
        const QByteArray &input = compress_ ? files_.copy : files_.packed, &output = compress_ ? files_.packed : files_.unpacked;
        if (const std::optional<QString> why = notAFileOfItsOwn(output, !compress_ || measured_.size == 0))
            return fail(RowStatus::Failed, *why);
        if (stampOf(input) != before_)
            return fail(RowStatus::Failed, QStringLiteral("the library changed or removed its source file"));
        if (!compress_ && !sameContent(files_.original, files_.unpacked))
            return fail(RowStatus::Mismatch, run_ == 0 ? QStringLiteral("the warm-up call gave back other bytes")
                                                       : QStringLiteral("run %1 gave back other bytes").arg(run_));
        if (compress_)
            measured_.compressed = static_cast<unsigned long long>(QFileInfo(QFile::decodeName(output)).size());
        return true;
    }

    bool end(WorkerProcess &worker, DirectionSamples &samples)
    {
        const std::optional<QByteArray> line = worker.send("end") ? next(worker, deadline()) : std::nullopt;
        const QList<QByteArray> words = line ? line->split(' ') : QList<QByteArray>();
        if (words.size() != 4 || words[0] != "peak") {
            if (line)
                worker.kill();
            return lost(worker);
        }
        const double above = words[1].toDouble() / 1024, child = words[2].toDouble() / 1024, own = words[3].toDouble() / 1024;
        samples.peakMiB = std::max(samples.peakMiB.value_or(0), above + child);
        samples.processPeakMiB = std::max(samples.processPeakMiB.value_or(0), own + child);
        if (settings_.fresh)
            workers_.retire(library_, compress_);
        return true;
    }

    const SweepSettings &settings_;
    Workers &workers_;
    std::size_t library_;
    Measurement &measured_;
    const PairFiles &files_;
    Progress &progress_;
    QString where_;
    std::function<void(long long)> forked_;
    long long &calls_;
    bool compress_ = true, priming_ = false;
    int run_ = 0;
    std::optional<Stamp> before_;
};

// The copy's name: the file's own, in a folder of the pair's.
PairFiles filesOf(const QByteArray &file, const QString &folder, const QString &scratch, std::size_t library)
{
    const QByteArray where = QFile::encodeName(folder), primer = QFile::encodeName(scratch) + "/primer";
    const QByteArray own = primer + '-' + QByteArray::number(qulonglong(library));
    return {file, where + "/in/" + file.mid(file.lastIndexOf('/') + 1), where + "/packed", where + "/unpacked",
            primer, own + ".packed", own + ".unpacked"};
}

} // namespace

QString workerProgram()
{
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString &folder : {here, here + QStringLiteral("/../" BREVIMETER_LIBRARY_DIR)}) {
        const QFileInfo file(folder + QStringLiteral("/brevimeter-bench-worker"));
        if (file.isExecutable())
            return QDir::cleanPath(file.absoluteFilePath());
    }
    return {};
}

SweepResult sweep(const SweepSettings &settings, const std::vector<unsigned long long> &sizes, Progress &progress)
{
    const std::vector<int> shardOf = dealt(settings.libraries.size(), sizes, settings.shards);
    std::vector<std::pair<std::size_t, unsigned long long>> planned;
    for (std::size_t pair = 0; pair < shardOf.size(); ++pair)
        if (shardOf[pair] == settings.shard)
            planned.emplace_back(pair % settings.libraries.size(), pairWeight(sizes[pair / settings.libraries.size()]));
    progress.plan(planned);
    SweepResult result;
    writePrimer(QFile::encodeName(settings.scratch) + "/primer");
    Workers workers(settings.worker, settings.libraries, settings.threads);
    std::map<long long, std::size_t> callOwner; // each call's pair, among the measurements
    long long calls = 0;
    const auto forked = [&](long long call) {
        const auto owner = callOwner.upper_bound(call);
        if (owner == callOwner.begin())
            return;
        Measurement &measured = result.measurements.at(std::prev(owner)->second);
        measured.status = RowStatus::Failed;
        measured.reason = QStringLiteral("a process the library forked returned from the call");
    };
    for (std::size_t file = 0; file < settings.files.size(); ++file) {
        for (std::size_t library = 0; library < settings.libraries.size(); ++library) {
            if (shardOf[file * settings.libraries.size() + library] != settings.shard)
                continue;
            const LibraryChoice &choice = settings.libraries[library];
            const QString folder = settings.scratch + QLatin1Char('/') + QString::number(result.measurements.size());
            QDir().mkpath(folder + QStringLiteral("/in"));
            const PairFiles files = filesOf(settings.files[file], folder, settings.scratch, library);
            const QString where = QStringLiteral("%1 \u00b7 %2").arg(shownName(settings.files[file].mid(settings.files[file].lastIndexOf('/') + 1)),
                                                                      shownName(choice.label.toUtf8()));
            callOwner[calls + 1] = result.measurements.size();
            result.measurements.push_back({choice.label, choice.file, settings.files[file], sizes[file]});
            result.measurements.back().threads = settings.threads;
            Measurement &measured = result.measurements.back();
            PairRun run(settings, workers, library, measured, files, progress, where, forked, calls);
            if (!copyInto(files.original, files.copy)) {
                measured.status = RowStatus::Failed;
                measured.reason = QStringLiteral("the file could not be copied into the scratch folder");
            } else if (run.direction(true)) {
                run.direction(false);
            }
            std::error_code ignored; // by bytes: a name the system's encoding does not carry goes too
            std::filesystem::remove_all(QFile::encodeName(folder).toStdString(), ignored);
            if (Interruption::signal()) { // the pair in hand was cut short
                result.measurements.pop_back();
                result.complete = false;
                return result;
            }
            progress.done(library, pairWeight(sizes[file]));
        }
    }
    return result;
}
