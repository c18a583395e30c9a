#include "Module1.h"

#include "PathBuffer.h"
#include "RunError.h"

#include <QFile>
#include <QStringList>
#include <filesystem>
#include <vector>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#  include <link.h>
#endif

namespace {

#if !defined(_WIN32)
void *openLibrary(const QString &file)
{
    return dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
}

// Where the program keeps the library it ships with: beside it in the build
// tree, in its private library folder once installed.
QStringList shippedLocations(const QString &file)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const QString folder = QString::fromStdString(program.parent_path().string());
    return {folder + QLatin1Char('/') + file, folder + QStringLiteral("/../" BREVIMETER_LIBRARY_DIR "/") + file};
}
#endif

// The platform loader is called from the program itself, so the platform's
// search order applies (LD_LIBRARY_PATH first, then the program's RUNPATH).
// Where that finds nothing for a bare name (a loader wrapped by a sanitizer
// searches without the program's RUNPATH), the shipped library is tried.
void *loadLibrary(const QString &file, QString &reason)
{
#if defined(_WIN32)
    HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(file.utf16()));
    if (!module)
        reason = QStringLiteral("error %1").arg(GetLastError());
    return reinterpret_cast<void *>(module);
#else
    void *handle = openLibrary(file);
    if (handle)
        return handle;
    reason = QString::fromLocal8Bit(dlerror());
    if (file.contains(QLatin1Char('/')))
        return nullptr;
    for (const QString &shipped : shippedLocations(file))
        if (std::filesystem::exists(QFile::encodeName(shipped).toStdString()))
            if ((handle = openLibrary(shipped)))
                return handle;
    return nullptr;
#endif
}

Module1::EntryPoint findEntry(void *library, const char *name)
{
#if defined(_WIN32)
    return reinterpret_cast<Module1::EntryPoint>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return reinterpret_cast<Module1::EntryPoint>(dlsym(library, name));
#endif
}

// A fresh writable buffer: the path's bytes and a terminating NUL.
std::vector<char> bufferFor(const QString &path)
{
    std::optional<QByteArray> bytes = encodePath(path);
    if (!bytes)
        throw RunError(QStringLiteral("The path \"%1\" cannot be passed to the compression library: "
                                      "it holds characters that the system's 8-bit encoding cannot represent.")
                           .arg(path));
    std::vector<char> buffer(bytes->begin(), bytes->end());
    buffer.push_back('\0');
    return buffer;
}

QString written(const std::vector<char> &buffer)
{
    return decodePath(QByteArray(buffer.data(), static_cast<qsizetype>(buffer.size() - 1)));
}

} // namespace

Module1::Module1(QString libraryFile)
    : libraryFile_(std::move(libraryFile))
{
}

void Module1::compress_file(QString &source, QString &target)
{
    call(compress_, source, target);
}

void Module1::decompress_file(QString &source, QString &target)
{
    call(decompress_, source, target);
}

QString Module1::loadedFile() const
{
    if (!library_)
        return {};
#if defined(_WIN32)
    wchar_t name[32768];
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(library_), name, DWORD(std::size(name)));
    return QString::fromWCharArray(name, int(length));
#else
    link_map *map = nullptr;
    return dlinfo(library_, RTLD_DI_LINKMAP, &map) == 0 ? QFile::decodeName(map->l_name) : libraryFile_;
#endif
}

void Module1::load()
{
    resolve(compress_);
    resolve(decompress_);
}

void Module1::call(Declaration &declaration, QString &source, QString &target)
{
    std::vector<char> sourceBuffer = bufferFor(source);
    std::vector<char> targetBuffer = bufferFor(target);
    EntryPoint entry = resolve(declaration);
    entry(sourceBuffer.data(), targetBuffer.data());
    source = written(sourceBuffer);
    target = written(targetBuffer);
}

Module1::EntryPoint Module1::resolve(Declaration &declaration)
{
    if (declaration.address)
        return declaration.address;
    if (!library_) {
        QString reason;
        library_ = loadLibrary(libraryFile_, reason);
        if (!library_)
            throw RunError(QStringLiteral("The compression library \"%1\" cannot be loaded: %2")
                               .arg(libraryFile_, reason));
    }
    declaration.address = findEntry(library_, declaration.name);
    if (!declaration.address)
        throw RunError(QStringLiteral("The compression library \"%1\" has no entry point \"%2\".")
                           .arg(libraryFile_, QLatin1String(declaration.name)));
    return declaration.address;
}
