#include "Workers.h"

#include <QFile>
#include <cerrno>
#include <cstring>

Workers::Workers(QString program, const std::vector<LibraryChoice> &libraries, int threads)
    : program_(std::move(program)), libraries_(libraries), threads_(threads)
{
}

std::variant<Workers::Ready, Workers::Refused> Workers::get(std::size_t library, bool compress, const QDeadlineTimer &deadline)
{
    auto &[process, loaded, codecs] = running_[{library, compress}];
    if (process)
        return Ready{process.get(), loaded, false, codecs};
    const LibraryChoice &choice = libraries_.at(library);
    QStringList environment{QStringLiteral("BREVIMETER_THREADS=%1").arg(threads_)};
    if (choice.level)
        environment << QStringLiteral("BREVIMETER_LEVEL=%1").arg(*choice.level);
    process = std::make_unique<WorkerProcess>(
        program_, QStringList{compress ? QStringLiteral("compress") : QStringLiteral("decompress"), choice.file}, environment);
    if (!process->started()) {
        const QString why = QStringLiteral("%1 cannot be started: %2").arg(program_, QString::fromLocal8Bit(std::strerror(errno)));
        process.reset();
        return Refused{false, false, why};
    }
    std::optional<QByteArray> hello = process->next(deadline);
    if (hello && hello->startsWith("codecs ")) {
        codecs = QString::fromUtf8(hello->mid(7));
        hello = process->next(deadline);
    }
    if (hello && hello->startsWith("loaded ")) {
        loaded = QFile::decodeName(QByteArray::fromHex(hello->mid(7)));
        return Ready{process.get(), loaded, true, codecs};
    }
    Refused refused;
    if (hello && hello->startsWith("failed ")) {
        refused = {true, false, QString::fromLocal8Bit(hello->mid(7))};
    } else if (!hello && process->silence() == WorkerProcess::Silence::TimedOut) {
        process->kill();
        refused = {false, true, QStringLiteral("loading the library")};
    } else {
        process->kill();
        refused = {false, false, QStringLiteral("%1 while loading the library").arg(process->ending())};
    }
    process.reset();
    return refused;
}

void Workers::retire(std::size_t library, bool compress)
{
    running_.erase({library, compress});
}
