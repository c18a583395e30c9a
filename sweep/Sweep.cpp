#include "Sweep.h"

#include "Deal.h"
#include "Digest.h"
#include "FileName.h"
#include "Files.h"
#include "Interruption.h"
#include "Progress.h"
#include "Took.h"
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

// One pair's files. Compressing, the copy of the user's file and the
// outputs, in a folder of the compressing worker's; decompressing, a copy of
// the last output (and of any other output a compression wrote), in a folder
// of its own that holds nothing else: the compressing folder is gone by then.
// Both folders have names no library can foresee. And the files a new
// worker's first call takes (see PairRun::prime).
struct PairFiles {
    QByteArray original;
    QByteArray compressing, copy, packed, previous; // the compressing worker's folder, and its files
    QByteArray decompressing, given, unpacked;      // the decompressing worker's
    QByteArray primer, primerPacked, primerUnpacked;
};

// At most this many different outputs of one file's compressions are each
// decompressed; a library that writes more fails its row.
constexpr int MostOutputs = 20;

// A folder of the scratch's whose name is made at random, or nothing.
std::optional<QByteArray> freshFolder(const QString &scratch)
{
    QByteArray pattern = QFile::encodeName(scratch) + "/pair-XXXXXX";
    return ::mkdtemp(pattern.data()) ? std::optional(pattern) : std::nullopt;
}

void removeFolder(const QByteArray &folder)
{
    std::error_code ignored; // by bytes: a name the system's encoding does not carry goes too
    if (!folder.isEmpty())
        std::filesystem::remove_all(folder.toStdString(), ignored);
}

QByteArray numbered(const QByteArray &folder, const char *name, int number)
{
    return folder + '/' + name + '-' + QByteArray::number(number);
}

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

// Whether a forked copy of the worker came back from the call, or the worker
// found a process of the library's still running once the call returned
// (which it kills), it is one fault, whichever is seen first.
const QString WentOn = QStringLiteral("a process the library started went on after the call returned, "
                                      "doing work that no figure of the call holds");

double seconds(std::chrono::nanoseconds time)
{
    return std::chrono::duration<double>(time).count();
}

// Measures one library on one file, a direction at a time.
class PairRun {
public:
    PairRun(const SweepSettings &settings, Workers &workers, std::size_t library, Measurement &measured,
            PairFiles &files, Progress &progress, QString where, std::function<void(long long, pid_t)> calling,
            std::function<void(long long, pid_t)> forked, long long &calls)
        : settings_(settings), workers_(workers), library_(library), measured_(measured), files_(files),
          progress_(progress), where_(std::move(where)), calling_(std::move(calling)), forked_(std::move(forked)), calls_(calls)
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
            const std::optional<Took> took = callOnce(*worker, compress ? files_.copy : files_.given,
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
                samples.oneThread = samples.oneThread && onOneThread(*took);
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
        // Decompressing, every other output a compression wrote must come back whole too.
        for (int other = 0; !compress && other < outputs_; ++other) {
            if (!worker && !(worker = begin()))
                return false;
            checking_ = other + 1;
            if (!callOnce(*worker, numbered(files_.decompressing, "other", other), files_.unpacked) || !checked())
                return false;
        }
        checking_ = 0;
        if (worker && !end(*worker, samples))
            return false;
        if (compress && !handedOver())
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
        if (checking_ > 0)
            return QStringLiteral("decompressing the output of an earlier compression");
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
                if (const std::optional<long long> call = whole(line->mid(7)))
                    forked_(*call, worker.pid());
                continue;
            }
            if (line && line->startsWith("left ")) { // the worker's word on this call, before its figures
                fail(RowStatus::Failed, WentOn);
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
        calling_(call, worker.pid());
        Interruption::setWorker(worker.pid());
        const std::optional<std::chrono::nanoseconds> cpuBefore = mainThreadCpu(worker.pid());
        const auto sentAt = std::chrono::steady_clock::now();
        const bool sent = worker.send("call " + QByteArray::number(call) + ' ' + input.toHex() + ' ' + output.toHex());
        const std::optional<QByteArray> line = sent ? next(worker, deadline()) : std::nullopt;
        const auto seen = std::chrono::steady_clock::now() - sentAt;
        const std::optional<std::chrono::nanoseconds> cpuAfter = mainThreadCpu(worker.pid());
        Interruption::setWorker(0);
        std::optional<Took> took = line ? tookFrom(*line, call) : std::nullopt;
        if (!took) {
            if (line) // not the worker's word: nothing more it says can be trusted
                worker.kill();
            lost(worker);
            return took;
        }
        // A call already failed (it left a process running, which the worker
        // then ended on its own time) keeps its own reason.
        if (measured_.status != RowStatus::Ok)
            return took;
        if (const std::optional<QString> doubt = doubtAbout(*took, seen, cpuBefore && cpuAfter ? std::optional(*cpuAfter - *cpuBefore) : std::nullopt)) {
            worker.kill();
            workers_.retire(library_, compress_);
            fail(RowStatus::Failed, *doubt);
            return std::nullopt;
        }
        return took;
    }

