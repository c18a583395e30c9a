// The sweep's workers: for each library, one that compresses and one that
// decompresses, kept from file to file until one ends, is killed or is
// retired (a worker whose library waited for child processes is, so that a
// child's peak memory is always that of one direction on one file).
#pragma once

#include "LibraryChoice.h"
#include "WorkerProcess.h"

#include <QDeadlineTimer>
#include <map>
#include <memory>
#include <set>
#include <variant>

class Workers {
public:
    // `threads` reaches every worker as BREVIMETER_THREADS.
    Workers(QString program, const std::vector<LibraryChoice> &libraries, int threads);

    // A worker of its own, or why none could be had.
    struct Ready {
        WorkerProcess *process;
        QString loaded;   // the library file the loader took
        bool started;     // now, for this call
        QString codecs;   // the codec libraries it brought in, with their versions
    };
    struct Refused {
        bool loaded = false; // the worker came up, and the library could not be loaded
        bool timedOut = false;
        QString why;
    };
    // The library's worker for one direction, started and its library loaded
    // now if it has none.
    std::variant<Ready, Refused> get(std::size_t library, bool compress, const QDeadlineTimer &deadline);
    // Ends it; the next get() starts another.
    void retire(std::size_t library, bool compress);
    // Whether the library was seen to run child processes that way.
    bool runsChildren(std::size_t library, bool compress) const { return parents_.count({library, compress}) > 0; }
    void noteChildren(std::size_t library, bool compress) { parents_.insert({library, compress}); }

private:
    QString program_;
    const std::vector<LibraryChoice> &libraries_;
    int threads_;
    struct Running {
        std::unique_ptr<WorkerProcess> process;
        QString loaded, codecs;
    };
    std::map<std::pair<std::size_t, bool>, Running> running_;
    std::set<std::pair<std::size_t, bool>> parents_;
};
