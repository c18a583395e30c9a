#include "window/Form1.h"

#include "picking/FilePicking.h"
#include "runs/CompressRun.h"
#include "runs/DecompressRun.h"
#include "window/CommandButton.h"
#include "window/DoubleClickWatcher.h"
#include "window/Form1Layout.h"
#include "window/ReportFailures.h"

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

QLabel *valueLabel(QWidget *parent, const char *name, const QString &accessibleName)
{
    auto *label = named(new QLabel(parent), name);
    label->setAccessibleName(accessibleName);
    return label;
}

} // namespace

Form1::Form1(Module1 &library, Clock &clock, QWidget *parent)
    : QWidget(parent), library_(library), clock_(clock), dialog_(this)
{
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
    Label1 = named(new QLabel(QStringLiteral("Original Size"), Frame1), "Label1");
    Label2 = named(new QLabel(QStringLiteral("Compressed Size"), Frame1), "Label2");
    OrigSize = valueLabel(Frame1, "OrigSize", Label1->text());
    CompSize = valueLabel(Frame1, "CompSize", Label2->text());
    Label3 = named(new QLabel(QStringLiteral("Elapsed Time"), Frame1), "Label3");
    CompTime = valueLabel(Frame1, "CompTime", Label3->text());
    Label4 = named(new QLabel(QStringLiteral("Compression %"), Frame1), "Label4");
    CompPct = valueLabel(Frame1, "CompPct", Label4->text());
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
            [this] { reportFailures(*this, [this] { SourceFile_DblClick(*this); }); });
    connect(new DoubleClickWatcher(DestFile), &DoubleClickWatcher::doubleClicked, this,
            [this] { reportFailures(*this, [this] { DestFile_DblClick(*this); }); });
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
    case StatisticsRow::OrigSize: OrigSize->setText(caption); break;
    case StatisticsRow::CompSize: CompSize->setText(caption); break;
    case StatisticsRow::CompTime: CompTime->setText(caption); break;
    case StatisticsRow::CompPct: CompPct->setText(caption); break;
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
    box.exec();
}
