#include "Plot.h"

#include "Chart.h"
#include "FileName.h"
#include "Files.h"

#include <QBuffer>
#include <QFile>

#include <QPainter>
#include <QPainterPath>
#include <QSvgGenerator>
#include <cstdio>

namespace {

const QColor Colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                          QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                          QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f), QColor(0xbc, 0xbd, 0x22),
                          QColor(0x17, 0xbe, 0xcf)};

QColor colourOf(int library)
{
    return Colours[std::size_t(library) % std::size(Colours)];
}

QString tickText(double value)
{
    return QString::number(value, 'g', 4);
}

void drawAxes(QPainter &painter, const ChartPanel &panel, const Axis &ratio)
{
    painter.setFont(ChartNormal);
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

void drawMark(QPainter &painter, const ChartMark &mark)
{
    const QColor colour = colourOf(mark.library);
    if (!mark.total) {
        painter.setPen(QPen(colour.darker(130), 1));
        painter.setBrush(QColor(colour.red(), colour.green(), colour.blue(), 150));
        painter.drawEllipse(mark.at, mark.size, mark.size);
        return;
    }
    QPainterPath diamond;
    diamond.moveTo(mark.at + QPointF(0, -mark.size));
    diamond.lineTo(mark.at + QPointF(mark.size, 0));
    diamond.lineTo(mark.at + QPointF(0, mark.size));
    diamond.lineTo(mark.at + QPointF(-mark.size, 0));
    diamond.closeSubpath();
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(colour);
    painter.drawPath(diamond);
}

} // namespace

bool plot(const std::vector<ReportLine> &lines, const QString &file, const Provenance &made)
{
    // Drawn in memory, then written whole, or not at all.
    QBuffer drawn;
    QSvgGenerator svg;
    svg.setOutputDevice(&drawn);
    svg.setTitle(QStringLiteral("brevimeter-bench: compression ratio against speed"));
    const Chart chart = chartOf(lines, &svg);
    svg.setSize(QSize(int(chart.width), int(chart.height)));
    svg.setViewBox(QRectF(0, 0, chart.width, chart.height));
    QPainter painter;
    if (!painter.begin(&svg)) {
        std::fprintf(stderr, "brevimeter-bench: %s: cannot be drawn\n", qPrintable(shownName(QFile::encodeName(file))));
        return false;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRectF(0, 0, chart.width, chart.height), Qt::white);
    for (const ChartPanel &panel : chart.panels)
        drawAxes(painter, panel, chart.ratio);
    for (const ChartLabel &label : chart.labels)
        if (label.from) {
            painter.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 0.8));
            const QPointF end(std::clamp(label.from->x(), label.box.left(), label.box.right()),
                              std::clamp(label.from->y(), label.box.top(), label.box.bottom()));
            painter.drawLine(*label.from, end);
        }
    for (const ChartMark &mark : chart.marks)
        drawMark(painter, mark);
    for (const ChartLabel &label : chart.labels) {
        painter.setFont(label.total ? ChartNormal : ChartSmall);
        painter.setPen(label.total ? colourOf(label.library).darker(150) : QColor(0x55, 0x55, 0x55));
        painter.drawText(label.box, Qt::AlignLeft | Qt::AlignVCenter, label.text);
    }
    painter.setFont(ChartTitle);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(80, 30), QStringLiteral("Compression ratio against speed, compressing and decompressing"));
    painter.setFont(ChartNormal);
    painter.drawText(QPointF(80, 50), QStringLiteral("%1 file%2, each call timed file to file. A dot is a library on one file; "
                                                     "a diamond is the library over all of them: total size \u00f7 total "
                                                     "compressed, total size \u00f7 summed median times.")
                                          .arg(chart.files).arg(chart.files == 1 ? "" : "s"));
    double x = 80;
    for (std::size_t i = 0; i < chart.libraries.size(); ++i) {
        painter.setBrush(colourOf(int(i)));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(x + 5, 76), 5, 5);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(x + 14, 80), chart.libraries[i]);
        x += 28 + painter.fontMetrics().horizontalAdvance(chart.libraries[i]);
    }
    const double keyTop = chart.panels.front().area.bottom() + 60;
    const std::size_t perColumn = (chart.key.size() + 3) / 4;
    painter.setFont(ChartSmall);
    if (!chart.key.empty())
        painter.drawText(QPointF(80, keyTop), QStringLiteral("Marks whose label did not fit:"));
    for (std::size_t i = 0; i < chart.key.size(); ++i)
        painter.drawText(QPointF(80 + 250 * double(i / perColumn), keyTop + 14 + 14 * double(i % perColumn)), chart.key[i]);
    painter.setFont(ChartNormal);
    painter.setPen(QColor(0x55, 0x55, 0x55));
    painter.drawText(QPointF(80, chart.height - 12), footer(made));
    painter.end();
    if (const std::optional<QString> why = writtenWhole(QFile::encodeName(file), drawn.data())) {
        std::fprintf(stderr, "brevimeter-bench: %s: %s\n", qPrintable(shownName(QFile::encodeName(file))), qPrintable(*why));
        return false;
    }
    return true;
}
