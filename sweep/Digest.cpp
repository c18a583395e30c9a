#include "Digest.h"

#include <QCryptographicHash>
#include <cstdio>
#include <memory>

std::optional<FileFacts> factsOf(const QByteArray &file)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(file.constData(), "rbe"), std::fclose);
    if (!in)
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    FileFacts facts{file};
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;) {
        hash.addData(QByteArrayView(buffer, qsizetype(n)));
        facts.size += n;
    }
    if (std::ferror(in.get()))
        return std::nullopt;
    facts.sha256 = hash.result().toHex();
    return facts;
}
