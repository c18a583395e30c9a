#include "Chart.h"

#include "FileName.h"

#include <QFontMetricsF>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <map>

const QFont ChartSmall(QStringLiteral("Liberation Sans"), 8), ChartNormal(QStringLiteral("Liberation Sans"), 9),
    ChartTitle(QStringLiteral("Liberation Sans"), 13, QFont::Bold);

namespace {

constexpr double Width = 1100, PanelWidth = 440, PanelHeight = 380, Top = 110, Left = 80, Gap = 100;
constexpr double Dot = 4, Diamond = 8, Smallest = 3;

// Where a label may go around its mark: beside it, then farther out with a
// line back to it; right, left, above, below, then the corners.
constexpr double Directions[][2] = {{1, 0}, {-1, 0}, {0, -1}, {0, 1}, {1, -1}, {-1, -1}, {1, 1}, {-1, 1}};
constexpr double Distances[] = {0, 10, 22, 38};

class Placer {
public:
    Placer(Chart &chart, QPaintDevice *device) : chart_(chart), device_(device)
    {
        for (const ChartMark &mark : chart.marks)
            taken_.push_back(QRectF(mark.at - QPointF(mark.size + 1, mark.size + 1), QSizeF(2 * mark.size + 2, 2 * mark.size + 2)));
    }

    void label(const ChartMark &mark)
    {
        const ChartPanel &panel = chart_.panels[std::size_t(mark.panel)];
        if (place(mark, mark.text, panel))
            return;
        auto number = numbers_.find(mark.text);
        const bool known = number != numbers_.end();
        if (!known)
            number = numbers_.emplace(mark.text, int(numbers_.size()) + 1).first;
        if (place(mark, QString::number(number->second), panel)) {
            if (!known)
                chart_.key.push_back(QStringLiteral("%1 %2").arg(number->second).arg(mark.text));
            return;
        }
        if (!known)
            numbers_.erase(number);
        chart_.key.push_back(QStringLiteral("%1 (no room beside its mark, %2)").arg(mark.text, panel.compress ? "compressing" : "decompressing"));
    }

private:
    bool place(const ChartMark &mark, const QString &text, const ChartPanel &panel)
    {
        const QFontMetricsF metrics(mark.total ? ChartNormal : ChartSmall, device_);
        const QSizeF size(metrics.horizontalAdvance(text) + 1, metrics.height());
        for (double distance : Distances)
            for (const auto &direction : Directions) {
                const double reachX = mark.size + 3 + distance, reachY = mark.size + 2 + distance;
                const QPointF centre = mark.at + QPointF(direction[0] * (reachX + size.width() / 2), direction[1] * (reachY + size.height() / 2));
                const QRectF box(centre - QPointF(size.width() / 2, size.height() / 2), size);
                if (!panel.area.contains(box) || std::any_of(taken_.begin(), taken_.end(), [&](const QRectF &t) { return t.intersects(box); }))
                    continue;
                taken_.push_back(box);
                chart_.labels.push_back({box, text, mark.total, mark.library,
                                         distance > 0 ? std::optional(mark.at) : std::nullopt});
                return true;
            }
        return false;
    }

    Chart &chart_;
    QPaintDevice *device_;
    std::vector<QRectF> taken_;
    std::map<QString, int> numbers_;
};

} // namespace

Axis::Axis(double low, double high, bool fromZero)
    : log_(low > 0 && high > 10 * low)
{
    if (log_) {
        low_ = std::log10(low / 1.3), high_ = std::log10(high * 1.3);
    } else {
        low_ = fromZero ? 0 : low - (high - low) * 0.1, high_ = high + std::max(high - low, high) * 0.1;
        low_ = std::max(0.0, low_);
    }
    if (high_ <= low_)
        high_ = low_ + 1;
}

double Axis::at(double value) const
{
    return ((log_ ? std::log10(value) : value) - low_) / (high_ - low_);
}

