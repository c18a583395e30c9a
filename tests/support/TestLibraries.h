// The small libraries the tests build in place of the compression library, each
// under the real library's file name in a folder of its own.
#pragma once

#include <QString>
#include <dlfcn.h>
#include <stdexcept>
#include <string>

inline QString testLibrary(const char *name)
{
    return QStringLiteral(TEST_LIBRARY_DIR "/%1/" NORVIK_LIBRARY_FILE).arg(QLatin1String(name));
}

// A function of a test library, from the same loaded copy the binding uses.
template <typename Function>
Function testLibraryFunction(const char *library, const char *name)
{
    void *handle = dlopen(testLibrary(library).toLocal8Bit().constData(), RTLD_NOW);
    if (!handle)
        throw std::runtime_error(dlerror());
    auto function = reinterpret_cast<Function>(dlsym(handle, name));
    if (!function)
        throw std::runtime_error(std::string("no ") + name);
    return function;
}
