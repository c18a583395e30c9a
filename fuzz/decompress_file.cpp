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
// another; nothing when it refuses or the output passes the cap.
std::optional<std::string> reference(const std::uint8_t *data, std::size_t size)
{
    ZSTD_DCtx *context = ZSTD_createDCtx();
    ZSTD_inBuffer input{data, size, 0};
    std::string output, chunk(ZSTD_DStreamOutSize(), '\0');
    std::size_t hint = 1;
    while (size > 0 && output.size() <= OutputCap) {
        ZSTD_outBuffer out{chunk.data(), chunk.size(), 0};
        const std::size_t before = input.pos;
        hint = ZSTD_decompressStream(context, &out, &input);
        if (ZSTD_isError(hint))
            break;
        output.append(chunk.data(), out.pos);
        if ((input.pos == input.size && out.pos < out.size) || (input.pos == before && out.pos == 0))
            break;
    }
    ZSTD_freeDCtx(context);
    if (size == 0 || ZSTD_isError(hint) || hint != 0 || output.size() > OutputCap)
        return std::nullopt;
    return output;
}

const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "norvik-fuzz-XXXXXX").string();
    return fs::path(mkdtemp(pattern.data()));
}();

#define check(condition) ((condition) ? void() : std::abort())

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const fs::path source = folder / "input.zst", target = folder / "output";
    std::ofstream(source, std::ios::binary).write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    fs::remove(target);
    std::string a = source.string(), b = target.string();
    const int result = decompress_file(a.data(), b.data());
    const std::optional<std::string> expected = reference(data, size);
    if (result == NORVIK_OK) {
        std::ifstream in(target, std::ios::binary);
        const std::string written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        check(expected ? written == *expected : written.size() > OutputCap); // accepts only what libzstd reads
    } else {
        check(!fs::exists(target) && !(expected && !expected->empty())); // refuses only what libzstd refuses
    }
    const auto entries = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    check(entries == (result == NORVIK_OK ? 2 : 1)); // no temporary file left behind
    return 0;
}
