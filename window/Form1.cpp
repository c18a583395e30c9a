#include "Form1.h"

#include "FilePicking.h"
#include "CompressRun.h"
#include "DecompressRun.h"
#include "CommandButton.h"
#include "DoubleClickWatcher.h"
#include "Form1Layout.h"
#include "ReportFailures.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QString Title = QStringLiteral("Brevimeter");

template <typename Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The layout's sizes are made for a small sans-serif dialog font of 8 points;
// a narrow face with Arial's metrics keeps every caption inside its control.
QFont dialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    font.setPointSize(8);
    return font;
}

// A statistics value. A screen reader reads it with its row caption,
// "Original Size: 152,089 bytes"; the caption is also its description.
QLabel *valueLabel(QLabel *caption, const char *name)
{
    auto *label = named(new QLabel(caption->parentWidget()), name);
    // Text from the top, as every caption is, so a row reads on one line.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAccessibleDescription(caption->text());
    label->setAccessibleName(caption->text());
    return label;
}

void showValue(QLabel *label, const QString &value)
{
    label->setText(value);
    const QString caption = label->accessibleDescription();
    label->setAccessibleName(value.isEmpty() ? caption : caption + QStringLiteral(": ") + value);
}

// Screen readers announce a top-level QWidget as a mere filler; this one is
// the program's window.
QAccessibleInterface *form1Accessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("Form1") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

Form1::Form1(Module1 &library, Clock &clock, QWidget *parent)
    : QWidget(parent), library_(library), clock_(clock), dialog_(this)
{
    // Once per process, before anything asks the window for its accessible face.
    static const bool accessibleAsWindow = (QAccessible::installFactory(form1Accessible), true);
    Q_UNUSED(accessibleAsWindow);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Title);
    setFont(dialogFont());
    createControls();
    createStatisticsBox();
    placeControls();
    wireEvents();
    resize(Form1ClientSize);
    SourceFile->setFocus();
}

void Form1::createControls()
{
    SourceFile = named(new QLineEdit(this), "SourceFile");
    SourceFile->setToolTip(QStringLiteral("Double-Click to select file."));
    SourceFile->setAccessibleName(QStringLiteral("Source File"));
    DestFile = named(new QLineEdit(this), "DestFile");
    DestFile->setToolTip(QStringLiteral("Double-Click to select file"));
    DestFile->setAccessibleName(QStringLiteral("Target File"));

    CompressBtn = named(new CommandButton(QStringLiteral("&Compress"), this), "CompressBtn");
    DecompressBtn = named(new CommandButton(QStringLiteral("&Decompress"), this), "DecompressBtn");

    Label5 = named(new QLabel(QStringLiteral("Source File"), this), "Label5");
    Label5->setBuddy(SourceFile);
    Label6 = named(new QLabel(QStringLiteral("Target File"), this), "Label6");
    Label6->setBuddy(DestFile);

    setTabOrder(SourceFile, DestFile);
    setTabOrder(DestFile, CompressBtn);
    setTabOrder(CompressBtn, DecompressBtn);
}

void Form1::createStatisticsBox()
{
    Frame1 = named(new QGroupBox(QStringLiteral("Compression Statistics"), this), "Frame1");
    // A classic frame: an etched line whose top runs through the middle of the
    // caption, the caption breaking it near the left corner. The rows keep
    // their places, measured from the frame's own corner.
    Frame1->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 2px groove palette(mid); margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
    Label1 = named(new QLabel(QStringLiteral("Original Size"), Frame1), "Label1");
    Label2 = named(new QLabel(QStringLiteral("Compressed Size"), Frame1), "Label2");
    OrigSize = valueLabel(Label1, "OrigSize");
    CompSize = valueLabel(Label2, "CompSize");
    Label3 = named(new QLabel(QStringLiteral("Elapsed Time"), Frame1), "Label3");
    CompTime = valueLabel(Label3, "CompTime");
    Label4 = named(new QLabel(QStringLiteral("Compression %"), Frame1), "Label4");
    CompPct = valueLabel(Label4, "CompPct");
    // A frame drawn by a style sheet hands no font down to what it holds.
    for (QLabel *label : Frame1->findChildren<QLabel *>())
        label->setFont(font());
}

void Form1::placeControls()
{
    // Fixed positions: nothing moves when the window is resized.
    for (const ControlPlacement &placement : form1Placements()) {
        auto *control = findChild<QWidget *>(QLatin1String(placement.name));
        Q_ASSERT(control);
        control->setGeometry(pixelRect(placement));
        if (placement.sizesToText)
            control->adjustSize();
    }
}

void Form1::wireEvents()
{
    connect(CompressBtn, &QPushButton::clicked, this,
            [this] { reportFailures(*this, [this] { CompressBtn_Click(*this, library_, clock_); }); });
    connect(DecompressBtn, &QPushButton::clicked, this,
            [this] { reportFailures(*this, [this] { DecompressBtn_Click(*this, library_); }); });
    connect(new DoubleClickWatcher(SourceFile), &DoubleClickWatcher::doubleClicked, this,
            [this] { reportFailures(*this, [this] { SourceFile_DblClick(*this, dialog_); }); });
    connect(new DoubleClickWatcher(DestFile), &DoubleClickWatcher::doubleClicked, this,
            [this] { reportFailures(*this, [this] { DestFile_DblClick(*this, dialog_); }); });
}

QLineEdit *Form1::field(PathField which) const
{
    return which == PathField::SourceFile ? SourceFile : DestFile;
}

QString Form1::text(PathField which) const
{
    return field(which)->text();
}

void Form1::setText(PathField which, const QString &text)
{
    field(which)->setText(text);
}

void Form1::repaintNow(PathField which)
{
    field(which)->repaint();
}

void Form1::setCaption(StatisticsRow row, const QString &caption)
{
    switch (row) {
    case StatisticsRow::OrigSize: showValue(OrigSize, caption); break;
    case StatisticsRow::CompSize: showValue(CompSize, caption); break;
    case StatisticsRow::CompTime: showValue(CompTime, caption); break;
    case StatisticsRow::CompPct: showValue(CompPct, caption); break;
    }
}

void Form1::setPointer(MousePointer pointer)
{
    if (pointer == MousePointer::Hourglass) {
        if (QApplication::overrideCursor())
            QApplication::changeOverrideCursor(Qt::WaitCursor);
        else
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
}

void Form1::showError(const QString &description)
{
    QMessageBox box(QMessageBox::Critical, Title, description, QMessageBox::Ok, this);
    // File names and the system's words, never markup: "<b>x</b>.txt" is a name.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
