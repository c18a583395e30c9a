#include "Plot.h"

#include "FileName.h"

#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

constexpr double Width = 1100, PanelWidth = 440, PanelHeight = 380, Top = 110;
const QColor Colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                          QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                          QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
                          QColor(0x17, 0xbe, 0xcf)};
const QFont Small(QStringLiteral("Liberation Sans"), 8), Normal(QStringLiteral("Liberation Sans"), 9),
    Title(QStringLiteral("Liberation Sans"), 13, QFont::Bold);

// A figure's place along an axis: logarithmic where the range passes ten
// times, else linear (from zero, for a ratio).
class Axis {
public:
    Axis(double low, double high, bool fromZero) : log_(low > 0 && high > 10 * low)
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
    double at(double value) const { return ((log_ ? std::log10(value) : value) - low_) / (high_ - low_); }
    bool logarithmic() const { return log_; }
    std::vector<double> ticks() const
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

private:
    bool log_;
    double low_ = 0, high_ = 1;
};

struct Mark {
    double compressSpeed, decompressSpeed, ratio;
    QString text;
    int library;
    bool total;
};

struct Panel {
    QRectF area;
    Axis speed;
    bool compress;
    QPointF at(const Mark &mark, const Axis &ratio) const
    {
        const double speed = compress ? mark.compressSpeed : mark.decompressSpeed;
        return {area.left() + this->speed.at(speed) * area.width(), area.bottom() - ratio.at(mark.ratio) * area.height()};
    }
};

QString tickText(double value)
{
    return QString::number(value, 'g', 4);
}

void drawAxes(QPainter &painter, const Panel &panel, const Axis &ratio)
{
    painter.setFont(Normal);
    for (double tick : panel.speed.ticks()) {
        const double x = panel.area.left() + panel.speed.at(tick) * panel.area.width();
        painter.setPen(QColor(0xe4, 0xe4, 0xe4));
        painter.drawLine(QPointF(x, panel.area.top()), QPointF(x, panel.area.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x - 40, panel.area.bottom() + 6, 80, 16), Qt::AlignHCenter | Qt::AlignTop, tickText(tick));
    }
    for (double tick : ratio.ticks()) {
        const double y = panel.area.bottom() - ratio.at(tick) * panel.area.height();
        painter.setPen(QColor(0xe4, 0xe4, 0xe4));
        painter.drawLine(QPointF(panel.area.left(), y), QPointF(panel.area.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(panel.area.left() - 58, y - 8, 50, 16), Qt::AlignRight | Qt::AlignVCenter, tickText(tick));
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(panel.area);
    painter.drawText(QRectF(panel.area.left(), panel.area.bottom() + 24, panel.area.width(), 18), Qt::AlignHCenter,
                     QStringLiteral("%1 speed, MB/s (median)%2 \u2192")
                         .arg(panel.compress ? "compress" : "decompress", panel.speed.logarithmic() ? "; log scale" : ""));
    painter.save();
    painter.translate(panel.area.left() - 64, panel.area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-panel.area.height() / 2, -14, panel.area.height(), 18), Qt::AlignHCenter,
                     QStringLiteral("ratio, original \u00f7 compressed%1 \u2192").arg(ratio.logarithmic() ? "; log scale" : ""));
    painter.restore();
}

void drawMark(QPainter &painter, QPointF point, const QColor &colour, bool total)
{
    if (!total) {
        painter.setPen(QPen(colour.darker(130), 1));
        painter.setBrush(QColor(colour.red(), colour.green(), colour.blue(), 150));
        painter.drawEllipse(point, 4, 4);
        return;
    }
    QPainterPath diamond;
    diamond.moveTo(point + QPointF(0, -8));
    diamond.lineTo(point + QPointF(8, 0));
    diamond.lineTo(point + QPointF(0, 8));
    diamond.lineTo(point + QPointF(-8, 0));
    diamond.closeSubpath();
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(colour);
    painter.drawPath(diamond);
}

// Labels placed beside their marks where they cover nothing already placed;
// the others get a number, one for each different text, listed under the chart.
class Labels {
public:
    struct Text {
        QPointF at;
        QString text;
        QFont font;
        QColor colour;
    };

    explicit Labels(QPaintDevice *device) : device_(device) {}

    void occupy(const QRectF &box) { taken_.push_back(box); }

    void place(QPointF point, const QString &text, const QRectF &area, const QFont &font, const QColor &colour)
    {
        const QRectF size = QFontMetricsF(font, device_).boundingRect(text);
        for (const QPointF at : {point + QPointF(7, 4), point + QPointF(-7 - size.width(), 4),
                                 point + QPointF(-size.width() / 2, -8), point + QPointF(-size.width() / 2, 8 + size.height())}) {
            const QRectF box = size.translated(at);
            if (area.contains(box) && std::none_of(taken_.begin(), taken_.end(), [&](const QRectF &t) { return t.intersects(box); })) {
                taken_.push_back(box);
                texts_.push_back({at, text, font, colour});
                return;
            }
        }
        auto number = numbers_.find(text);
        if (number == numbers_.end())
            number = numbers_.emplace(text, int(numbers_.size()) + 1).first;
        texts_.push_back({point + QPointF(5, -3), QString::number(number->second), font, colour});
    }

    const std::vector<Text> &texts() const { return texts_; }

    // The texts by their numbers.
    std::vector<QString> key() const
    {
        std::vector<QString> key(numbers_.size());
        for (const auto &[text, number] : numbers_)
            key[std::size_t(number - 1)] = QStringLiteral("%1 %2").arg(number).arg(text);
        return key;
    }

private:
    QPaintDevice *device_;
    std::vector<QRectF> taken_;
    std::vector<Text> texts_;
    std::map<QString, int> numbers_;
};

} // namespace

