// The binding to the compression library: two entry points, found by name in a
// library that is loaded on the first call of either and stays loaded.
#pragma once

#include <QString>

class Module1 {
public:
    // Both entry points take two writable NUL-terminated 8-bit path buffers,
    // source first. What they return is not used.
    using EntryPoint = int (*)(char *source, char *target);

    // The library is looked up by this bare file name, in the platform's library
    // search order (LD_LIBRARY_PATH first on Linux, then the program's own folder).
    explicit Module1(QString libraryFile = QStringLiteral(NORVIK_LIBRARY_FILE));

    // Each call converts both paths into fresh 8-bit buffers, calls the entry
    // point and writes both buffers back over their full length, so bytes the
    // library changed (a NUL among them) come back in the strings. Throws
    // RunError when a path cannot be converted, the library cannot be loaded or
    // the entry point is missing; the library is not called then.
    void compress_file(QString &source, QString &target);
    void decompress_file(QString &source, QString &target);

    // Loads the library and finds both entry points now, so that no later
    // call includes the load. Throws RunError as a call would.
    void load();

    const QString &libraryFile() const { return libraryFile_; }
    // The file the platform loaded for it, once loaded: where a bare name was
    // found, or the path given.
    QString loadedFile() const;

private:
    struct Declaration {
        const char *name;
        EntryPoint address = nullptr;
    };

    void call(Declaration &declaration, QString &source, QString &target);
    EntryPoint resolve(Declaration &declaration);

    QString libraryFile_;
    void *library_ = nullptr;
    Declaration compress_{"compress_file"};
    Declaration decompress_{"decompress_file"};
};
