// Arbitrary bytes as a compressed source: no crash, no output and no temporary
// file on failure, and on success exactly what libzstd itself decodes.
#include "norvik.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t OutputCap = 64u << 20;

// libzstd's own streaming decoder over the whole input, frames one after
// another; nothing when it refuses or the output would pass the cap.
std::optional<std::string> reference(const std::uint8_t *data, std::size_t size)
{
    ZSTD_DCtx *context = ZSTD_createDCtx();
    ZSTD_inBuffer input{data, size, 0};
    std::string output;
    std::string chunk(ZSTD_DStreamOutSize(), '\0');
    std::size_t hint = 1;
    bool ok = size > 0;
    while (ok) {
        ZSTD_outBuffer out{chunk.data(), chunk.size(), 0};
        std::size_t before = input.pos;
        hint = ZSTD_decompressStream(context, &out, &input);
        if (ZSTD_isError(hint)) {
            ok = false;
            break;
        }
        output.append(chunk.data(), out.pos);
        if (output.size() > OutputCap)
            ok = false;
        if (input.pos == input.size && out.pos < out.size)
            break;
        if (input.pos == before && out.pos == 0)
            break;
    }
    ZSTD_freeDCtx(context);
    if (!ok || hint != 0)
        return std::nullopt;
    return output;
}

const fs::path &scratch()
{
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "norvik-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const fs::path source = scratch() / "input.zst", target = scratch() / "output";
    std::ofstream(source, std::ios::binary).write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    fs::remove(target);

    std::string a = source.string(), b = target.string();
    const int result = decompress_file(a.data(), b.data());
    const std::optional<std::string> expected = reference(data, size);

    if (result == NORVIK_OK) {
        std::ifstream in(target, std::ios::binary);
        const std::string written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (expected && written != *expected)
            std::abort();
        if (!expected && written.size() <= OutputCap)
            std::abort(); // accepted what libzstd refuses
    } else {
        if (fs::exists(target))
            std::abort();
        if (expected && !expected->empty())
            std::abort(); // refused what libzstd reads
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(scratch()))
        ++entries;
    if (entries != (result == NORVIK_OK ? 2u : 1u))
        std::abort(); // a temporary file was left behind
    return 0;
}
