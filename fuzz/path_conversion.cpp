// Paths to the library's 8-bit form and back: whatever the encoding can carry
// comes back unchanged, and what it cannot is refused, never altered.
#include "runs/PathBuffer.h"

#include <QByteArrayView>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // As text the window might hold (any UTF-16, lone surrogates included).
    const QString text(reinterpret_cast<const QChar *>(data), static_cast<qsizetype>(size / 2));
    if (std::optional<QByteArray> bytes = encodePath(text)) {
        if (decodePath(*bytes) != text)
            std::abort();
    }

    // As bytes a library might write back: valid ones survive the trip.
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString decoded = decodePath(bytes);
    if (QByteArrayView(bytes).isValidUtf8()) {
        std::optional<QByteArray> again = encodePath(decoded);
        if (!again || *again != bytes)
            std::abort();
    }
    return 0;
}
