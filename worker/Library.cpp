#include "Library.h"

#include <dlfcn.h>
#include <filesystem>
#include <link.h>

namespace worker {

namespace {

// The worker sits beside the library it ships with, in the build tree and
// once installed. A loader wrapped by a sanitizer searches without the
// worker's own search path, so that folder is also tried by hand.
void *open(const std::string &file, std::string &reason)
{
    if (void *handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL))
        return handle;
    reason = dlerror();
    if (file.find('/') != std::string::npos)
        return nullptr;
    std::error_code error;
    const std::filesystem::path beside = std::filesystem::read_symlink("/proc/self/exe", error).parent_path() / file;
    return error || !std::filesystem::exists(beside, error) ? nullptr : dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

Library::Library(const std::string &file)
    : file_(file)
{
    handle_ = open(file, reason_);
    if (!handle_) {
        reason_ = "The compression library \"" + file + "\" cannot be loaded: " + reason_;
        return;
    }
    for (auto [entry, name] : {std::pair(&compress_, "compress_file"), std::pair(&decompress_, "decompress_file")}) {
        *entry = reinterpret_cast<EntryPoint>(dlsym(handle_, name));
        if (!*entry) {
            reason_ = "The compression library \"" + file + "\" has no entry point \"" + name + "\".";
            return;
        }
    }
}

std::string Library::loadedFile() const
{
    link_map *map = nullptr;
    return handle_ && dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 ? std::string(map->l_name) : file_;
}

} // namespace worker
