#include "Sweep.h"

#include "Interruption.h"
#include "Progress.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

// What one worker said, taken into its row.
class Listener {
public:
    Listener(Row &row, Progress &progress, QString where, int runs)
        : row_(row), progress_(progress), where_(std::move(where)), runs_(runs)
    {
    }

    void hear(const QByteArray &line)
    {
        const QList<QByteArray> words = line.trimmed().split(' ');
        const QByteArray &what = words.value(0);
        if (what == "call") {
            inCall_ = words.value(1) + ' ' + words.value(2);
            progress_.show(where_ + QStringLiteral(" \u00b7 %1/%2").arg(QString::fromLatin1(inCall_)).arg(runs_));
        } else if (what == "took") {
            (inCall_.startsWith("compress") ? row_.compressSeconds : row_.decompressSeconds)
                .push_back(words.value(1).toDouble() / 1e9);
            row_.cpuSeconds += words.value(2).toDouble() / 1e9;
            inCall_.clear();
        } else if (what == "failed" || what == "mismatch") {
            row_.status = what == "failed" ? RowStatus::Failed : RowStatus::Mismatch;
            row_.reason = what == "failed" ? QString::fromLocal8Bit(line.mid(7).trimmed())
                                           : QStringLiteral("run %1 gave back other bytes").arg(QString::fromLatin1(words.value(1)));
        } else if (what == "size") {
            row_.compressed = words.value(1).toULongLong();
        } else if (what == "peak") {
            row_.peakMiB = words.value(1).toDouble() / 1024;
        }
    }

    const QByteArray &inCall() const { return inCall_; }

private:
    Row &row_;
    Progress &progress_;
    QString where_;
    int runs_;
    QByteArray inCall_;
};

Row measure(const QString &library, const QString &file, const SweepSettings &settings, const QString &folder,
            Progress &progress, const QString &where)
{
    Row row{library, file, static_cast<unsigned long long>(QFileInfo(file).size())};
    Listener listener(row, progress, where, settings.runs);
    QProcess worker;
    worker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    worker.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--worker"), library, file, folder, QString::number(settings.runs)});
    if (!worker.waitForStarted()) {
        row.status = RowStatus::Crashed;
        row.reason = worker.errorString();
        return row;
    }
    Interruption::setWorker(static_cast<pid_t>(worker.processId()));
    for (;;) {
        while (worker.canReadLine())
            listener.hear(worker.readLine());
        if (worker.state() != QProcess::Running && worker.bytesAvailable() == 0)
            break;
        if (!worker.waitForReadyRead(settings.timeoutSeconds * 1000) && worker.state() == QProcess::Running) {
            worker.kill();
            worker.waitForFinished();
            row.status = RowStatus::Timeout;
            row.reason = QStringLiteral("no answer within %1 s").arg(settings.timeoutSeconds)
                         + (listener.inCall().isEmpty() ? QString() : QStringLiteral(" in ") + QString::fromLatin1(listener.inCall()));
        }
    }
    worker.waitForFinished();
    Interruption::setWorker(0);
    const bool endedWell = worker.exitStatus() == QProcess::NormalExit && worker.exitCode() == 0;
    if (row.status == RowStatus::Ok && (!endedWell || !row.peakMiB)) {
        row.status = RowStatus::Crashed;
        row.reason = (worker.exitStatus() == QProcess::CrashExit ? QStringLiteral("ended by a signal")
                                                                 : QStringLiteral("exited with status %1").arg(worker.exitCode()))
                     + (listener.inCall().isEmpty() ? QString() : QStringLiteral(" in ") + QString::fromLatin1(listener.inCall()));
    }
    return row;
}

} // namespace

std::vector<Row> sweep(const SweepSettings &settings, Progress &progress)
{
    std::vector<Row> rows;
    const qsizetype total = settings.files.size() * settings.libraries.size();
    for (const QString &file : settings.files) {
        for (const QString &library : settings.libraries) {
            const QString folder = settings.scratch + QLatin1Char('/') + QString::number(rows.size());
            QDir().mkpath(folder);
            const QString where = QStringLiteral("[%1/%2] %3 \u00b7 %4")
                                      .arg(rows.size() + 1).arg(total).arg(QFileInfo(file).fileName(), library);
            rows.push_back(measure(library, file, settings, folder, progress, where));
            QDir(folder).removeRecursively();
            if (Interruption::signal())
                return rows;
        }
    }
    return rows;
}
