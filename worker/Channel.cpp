#include "Channel.h"

#include "Protocol.h"

#include <cerrno>
#include <unistd.h>

namespace worker {

bool nextCommand(std::string &line)
{
    // A buffer of its own, outside the heap the library's calls share.
    static char buffer[65536];
    static std::size_t start = 0, end = 0;
    line.clear();
    for (;;) {
        for (std::size_t at = start; at < end; ++at)
            if (buffer[at] == '\n') {
                line.append(buffer + start, at - start);
                start = at + 1;
                return true;
            }
        line.append(buffer + start, end - start);
        start = end = 0;
        const ssize_t n = ::read(CommandChannel, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        end = std::size_t(n);
    }
}

bool sayText(const std::string &line)
{
    const std::string whole = line + '\n';
    for (std::size_t done = 0; done < whole.size();) {
        const ssize_t n = ::write(ReportChannel, whole.data() + done, whole.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace worker
