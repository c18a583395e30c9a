#include "Plot.h"

#include "FileName.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

namespace {

constexpr int Width = 880, Height = 560;
const QRectF Area(80, 90, Width - 110, Height - 150); // where the marks go
const QColor Colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                          QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b)};

struct Mark {
    double speed, ratio;
    QString label;
};

struct Library {
    QString shown; // its file name, or with its folder where two share a name
    QColor colour;
    std::vector<Mark> files;
    double size = 0, compressed = 0, seconds = 0; // over all its files, for the whole-set mark
};

// Compress speed on a log scale, ratio from zero.
class Scales {
public:
    Scales(double slowest, double fastest, double best)
        : low_(std::log10(slowest / 1.5)), high_(std::log10(fastest * 1.5)),
          top_(std::max(1.5, best * 1.15))
    {
    }
    QPointF at(double speed, double ratio) const
    {
        return {Area.left() + (std::log10(speed) - low_) / (high_ - low_) * Area.width(),
                Area.bottom() - ratio / top_ * Area.height()};
    }
    std::vector<double> speedTicks() const
    {
        std::vector<double> ticks;
        for (double decade = std::floor(low_); decade <= high_; ++decade)
            for (double step : {1.0, 2.0, 5.0})
                if (decade + std::log10(step) >= low_ && decade + std::log10(step) <= high_)
                    ticks.push_back(step * std::pow(10.0, decade));
        return ticks;
    }
    std::vector<double> ratioTicks() const
    {
        const double rough = top_ / 6, power = std::pow(10.0, std::floor(std::log10(rough)));
        const double step = power * (rough / power > 5 ? 10 : rough / power > 2 ? 5 : rough / power > 1 ? 2 : 1);
        std::vector<double> ticks;
        for (double tick = 0; tick <= top_; tick += step)
            ticks.push_back(tick);
        return ticks;
    }

private:
    double low_, high_, top_;
};

void drawAxes(QPainter &painter, const Scales &scales)
{
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    for (double speed : scales.speedTicks()) {
        const double x = scales.at(speed, 0).x();
        painter.setPen(QColor(0xe4, 0xe4, 0xe4));
        painter.drawLine(QPointF(x, Area.top()), QPointF(x, Area.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x - 40, Area.bottom() + 6, 80, 16), Qt::AlignHCenter | Qt::AlignTop, QString::number(speed));
    }
    for (double ratio : scales.ratioTicks()) {
        const double y = scales.at(1, ratio).y();
        painter.setPen(QColor(0xe4, 0xe4, 0xe4));
        painter.drawLine(QPointF(Area.left(), y), QPointF(Area.right(), y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(Area.left() - 58, y - 8, 50, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(ratio));
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(Area);
    painter.drawText(QRectF(Area.left(), Area.bottom() + 26, Area.width(), 18), Qt::AlignHCenter,
                     QStringLiteral("compress speed, MB/s (median of the runs; log scale) \u2192"));
    painter.save();
    painter.translate(Area.left() - 64, Area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-Area.height() / 2, -14, Area.height(), 18), Qt::AlignHCenter,
                     QStringLiteral("ratio, original \u00f7 compressed \u2192"));
    painter.restore();
}

void drawLegend(QPainter &painter, const std::vector<std::pair<QString, Library>> &libraries, int files)
{
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 13, QFont::Bold));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(Area.left(), 30), QStringLiteral("Compression ratio against speed"));
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    painter.drawText(QPointF(Area.left(), 50),
                     QStringLiteral("%1 file%2; a dot is a library on one file, a diamond the library over all of them")
                         .arg(files).arg(files == 1 ? "" : "s"));
    double x = Area.left();
    for (const auto &[name, library] : libraries) {
        painter.setBrush(library.colour);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(x + 5, 70), 5, 5);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + 14, 74), library.shown);
        x += 28 + painter.fontMetrics().horizontalAdvance(library.shown);
    }
}

// Draws `text` to the right of `point`, or else to its left, unless it would
// cover a mark or a label already drawn.
void label(QPainter &painter, QPointF point, const QString &text, std::vector<QRectF> &taken)
{
    const QRectF size = painter.fontMetrics().boundingRect(text);
    for (const QPointF at : {point + QPointF(7, 4), point + QPointF(-7 - size.width(), 4)}) {
        const QRectF box = size.translated(at);
        if (Area.contains(box) && std::none_of(taken.begin(), taken.end(), [&](const QRectF &t) { return t.intersects(box); })) {
            taken.push_back(box);
            painter.drawText(at, text);
            return;
        }
    }
}

} // namespace

