#include "Status.h"

#include <iterator>

namespace {
constexpr const char *Names[] = {"ok", "mismatch", "crashed", "timeout", "failed"};
} // namespace

const char *statusName(RowStatus status)
{
    return Names[int(status)];
}

std::optional<RowStatus> statusNamed(const QString &name)
{
    for (int i = 0; i < int(std::size(Names)); ++i)
        if (name == QLatin1String(Names[i]))
            return RowStatus(i);
    return std::nullopt;
}
