#include "CompressRun.h"

#include "Clock.h"
#include "FileLength.h"
#include "FileStamp.h"
#include "Module1.h"
#include "PathBuffer.h"
#include "PatternFormat.h"
#include "RunError.h"
#include "WindowState.h"

#include <QLocale>
#include <array>

namespace {

const QString DefaultTarget = QStringLiteral("compress.dat");
constexpr QStringView SizePattern = u"###,###,###";
constexpr QStringView TimePattern = u"##.####";
constexpr QStringView PercentPattern = u"###.#";

constexpr std::array Rows{StatisticsRow::OrigSize, StatisticsRow::CompSize,
                          StatisticsRow::CompTime, StatisticsRow::CompPct};

// Only U+0020 counts as space; a tab is text.
bool isBlank(const QString &text)
{
    return text.count(QLatin1Char(' ')) == text.size();
}

QString sizeCaption(std::uint64_t bytes, const QLocale &locale)
{
    return formatPattern(bytes, SizePattern, locale) + QStringLiteral(" bytes");
}

// The share of the original size that compression saved. An empty original
// has no such share.
QString percentCaption(std::uint64_t compressed, std::uint64_t original, const QLocale &locale)
{
    if (original == 0)
        return QStringLiteral("n/a");
    double saved = 100.0 - static_cast<double>(compressed) / static_cast<double>(original) * 100.0;
    return formatPattern(saved, PercentPattern, locale) + QStringLiteral("%");
}

// Sets the statistics rows in their order, each as soon as it is known.
class StatisticsRows {
public:
    explicit StatisticsRows(WindowState &form) : form_(form) {}
    void show(const QString &caption) { form_.setCaption(Rows[next_++], caption); }
    // After a failure, so that no row keeps a figure of an earlier run.
    void emptyUnreached()
    {
        for (std::size_t row = next_; row < Rows.size(); ++row)
            form_.setCaption(Rows[row], QString());
    }

private:
    WindowState &form_;
    std::size_t next_ = 0;
};

// Steps after the blank test, from copying the paths to restoring the pointer.
void run(WindowState &form, Module1 &library, Clock &clock, StatisticsRows &rows)
{
    form.SourcePath = form.text(PathField::SourceFile);
    if (isBlank(form.text(PathField::DestFile)))
        form.setText(PathField::DestFile, DefaultTarget);
    form.repaintNow(PathField::DestFile);
    form.DestPath = form.text(PathField::DestFile);
    form.setPointer(MousePointer::Hourglass);

    const TargetWatch target(form.DestPath);
    // Exactly the library call is timed: conversions and a first load included.
    const auto elapsed = timed(clock, [&] { library.compress_file(form.SourcePath, form.DestPath); });

    // The default locale is the system's unless the program chose another.
    const QLocale locale;
    // The source first: a name mistyped there is what the user must hear of,
    // not the target the library could not write from it.
    const std::uint64_t sourceSize = fileLength(form.SourcePath);
    rows.show(sizeCaption(sourceSize, locale));
    target.requireWritten(form.DestPath);
    const std::uint64_t written = fileLength(form.DestPath);
    if (written == 0 && sourceSize > 0)
        throw RunError(QStringLiteral("The compression library wrote an empty file at \"%1\" for a source of %2 bytes.%3")
                           .arg(shownPath(form.DestPath), formatPattern(sourceSize, SizePattern, locale),
                                target.heldContentBefore() ? QStringLiteral(" The file that was there before is lost.") : QString()));
    rows.show(sizeCaption(written, locale));
    const double seconds = std::chrono::duration<double>(elapsed).count();
    rows.show(formatPattern(seconds, TimePattern, locale) + QStringLiteral(" secs."));
    // The percentage reads both lengths afresh, the target first.
    const std::uint64_t compressed = fileLength(form.DestPath);
    const std::uint64_t original = fileLength(form.SourcePath);
    rows.show(percentCaption(compressed, original, locale));
    form.setPointer(MousePointer::Default);
}

} // namespace

void CompressBtn_Click(WindowState &form, Module1 &library, Clock &clock)
{
    if (isBlank(form.text(PathField::SourceFile)) && isBlank(form.text(PathField::DestFile)))
        return;

    StatisticsRows rows(form);
    try {
        run(form, library, clock, rows);
    } catch (...) {
        rows.emptyUnreached();
        throw;
    }
}
