#include "Progress.h"

#include <cmath>
#include <cstdio>
#include <numeric>
#include <unistd.h>

QString duration(double seconds)
{
    const long long whole = std::llround(seconds);
    return whole >= 3600 ? QString::asprintf("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60)
                         : QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

Progress::Progress(bool terminal, double every, std::function<double()> clock)
    : terminal_(terminal), every_(every), clock_(std::move(clock))
{
    started_.start();
}

bool Progress::isTerminal()
{
    return isatty(STDERR_FILENO) == 1;
}

double Progress::now() const
{
    return clock_ ? clock_() : started_.elapsed() / 1e3;
}

Progress::~Progress()
{
    if (shown_)
        std::fputs("\r\033[K", stderr);
}

void Progress::plan(const std::vector<std::pair<std::size_t, unsigned long long>> &pairs)
{
    pairs_ = pairs.size();
    for (const auto &[library, weight] : pairs) {
        if (library >= left_.size())
            left_.resize(library + 1), weighed_.resize(library + 1), seconds_.resize(library + 1);
        left_[library] += weight;
    }
}

void Progress::done(std::size_t library, unsigned long long weight)
{
    ++finished_;
    const double now = this->now();
    if (library < left_.size()) {
        left_[library] -= std::min(left_[library], weight);
        weighed_[library] += weight;
        seconds_[library] += now - lastDone_;
    }
    lastDone_ = now;
    if (!terminal_ && now - lastLine_ >= every_) {
        std::fprintf(stderr, "brevimeter-bench: %s\n", qPrintable(summary()));
        lastLine_ = now;
    }
}

QString Progress::summary() const
{
    // What is left, at each library's own pace so far; the others' pace for
    // one that has not started.
    const double spent = now();
    const double allSeconds = std::accumulate(seconds_.begin(), seconds_.end(), 0.0);
    const double allWeight = double(std::accumulate(weighed_.begin(), weighed_.end(), 0ull));
    double left = 0;
    for (std::size_t library = 0; library < left_.size(); ++library)
        left += double(left_[library]) * (weighed_[library] > 0 ? seconds_[library] / double(weighed_[library])
                                          : allWeight > 0      ? allSeconds / allWeight
                                                               : 0);
    QString text = QStringLiteral("%1 of %2 pairs, %3 so far").arg(finished_).arg(pairs_).arg(duration(spent));
    if (allWeight > 0 && finished_ < pairs_)
        text += QStringLiteral(", about %1 left").arg(duration(left));
    return text;
}

void Progress::show(const QString &doing)
{
    if (terminal_)
        write(summary() + QStringLiteral(" \u00b7 ") + doing);
}

void Progress::write(const QString &line)
{
    std::fprintf(stderr, "\r\033[K%s", qPrintable(line));
    std::fflush(stderr);
    shown_ = true;
}
