#include "Machine.h"

#include <QDateTime>
#include <QFile>
#include <QSysInfo>
#include <QThread>

namespace {

QString processorModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly))
        for (QByteArray line; !(line = info.readLine()).isEmpty();)
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1)).simplified();
    return QSysInfo::currentCpuArchitecture();
}

} // namespace

QString thisMachine()
{
    const int cores = QThread::idealThreadCount();
    return QStringLiteral("%1, %2 core%3, %4 %5")
        .arg(processorModel())
        .arg(cores)
        .arg(cores == 1 ? "" : "s")
        .arg(QSysInfo::kernelType() == QLatin1String("linux") ? QStringLiteral("Linux") : QSysInfo::kernelType(),
             QSysInfo::kernelVersion());
}

QString now()
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}
