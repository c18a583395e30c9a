// The chart's layout at the size the README and a corpus sweep give it, eight
// libraries by twelve files: each mark where its own figures put it, no label
// over a mark or another label, no total hidden under another, and every
// mark named beside it or in the key.
#include "Chart.h"

#include <QGuiApplication>
#include <QSvgGenerator>
#include <gtest/gtest.h>

namespace {

std::vector<ReportLine> sweepOf(int libraries, int files)
{
    std::vector<Measurement> measured;
    unsigned state = 7;
    const auto next = [&] { return (state = state * 1103515245u + 12345u) >> 8; };
    for (int file = 0; file < files; ++file)
        for (int library = 0; library < libraries; ++library) {
            // Speeds each way and ratios that have nothing to do with one another.
            const double compress = 1e-4 * double(1 + next() % 5000), decompress = 1e-4 * double(1 + next() % 500);
            const unsigned long long size = 100000 + file * 1000;
            measured.push_back({QStringLiteral("library-%1").arg(library), {}, QByteArray("corpus/file-") + QByteArray::number(file),
                                size, size / (1 + next() % 9 + library % 3), {{compress}, {compress}}, {{decompress}, {decompress}}});
        }
    return linesOf(measured);
}

TEST(Chart, PlacesEveryMarkAndLabelWhereNothingCoversThem)
{
    QSvgGenerator device;
    const std::vector<ReportLine> lines = sweepOf(8, 12);
    const Chart chart = chartOf(lines, &device);
    ASSERT_EQ(chart.marks.size(), 2 * (8 * 12 + 8u));
    for (const ChartMark &a : chart.marks)
        for (const ChartMark &b : chart.marks) {
            if (a.panel != b.panel || &a == &b)
                continue;
            const auto speed = [&](const ChartMark &mark) {
                const ReportLine &line = *std::find_if(lines.begin(), lines.end(), [&](const ReportLine &l) {
                    return (mark.total ? l.total && l.label == mark.text : !l.total && l.file.endsWith(mark.text.toUtf8()))
                           && (mark.total || l.label == chart.libraries[std::size_t(mark.library)]);
                });
                return *speedOf(line, mark.panel == 0 ? line.compress : line.decompress);
            };
            if (speed(a) < speed(b))
                EXPECT_LT(a.at.x(), b.at.x()) << "each panel by its own direction's speed";
            if (a.total && b.total && &a < &b && std::fabs(a.at.x() - b.at.x()) + std::fabs(a.at.y() - b.at.y()) < a.size + b.size)
                EXPECT_LT(b.size, a.size) << "a diamond over another is smaller, and drawn after it";
        }
    for (const ChartLabel &label : chart.labels) {
        EXPECT_TRUE(chart.panels[0].area.contains(label.box) || chart.panels[1].area.contains(label.box)) << label.text.toStdString();
        for (const ChartMark &mark : chart.marks)
            EXPECT_FALSE(label.box.intersects(QRectF(mark.at - QPointF(mark.size, mark.size), QSizeF(2 * mark.size, 2 * mark.size))))
                << label.text.toStdString() << " over a mark";
        for (const ChartLabel &other : chart.labels)
            EXPECT_TRUE(&label == &other || !label.box.intersects(other.box)) << label.text.toStdString() << " over " << other.text.toStdString();
    }
    const auto unlabelled = std::count_if(chart.key.begin(), chart.key.end(), [](const QString &k) { return k.contains(QStringLiteral("no room")); });
    EXPECT_EQ(chart.labels.size() + std::size_t(unlabelled), chart.marks.size()) << "every mark named beside it, or in the key";
    EXPECT_GT(chart.labels.size(), chart.marks.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
