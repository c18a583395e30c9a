#include "Sweep.h"

#include "FileName.h"
#include "Interruption.h"
#include "Progress.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <sys/stat.h>

namespace {

// What one worker said, taken into its row.
class Listener {
public:
    Listener(Row &row, Progress &progress, QString where, int runs)
        : row_(row), progress_(progress), where_(std::move(where)), runs_(QString::number(runs))
    {
    }

    void hear(const QByteArray &line)
    {
        const QByteArray text = line.chopped(line.endsWith('\n') ? 1 : 0);
        const QList<QByteArray> words = text.split(' ');
        const QByteArray &what = words.value(0);
        if (what == "loaded") {
            row_.library = QFile::decodeName(text.mid(7));
        } else if (what == "call") {
            const bool warmup = words.value(2) == "0";
            inCall_ = words.value(1) + ' ' + (warmup ? QByteArray("warm-up") : words.value(2));
            progress_.show(where_ + QStringLiteral(" \u00b7 %1").arg(QString::fromLatin1(inCall_))
                           + (warmup ? QString() : QLatin1Char('/') + runs_));
        } else if (what == "took") {
            Calls &calls = inCall_.startsWith("compress") ? row_.compress : row_.decompress;
            calls.seconds.push_back(double(words.value(1).toLongLong()) / 1e9);
            calls.cpuSeconds.push_back(double(words.value(2).toLongLong()) / 1e9);
            calls.faults.push_back(double(words.value(3).toLongLong()));
            inCall_.clear();
        } else if (what == "failed" || what == "mismatch") {
            row_.status = what == "failed" ? RowStatus::Failed : RowStatus::Mismatch;
            row_.reason = what == "failed"        ? QString::fromLocal8Bit(text.mid(7))
                          : words.value(1) == "0" ? QStringLiteral("the warm-up call gave back other bytes")
                                                  : QStringLiteral("run %1 gave back other bytes").arg(QString::fromLatin1(words.value(1)));
        } else if (what == "size") {
            row_.compressed = words.value(1).toULongLong();
        } else if (what == "peak" && words.size() == 3) {
            (words.value(1) == "compress" ? row_.compress : row_.decompress).peakMiB = words.value(2).toDouble() / 1024;
        } else if (what == "peak") {
            row_.peakMiB = words.value(1).toDouble() / 1024;
        }
    }

    const QByteArray &inCall() const { return inCall_; }

private:
    Row &row_;
    Progress &progress_;
    QString where_;
    QString runs_;
    QByteArray inCall_;
};

// Why a row whose worker did not see it through is not ok: the library ended
// the process (or made it end), with this status or by this signal.
QString cutShort(const QProcess &worker, const Listener &listener)
{
    const QString how = worker.exitStatus() == QProcess::CrashExit
                            ? QStringLiteral("ended by a signal")
                            : QStringLiteral("exited with status %1").arg(worker.exitCode());
    return how + (listener.inCall().isEmpty() ? QString() : QStringLiteral(" in ") + QString::fromLatin1(listener.inCall()));
}

Row measure(const LibraryChoice &library, const QByteArray &file, const SweepSettings &settings, const QString &folder,
            Progress &progress, const QString &where)
{
    struct stat status {};
    Row row{library.label, library.file, file, ::stat(file.constData(), &status) == 0 ? static_cast<unsigned long long>(status.st_size) : 0};
    Listener listener(row, progress, where, settings.runs);
    QProcess worker;
    worker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (library.level) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BREVIMETER_LEVEL"), QString::number(*library.level));
        worker.setProcessEnvironment(environment);
    }
    worker.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--worker"), library.file, QString::fromLatin1(file.toHex()), folder,
                  QString::number(settings.runs), QString::number(settings.warmup), QString::number(settings.minTime, 'g', 17)});
    if (!worker.waitForStarted()) {
        row.status = RowStatus::Crashed;
        row.reason = worker.errorString();
        return row;
    }
    Interruption::setWorker(static_cast<pid_t>(worker.processId()));
    // The timeout counts from the worker's last word: it says one before and after each call.
    QDeadlineTimer deadline(settings.timeout);
    for (;;) {
        while (worker.canReadLine()) {
            listener.hear(worker.readLine());
            deadline.setRemainingTime(settings.timeout);
        }
        if (worker.state() != QProcess::Running && worker.bytesAvailable() == 0)
            break;
        if (deadline.hasExpired()) {
            worker.kill();
            worker.waitForFinished();
            row.status = RowStatus::Timeout;
            row.reason = QStringLiteral("no answer within %1 s").arg(settings.timeout.count())
                         + (listener.inCall().isEmpty() ? QString() : QStringLiteral(" in ") + QString::fromLatin1(listener.inCall()));
            break;
        }
        worker.waitForReadyRead(int(std::min<qint64>(deadline.remainingTime(), 60000)));
    }
    worker.waitForFinished();
    Interruption::setWorker(0);
    const bool endedWell = worker.exitStatus() == QProcess::NormalExit && worker.exitCode() == 0;
    // A row is ok only with every figure: a library may end the worker with status 0.
    const bool measured = row.compress.seconds.size() >= std::size_t(settings.runs)
                          && row.decompress.seconds.size() >= std::size_t(settings.runs) && row.compressed && row.peakMiB
                          && row.compress.peakMiB && row.decompress.peakMiB;
    if (row.status == RowStatus::Ok && !(endedWell && measured)) {
        row.status = RowStatus::Crashed;
        row.reason = cutShort(worker, listener);
    }
    return row;
}

} // namespace

bool inShard(const SweepSettings &settings, std::size_t pair)
{
    return pair % std::size_t(settings.shards) == std::size_t(settings.shard - 1);
}

std::vector<Row> sweep(const SweepSettings &settings, Progress &progress)
{
    std::vector<Row> rows;
    std::size_t pair = 0, total = 0;
    for (std::size_t i = 0; i < settings.files.size() * settings.libraries.size(); ++i)
        total += inShard(settings, i);
    for (const QByteArray &file : settings.files) {
        for (const LibraryChoice &library : settings.libraries) {
            if (!inShard(settings, pair++))
                continue;
            const QString folder = settings.scratch + QLatin1Char('/') + QString::number(rows.size());
            QDir().mkpath(folder);
            const QString where = QStringLiteral("[%1/%2] %3 \u00b7 %4")
                                      .arg(rows.size() + 1).arg(total).arg(shownName(file.mid(file.lastIndexOf('/') + 1)), library.label);
            Row row = measure(library, file, settings, folder, progress, where);
            QDir(folder).removeRecursively();
            if (Interruption::signal())
                return rows; // the row in hand was cut short
            rows.push_back(std::move(row));
        }
    }
    return rows;
}