    // What the call left: its source as it was, an output of its own, and
    // decompressing, the user's file again.
    bool checked()
    {
        const QByteArray input = compress_ ? files_.copy : checking_ ? numbered(files_.decompressing, "other", checking_ - 1) : files_.given;
        const QByteArray &output = compress_ ? files_.packed : files_.unpacked;
        if (const std::optional<QString> why = notAFileOfItsOwn(output, !compress_ || measured_.size == 0))
            return fail(RowStatus::Failed, *why);
        if (stampOf(input) != before_)
            return fail(RowStatus::Failed, QStringLiteral("the library changed or removed its source file"));
        if (!compress_ && !sameContent(files_.original, files_.unpacked))
            return fail(RowStatus::Mismatch, checking_ ? QStringLiteral("the output of an earlier compression gave back other bytes")
                                             : run_ == 0 ? QStringLiteral("the warm-up call gave back other bytes")
                                                         : QStringLiteral("run %1 gave back other bytes").arg(run_));
        return !compress_ || keptApart();
    }

    // Each compression's output against the one before: the same, it goes;
    // another, it is kept to be decompressed too. The last one is the packed file.
    bool keptApart()
    {
        const QString previous = QFile::decodeName(files_.previous), packed = QFile::decodeName(files_.packed);
        if (QFile::exists(previous) && !sameContent(files_.previous, files_.packed)) {
            if (outputs_ == MostOutputs)
                return fail(RowStatus::Failed, QStringLiteral("the compressions of the file wrote more than %1 different outputs").arg(MostOutputs));
            QFile::rename(previous, QFile::decodeName(numbered(files_.compressing, "other", outputs_++)));
        }
        QFile::remove(previous);
        return QFile::rename(packed, previous) || fail(RowStatus::Failed, QStringLiteral("the library's output cannot be kept"));
    }

    // To the decompressing worker's folder: copies of the outputs, which the
    // compressing worker never had; the compressing folder goes, copy and all.
    bool handedOver()
    {
        const std::optional<QByteArray> folder = freshFolder(settings_.scratch);
        bool copied = folder.has_value();
        if (folder) {
            files_.decompressing = *folder;
            files_.given = *folder + "/packed";
            files_.unpacked = *folder + "/unpacked";
            copied = copyInto(files_.previous, files_.given);
            for (int other = 0; copied && other < outputs_; ++other)
                copied = copyInto(numbered(files_.compressing, "other", other), numbered(*folder, "other", other));
        }
        removeFolder(files_.compressing);
        if (!copied)
            return fail(RowStatus::Failed, QStringLiteral("the library's output could not be copied for decompressing"));
        measured_.compressed = static_cast<unsigned long long>(QFileInfo(QFile::decodeName(files_.given)).size());
        return true;
    }

