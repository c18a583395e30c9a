// The library under test, loaded once, with its two entry points found by name.
#pragma once

#include <string>

namespace worker {

using EntryPoint = int (*)(char *source, char *target);

class Library {
public:
    // Loads `file` (a bare name goes through the platform's search order,
    // then the worker's own folder) and finds both entry points. Says why not
    // in reason() when either fails.
    explicit Library(const std::string &file);

    bool usable() const { return compress_ && decompress_; }
    EntryPoint entry(bool compress) const { return compress ? compress_ : decompress_; }
    const std::string &reason() const { return reason_; }
    // Where the loader found it.
    std::string loadedFile() const;

private:
    void *handle_ = nullptr;
    EntryPoint compress_ = nullptr, decompress_ = nullptr;
    std::string file_, reason_;
};

} // namespace worker
