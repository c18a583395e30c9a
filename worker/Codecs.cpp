#include "Codecs.h"

#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <set>
#include <vector>

namespace worker {

namespace {

struct Codec {
    const char *file;    // the start of its file's name
    const char *name;
    const char *version; // a function that returns its version
    bool packed;         // as a number, major << 24 | minor << 12 | patch; else as text
};

constexpr Codec Known[] = {
    {"libzstd.so", "libzstd", "ZSTD_versionString", false},
    {"libz.so", "zlib", "zlibVersion", false},
    {"liblz4.so", "liblz4", "LZ4_versionString", false},
    {"liblzma.so", "liblzma", "lzma_version_string", false},
    {"libbz2.so", "libbz2", "BZ2_bzlibVersion", false},
    {"libbrotlienc.so", "libbrotli", "BrotliEncoderVersion", true},
};

std::string versionOf(const Codec &codec, const char *path)
{
    void *handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    void *function = handle ? dlsym(handle, codec.version) : nullptr;
    std::string version;
    if (function && codec.packed) {
        const std::uint32_t packed = reinterpret_cast<std::uint32_t (*)()>(function)();
        version = std::to_string(packed >> 24) + '.' + std::to_string(packed >> 12 & 0xfff) + '.' + std::to_string(packed & 0xfff);
    } else if (function) {
        version = reinterpret_cast<const char *(*)()>(function)();
        version = version.substr(0, version.find(',')); // bzip2 adds its date
    }
    if (handle)
        dlclose(handle);
    return version.empty() ? std::string(codec.name) : std::string(codec.name) + ' ' + version;
}

} // namespace

std::string loadedCodecs()
{
    std::vector<std::string> paths;
    dl_iterate_phdr(
        [](dl_phdr_info *info, std::size_t, void *found) {
            static_cast<std::vector<std::string> *>(found)->push_back(info->dlpi_name ? info->dlpi_name : "");
            return 0;
        },
        &paths);
    std::set<std::string> seen;
    std::string codecs;
    for (const Codec &codec : Known)
        for (const std::string &path : paths) {
            const char *slash = std::strrchr(path.c_str(), '/');
            const char *file = slash ? slash + 1 : path.c_str();
            if (std::strncmp(file, codec.file, std::strlen(codec.file)) != 0 || !seen.insert(codec.name).second)
                continue;
            codecs += (codecs.empty() ? "" : ", ") + versionOf(codec, path.c_str());
        }
    return codecs;
}

} // namespace worker