    bool end(WorkerProcess &worker, DirectionSamples &samples)
    {
        const std::optional<QByteArray> line = worker.send("end") ? next(worker, deadline()) : std::nullopt;
        const QList<QByteArray> words = line ? line->split(' ') : QList<QByteArray>();
        const std::optional<long long> kiB[] = {whole(words.value(1)), whole(words.value(2)), whole(words.value(3))};
        if (words.size() != 4 || words[0] != "peak" || !kiB[0] || !kiB[1] || !kiB[2]) {
            if (line)
                worker.kill();
            return lost(worker);
        }
        const double above = double(*kiB[0]) / 1024, child = double(*kiB[1]) / 1024, own = double(*kiB[2]) / 1024;
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
    PairFiles &files_;
    Progress &progress_;
    QString where_;
    std::function<void(long long, pid_t)> calling_, forked_; // a call made by that worker; said to have forked by it
    long long &calls_;
    bool compress_ = true, priming_ = false;
    int run_ = 0;
    int outputs_ = 0;  // other outputs the compressions wrote, kept apart
    int checking_ = 0; // while decompressing those: which, from 1
    std::optional<Stamp> before_;
};

// The compressing worker's files: the copy under the file's own name.
PairFiles filesOf(const QByteArray &file, const QByteArray &folder, const QString &scratch, std::size_t library)
{
    const QByteArray primer = QFile::encodeName(scratch) + "/primer";
    const QByteArray own = primer + '-' + QByteArray::number(qulonglong(library));
    PairFiles files;
    files.original = file;
    files.compressing = folder;
    files.copy = folder + "/in/" + file.mid(file.lastIndexOf('/') + 1);
    files.packed = folder + "/packed";
    files.previous = folder + "/previous";
    files.primer = primer;
    files.primerPacked = own + ".packed";
    files.primerUnpacked = own + ".unpacked";
    return files;
}

// Each library file's digest, read once, so that a report says which build
// it measured.
void noteDigests(std::vector<Measurement> &measurements)
{
    std::map<QString, QByteArray> digests;
    for (Measurement &measured : measurements) {
        if (!digests.count(measured.library)) {
            const std::optional<FileFacts> facts = factsOf(QFile::encodeName(measured.library));
            digests[measured.library] = facts ? facts->sha256 : QByteArray();
        }
        measured.librarySha256 = digests[measured.library];
    }
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
    // Each call's pair, among the measurements, and the worker it went to: a
    // forked process speaks for a call of its own worker's, never another's.
    std::map<long long, std::pair<std::size_t, pid_t>> callOwner;
    long long calls = 0;
    const auto calling = [&](long long call, pid_t worker) { callOwner[call] = {result.measurements.size() - 1, worker}; };
    const auto forked = [&](long long call, pid_t worker) {
        const auto owner = callOwner.find(call);
        if (owner == callOwner.end() || owner->second.second != worker)
            return;
        Measurement &measured = result.measurements.at(owner->second.first);
        measured.status = RowStatus::Failed;
        measured.reason = WentOn;
    };
    for (std::size_t file = 0; file < settings.files.size(); ++file) {
        for (std::size_t library = 0; library < settings.libraries.size(); ++library) {
            if (shardOf[file * settings.libraries.size() + library] != settings.shard)
                continue;
            const LibraryChoice &choice = settings.libraries[library];
            const std::optional<QByteArray> folder = freshFolder(settings.scratch);
            PairFiles files = filesOf(settings.files[file], folder.value_or(QByteArray()), settings.scratch, library);
            const QString where = QStringLiteral("%1 \u00b7 %2").arg(shownName(settings.files[file].mid(settings.files[file].lastIndexOf('/') + 1)),
                                                                      shownName(choice.label.toUtf8()));
            result.measurements.push_back({choice.label, choice.file, settings.files[file], sizes[file]});
            result.measurements.back().threads = settings.threads;
            Measurement &measured = result.measurements.back();
            PairRun run(settings, workers, library, measured, files, progress, where, calling, forked, calls);
            if (!folder || !QDir().mkdir(QFile::decodeName(*folder + "/in")) || !copyInto(files.original, files.copy)) {
                measured.status = RowStatus::Failed;
                measured.reason = QStringLiteral("the file could not be copied into the scratch folder");
            } else if (run.direction(true)) {
                run.direction(false);
            }
            removeFolder(files.compressing);
            removeFolder(files.decompressing);
            if (Interruption::signal()) { // the pair in hand was cut short
                result.measurements.pop_back();
                result.complete = false;
                noteDigests(result.measurements);
                return result;
            }
            progress.done(library, pairWeight(sizes[file]));
        }
    }
    noteDigests(result.measurements);
    return result;
}