std::vector<double> Axis::ticks() const
{
    std::vector<double> ticks;
    if (log_) {
        for (double decade = std::floor(low_); decade <= high_; ++decade)
            for (double step : {1.0, 2.0, 5.0})
                if (decade + std::log10(step) >= low_ && decade + std::log10(step) <= high_)
                    ticks.push_back(step * std::pow(10.0, decade));
        return ticks;
    }
    const double rough = (high_ - low_) / 6, power = std::pow(10.0, std::floor(std::log10(rough)));
    const double step = power * (rough / power > 5 ? 10 : rough / power > 2 ? 5 : rough / power > 1 ? 2 : 1);
    for (double tick = std::ceil(low_ / step) * step; tick <= high_; tick += step)
        ticks.push_back(tick);
    return ticks;
}

Chart chartOf(const std::vector<ReportLine> &lines, QPaintDevice *device)
{
    struct Figures {
        double speeds[2], ratio;
        QString text;
        int library;
        bool total;
    };
    Chart chart;
    std::vector<Figures> figures;
    QSet<QByteArray> files;
    for (const ReportLine &line : lines) {
        if (!line.total)
            files.insert(line.file);
        const auto compress = speedOf(line, line.compress), decompress = speedOf(line, line.decompress);
        const auto ratio = ratioOf(line);
        if (line.status != RowStatus::Ok || !compress || !decompress || !ratio)
            continue;
        auto library = std::find(chart.libraries.begin(), chart.libraries.end(), line.label);
        if (library == chart.libraries.end())
            library = chart.libraries.insert(chart.libraries.end(), line.label);
        figures.push_back({{*compress, *decompress}, *ratio,
                           line.total ? shownName(line.label.toUtf8()) : shownName(line.file.mid(line.file.lastIndexOf('/') + 1)),
                           int(library - chart.libraries.begin()), line.total});
    }
    chart.files = files.size();
    const auto range = [&](auto figure) {
        double low = 1e300, high = 0;
        for (const Figures &one : figures)
            low = std::min(low, figure(one)), high = std::max(high, figure(one));
        return figures.empty() ? std::pair(1.0, 10.0) : std::pair(low, high);
    };
    const auto [lowRatio, highRatio] = range([](const Figures &f) { return f.ratio; });
    chart.ratio = Axis(lowRatio, highRatio, true);
    for (int panel = 0; panel < 2; ++panel) {
        const auto [slow, fast] = range([panel](const Figures &f) { return f.speeds[panel]; });
        chart.panels.push_back({QRectF(Left + panel * (PanelWidth + Gap), Top, PanelWidth, PanelHeight), Axis(slow, fast, false), panel == 0});
    }

    // The dots, then the diamonds, each drawn smaller than any it would lie over.
    for (const bool total : {false, true})
        for (int panel = 0; panel < 2; ++panel)
            for (const Figures &one : figures) {
                if (one.total != total)
                    continue;
                const ChartPanel &place = chart.panels[std::size_t(panel)];
                const QPointF at(place.area.left() + place.speed.at(one.speeds[panel]) * place.area.width(),
                                 place.area.bottom() - chart.ratio.at(one.ratio) * place.area.height());
                double size = total ? Diamond : Dot;
                for (const ChartMark &earlier : chart.marks)
                    if (total && earlier.total && earlier.panel == panel
                        && std::fabs(earlier.at.x() - at.x()) + std::fabs(earlier.at.y() - at.y()) < earlier.size + size)
                        size = std::max(Smallest, std::min(size, earlier.size - 2));
                chart.marks.push_back({panel, at, size, one.library, total, one.text});
            }
    std::stable_sort(chart.marks.begin(), chart.marks.end(), [](const ChartMark &a, const ChartMark &b) {
        return a.total != b.total ? !a.total : a.total && a.size > b.size;
    });

    // The diamonds' labels first: they are the ones read most.
    Placer placer(chart, device);
    for (const bool total : {true, false})
        for (const ChartMark &mark : chart.marks)
            if (mark.total == total)
                placer.label(mark);
    chart.width = Width;
    const std::size_t perColumn = (chart.key.size() + 3) / 4;
    chart.height = Top + PanelHeight + 60 + 14 * double(perColumn) + (chart.key.empty() ? 0 : 16) + 30;
    return chart;
}