bool plot(const std::vector<ReportLine> &lines, const QString &file, const Provenance &made)
{
    std::vector<QString> libraries;
    std::vector<Mark> marks;
    QSet<QByteArray> files;
    for (const ReportLine &line : lines) {
        if (!line.total)
            files.insert(line.file);
        const auto compress = speedOf(line, line.compress), decompress = speedOf(line, line.decompress);
        const auto ratio = ratioOf(line);
        if (line.status != RowStatus::Ok || !compress || !decompress || !ratio)
            continue;
        auto library = std::find(libraries.begin(), libraries.end(), line.label);
        if (library == libraries.end())
            library = libraries.insert(libraries.end(), line.label);
        marks.push_back({*compress, *decompress, *ratio,
                         line.total ? line.label : shownName(line.file.mid(line.file.lastIndexOf('/') + 1)),
                         int(library - libraries.begin()), line.total});
    }
    const auto range = [&](auto figure) {
        double low = 1e300, high = 0;
        for (const Mark &mark : marks)
            low = std::min(low, figure(mark)), high = std::max(high, figure(mark));
        return marks.empty() ? std::pair(1.0, 10.0) : std::pair(low, high);
    };
    const auto [lowRatio, highRatio] = range([](const Mark &m) { return m.ratio; });
    const auto [slowC, fastC] = range([](const Mark &m) { return m.compressSpeed; });
    const auto [slowD, fastD] = range([](const Mark &m) { return m.decompressSpeed; });
    const Axis ratio(lowRatio, highRatio, true);
    const Panel panels[] = {{QRectF(80, Top, PanelWidth, PanelHeight), Axis(slowC, fastC, false), true},
                            {QRectF(80 + PanelWidth + 100, Top, PanelWidth, PanelHeight), Axis(slowD, fastD, false), false}};

    // Every mark first, so that no label covers one; then the labels; then
    // the key of those that did not fit, whose length sets the height.
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setTitle(QStringLiteral("brevimeter-bench: compression ratio against speed"));
    Labels labels(&svg);
    std::vector<std::pair<QPointF, const Mark *>> placed;
    for (const Panel &panel : panels)
        for (const Mark &mark : marks) {
            placed.emplace_back(panel.at(mark, ratio), &mark);
            labels.occupy(QRectF(placed.back().first - QPointF(5, 5), QSizeF(10, 10)));
        }
    // The diamonds' labels first: they are the ones read most.
    std::stable_sort(placed.begin(), placed.end(), [](const auto &a, const auto &b) { return a.second->total > b.second->total; });
    for (const auto &[point, mark] : placed) {
        const QColor colour = Colours[std::size_t(mark->library) % std::size(Colours)];
        const Panel &panel = point.x() < panels[1].area.left() ? panels[0] : panels[1];
        labels.place(point, mark->text, panel.area, mark->total ? Normal : Small,
                     mark->total ? colour.darker(150) : QColor(0x55, 0x55, 0x55));
    }
    const std::vector<QString> key = labels.key();
    const std::size_t perColumn = (key.size() + 3) / 4;
    const double keyTop = Top + PanelHeight + 60, height = keyTop + 14 * double(perColumn) + (key.empty() ? 0 : 16) + 30;
    svg.setSize(QSize(int(Width), int(height)));
    svg.setViewBox(QRectF(0, 0, Width, height));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "brevimeter-bench: %s: cannot be written\n", qPrintable(file));
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, Width, height), Qt::white);
    for (const Panel &panel : panels)
        drawAxes(painter, panel, ratio);
    for (const auto &[point, mark] : placed)
        drawMark(painter, point, Colours[std::size_t(mark->library) % std::size(Colours)], mark->total);
    for (const Labels::Text &text : labels.texts()) {
        painter.setFont(text.font);
        painter.setPen(text.colour);
        painter.drawText(text.at, text.text);
    }
    painter.setFont(Title);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(80, 30), QStringLiteral("Compression ratio against speed, compressing and decompressing"));
    painter.setFont(Normal);
    painter.drawText(QPointF(80, 50), QStringLiteral("%1 file%2, each call timed file to file. A dot is a library on one file; "
                                                     "a diamond is the library over all of them: total size \u00f7 total "
                                                     "compressed, total size \u00f7 summed median times.")
                                          .arg(files.size()).arg(files.size() == 1 ? "" : "s"));
    double x = 80;
    for (std::size_t i = 0; i < libraries.size(); ++i) {
        painter.setBrush(Colours[i % std::size(Colours)]);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(x + 5, 76), 5, 5);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + 14, 80), libraries[i]);
        x += 28 + painter.fontMetrics().horizontalAdvance(libraries[i]);
    }
    painter.setFont(Small);
    painter.setPen(Qt::black);
    if (!key.empty())
        painter.drawText(QPointF(80, keyTop), QStringLiteral("Marks whose label did not fit:"));
    for (std::size_t i = 0; i < key.size(); ++i)
        painter.drawText(QPointF(80 + 250 * double(i / perColumn), keyTop + 14 + 14 * double(i % perColumn)), key[i]);
    painter.setFont(Normal);
    painter.setPen(QColor(0x55, 0x55, 0x55));
    painter.drawText(QPointF(80, height - 12), footer(made));
    return painter.end();
}
