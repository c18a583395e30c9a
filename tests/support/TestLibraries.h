// The small libraries the tests build in place of the compression library, each
// under the real library's file name in a folder of its own.
#pragma once

#include "support/FakeWindow.h"

#include <QString>
#include <dlfcn.h>
#include <string>

inline QString testLibrary(const char *name)
{
    return QStringLiteral(TEST_LIBRARY_DIR "/%1/" NORVIK_LIBRARY_FILE).arg(QLatin1String(name));
}

// A function of the recording library, from the same loaded copy the binding uses.
template <typename Function>
Function recordingFunction(const char *name)
{
    return reinterpret_cast<Function>(dlsym(dlopen(testLibrary("recording").toLocal8Bit().constData(), RTLD_NOW), name));
}

// The recording library tells `window` of each call, and both its entry points
// write a target of `bytes` bytes (nothing when negative).
inline void recordInto(FakeWindow &window, long long bytes)
{
    using Hook = void (*)(const char *, const char *, const char *, void *);
    recordingFunction<void (*)(Hook, void *, long long)>("recording_reset")(
        [](const char *entry, const char *source, const char *target, void *window) {
            static_cast<FakeWindow *>(window)->libraryCalled(entry, source, target);
        },
        &window, bytes);
}

// From now on the library leaves these bytes in the two path buffers.
inline void rewriteTo(const std::string &source, const std::string &target)
{
    recordingFunction<void (*)(const char *, long, const char *, long)>("recording_rewrite")(
        source.data(), long(source.size()), target.data(), long(target.size()));
}
