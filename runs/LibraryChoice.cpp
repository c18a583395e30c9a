#include "LibraryChoice.h"

#include "levels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

const std::vector<Reference> &references()
{
    static const std::vector<Reference> all = [] {
        std::vector<Reference> made;
        for (const levels::Library &library : levels::Shipped)
            made.push_back({library.name, library.lowest, library.highest, library.standard, library.description});
        return made;
    }();
    return all;
}

namespace {

// The program's own folder, also before its application object exists.
QString programFolder()
{
#if defined(__linux__)
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!self.isEmpty())
        return QFileInfo(self).path();
#endif
    return QCoreApplication::applicationDirPath();
}

} // namespace

QString referenceFile(const char *name)
{
    const QString here = programFolder();
    const QString inFolder = QString::fromLatin1(name) == QLatin1String("zstd")
                                 ? QStringLiteral(NORVIK_LIBRARY_FILE)
                                 : QStringLiteral("references/%1/" NORVIK_LIBRARY_FILE).arg(QLatin1String(name));
    for (const QString &folder : {here, here + QStringLiteral("/../" BREVIMETER_LIBRARY_DIR)}) {
        const QFileInfo file(folder + QLatin1Char('/') + inFolder);
        if (file.isFile())
            return QDir::cleanPath(file.absoluteFilePath());
    }
    return {};
}

std::variant<LibraryChoice, QString> chooseLibrary(const QString &given)
{
    LibraryChoice choice;
    const qsizetype equals = given.indexOf(QLatin1Char('='));
    const bool labelled = equals > 0 && !given.left(equals).contains(QLatin1Char('/'));
    choice.given = labelled ? given.mid(equals + 1) : given;
    const QString name = choice.given.section(QLatin1Char(':'), 0, 0);
    for (const Reference &reference : references()) {
        if (name != QLatin1String(reference.name))
            continue;
        int level = reference.standard;
        if (choice.given.contains(QLatin1Char(':'))) {
            const std::optional<int> given = levels::wholeNumber(choice.given.section(QLatin1Char(':'), 1).toLatin1().constData());
            if (reference.highest == 0)
                return QStringLiteral("%1 has no levels").arg(name);
            level = given.value_or(reference.lowest - 1);
            if (level < reference.lowest || level > reference.highest)
                return QStringLiteral("%1's levels are %2 to %3").arg(name).arg(reference.lowest).arg(reference.highest);
        }
        choice.file = referenceFile(reference.name);
        if (choice.file.isEmpty())
            return QStringLiteral("the %1 reference library is not installed beside this program").arg(name);
        choice.level = level;
        choice.label = labelled ? given.left(equals) : choice.given;
        return choice;
    }
    const QFileInfo file(choice.given);
    if (!file.isFile())
        return QStringLiteral("%1: neither a reference library (see --list-libraries) nor a library file").arg(choice.given);
    choice.file = choice.given.contains(QLatin1Char('/')) ? choice.given : QStringLiteral("./") + choice.given;
    choice.label = labelled ? given.left(equals) : QFileInfo(choice.file).dir().dirName() + QLatin1Char('/') + file.fileName();
    return choice;
}

void applyLevel(const LibraryChoice &choice)
{
    if (choice.level)
        qputenv("BREVIMETER_LEVEL", QByteArray::number(*choice.level));
}