bool plot(const std::vector<Row> &rows, const QString &file)
{
    std::vector<std::pair<QString, Library>> libraries; // in the order given
    double slowest = 1e300, fastest = 0, best = 0;
    int colours = 0;
    for (const Row &row : rows) {
        const std::optional<double> speed = speedOf(row, row.compressSeconds), ratio = ratioOf(row);
        if (row.status != RowStatus::Ok || !speed || !ratio || *speed <= 0)
            continue;
        auto entry = std::find_if(libraries.begin(), libraries.end(), [&](const auto &l) { return l.first == row.library; });
        if (entry == libraries.end()) {
            libraries.push_back({row.library, Library{}});
            entry = std::prev(libraries.end());
            entry->second.colour = Colours[colours++ % std::size(Colours)];
        }
        entry->second.files.push_back({*speed, *ratio, shownName(row.file.mid(row.file.lastIndexOf('/') + 1))});
        entry->second.size += double(row.size);
        entry->second.compressed += double(*row.compressed);
        entry->second.seconds += *median(row.compressSeconds);
        slowest = std::min(slowest, *speed), fastest = std::max(fastest, *speed), best = std::max(best, *ratio);
    }
    for (auto &[name, library] : libraries) {
        const QFileInfo file(name);
        const bool shared = std::count_if(libraries.begin(), libraries.end(), [&](const auto &other) {
                                return QFileInfo(other.first).fileName() == file.fileName();
                            }) > 1;
        library.shown = shared ? file.dir().dirName() + QLatin1Char('/') + file.fileName() : file.fileName();
    }
    QSvgGenerator svg;
    svg.setFileName(file);
    svg.setSize(QSize(Width, Height));
    svg.setViewBox(QRect(0, 0, Width, Height));
    svg.setTitle(QStringLiteral("brevimeter-bench: compression ratio against speed"));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "brevimeter-bench: %s: cannot be written\n", qPrintable(file));
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(0, 0, Width, Height), Qt::white);
    const Scales scales(libraries.empty() ? 1 : slowest, libraries.empty() ? 1000 : fastest, best);
    drawAxes(painter, scales);
    QByteArrayList files;
    for (const Row &row : rows)
        if (!files.contains(row.file))
            files << row.file;
    drawLegend(painter, libraries, int(files.size()));
    // Every mark first, so that no label covers one.
    std::vector<QRectF> taken;
    for (const auto &[name, library] : libraries)
        for (const Mark &mark : library.files) {
            const QPointF point = scales.at(mark.speed, mark.ratio);
            painter.setPen(QPen(library.colour.darker(130), 1));
            painter.setBrush(QColor(library.colour.red(), library.colour.green(), library.colour.blue(), 150));
            painter.drawEllipse(point, 4, 4);
            taken.push_back(QRectF(point - QPointF(5, 5), QSizeF(10, 10)));
        }
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    painter.setPen(QColor(0x55, 0x55, 0x55));
    for (const auto &[name, library] : libraries)
        for (const Mark &mark : library.files)
            label(painter, scales.at(mark.speed, mark.ratio), mark.label, taken);
    painter.setFont(QFont(QStringLiteral("Liberation Sans"), 10, QFont::Bold));
    for (const auto &[name, library] : libraries) {
        const QPointF point = scales.at(library.size / 1e6 / library.seconds, library.size / library.compressed);
        QPainterPath diamond;
        diamond.moveTo(point + QPointF(0, -9));
        diamond.lineTo(point + QPointF(9, 0));
        diamond.lineTo(point + QPointF(0, 9));
        diamond.lineTo(point + QPointF(-9, 0));
        diamond.closeSubpath();
        painter.setPen(QPen(Qt::black, 1.5));
        painter.setBrush(library.colour);
        painter.drawPath(diamond);
        painter.setPen(library.colour.darker(150));
        label(painter, point + QPointF(4, 0), library.shown, taken);
    }
    return painter.end();
}
