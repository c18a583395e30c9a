// The real window on Qt's offscreen platform: its layout, its keyboard and its
// wiring to the handlers.
#include "support/QStringPrinter.h"
#include "runs/Clock.h"
#include "runs/Module1.h"
#include "support/TestLibraries.h"
#include "window/Form1.h"
#include "window/Form1Layout.h"

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Reset = void (*)(void (*)(const char *, const char *, const char *, void *), void *, long long);
using Calls = int (*)();

int calls()
{
    return testLibraryFunction<Calls>("recording", "recording_calls")();
}

class Form1Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        testLibraryFunction<Reset>("recording", "recording_reset")(nullptr, nullptr, -1);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    template <typename Widget = QWidget>
    Widget *control(const char *name)
    {
        auto *widget = form.findChild<Widget *>(QLatin1String(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Answers the next message box with OK; its title and text land in `box`.
    void answerNextMessageBox()
    {
        auto *poll = new QTimer(&form);
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll] {
            if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                box << shown->windowTitle() << shown->text();
                shown->accept();
                poll->deleteLater();
            }
        });
        poll->start(10);
    }

    MonotonicClock clock;
    Module1 library{testLibrary("recording")};
    Form1 form{library, clock};
    QStringList box;
};

TEST_F(Form1Window, HasItsCaptionSizeAndEmptyFields)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Brevimeter"));
    EXPECT_EQ(form.size(), QSize(314, 305));
    EXPECT_EQ(control<QLineEdit>("SourceFile")->text(), QString());
    EXPECT_EQ(control<QLineEdit>("DestFile")->text(), QString());
    EXPECT_EQ(control<QLineEdit>("SourceFile")->toolTip(), QStringLiteral("Double-Click to select file."));
    EXPECT_EQ(control<QLineEdit>("DestFile")->toolTip(), QStringLiteral("Double-Click to select file"));
    EXPECT_EQ(control<QPushButton>("CompressBtn")->text(), QStringLiteral("&Compress"));
    EXPECT_EQ(control<QPushButton>("DecompressBtn")->text(), QStringLiteral("&Decompress"));
    EXPECT_EQ(control<QGroupBox>("Frame1")->title(), QStringLiteral("Compression Statistics"));
    const std::pair<const char *, const char *> captions[] = {
        {"Label1", "Original Size"}, {"Label2", "Compressed Size"}, {"Label3", "Elapsed Time"},
        {"Label4", "Compression %"}, {"Label5", "Source File"},     {"Label6", "Target File"},
        {"OrigSize", ""}, {"CompSize", ""}, {"CompTime", ""}, {"CompPct", ""}};
    for (auto [name, caption] : captions)
        EXPECT_EQ(control<QLabel>(name)->text(), QLatin1String(caption)) << name;
    for (auto *button : {control<QPushButton>("CompressBtn"), control<QPushButton>("DecompressBtn")}) {
        EXPECT_TRUE(button->isEnabled());
        EXPECT_FALSE(button->isDefault());
    }
}

// Every control at its place whatever size the window takes; the frame's
// controls measured from the frame.
TEST_F(Form1Window, KeepsEveryControlWhereTheLayoutPutsIt)
{
    for (QSize size : {QSize(314, 305), QSize(600, 500), QSize(120, 90)}) {
        form.resize(size);
        QApplication::processEvents();
        for (const ControlPlacement &placement : form1Placements()) {
            QWidget *widget = control(placement.name);
            ASSERT_NE(widget, nullptr);
            const bool inFrame = widget->parentWidget()->objectName() == QLatin1String("Frame1");
            EXPECT_EQ(inFrame, std::string(placement.name).starts_with("Label") && placement.name[5] <= '4'
                                   || std::string(placement.name).starts_with("Orig")
                                   || std::string(placement.name).starts_with("Comp") && placement.name[4] != 'r')
                << placement.name;
            const QRect expected = pixelRect(placement);
            EXPECT_EQ(widget->pos(), expected.topLeft()) << placement.name;
            if (placement.sizesToText)
                EXPECT_EQ(widget->size(), widget->sizeHint()) << placement.name;
            else
                EXPECT_EQ(widget->size(), expected.size()) << placement.name;
        }
    }
}

// Screen readers read each control by its caption, and each value after its
// row caption.
TEST_F(Form1Window, NamesEveryControlForScreenReaders)
{
    EXPECT_EQ(control("SourceFile")->accessibleName(), QStringLiteral("Source File"));
    EXPECT_EQ(control("DestFile")->accessibleName(), QStringLiteral("Target File"));
    form.setCaption(StatisticsRow::CompSize, QStringLiteral("56,999 bytes"));
    EXPECT_EQ(control<QLabel>("CompSize")->text(), QStringLiteral("56,999 bytes"));
    EXPECT_EQ(control("CompSize")->accessibleName(), QStringLiteral("Compressed Size: 56,999 bytes"));
    form.setCaption(StatisticsRow::CompSize, QString());
    EXPECT_EQ(control("CompSize")->accessibleName(), QStringLiteral("Compressed Size"));
    EXPECT_EQ(control("CompPct")->accessibleName(), QStringLiteral("Compression %"));
}

TEST_F(Form1Window, TabsThroughTheFieldsAndButtonsOnly)
{
    const QStringList forward{"SourceFile", "DestFile", "CompressBtn", "DecompressBtn", "SourceFile"};
    EXPECT_EQ(QApplication::focusWidget()->objectName(), forward.first());
    for (qsizetype i = 1; i < forward.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), forward[i]);
    }
    for (qsizetype i = forward.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), forward[i]);
    }
}

TEST_F(Form1Window, AltCAndAltDClickTheirButtonsFromATextField)
{
    auto *source = control<QLineEdit>("SourceFile");
    source->setText(QStringLiteral("/no/such/file"));
    answerNextMessageBox();
    QTest::keyClick(source, Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("CompressBtn"));
    QTRY_COMPARE(calls(), 1);
    QTRY_COMPARE(box.size(), 2);
    EXPECT_EQ(box.at(0), QStringLiteral("Brevimeter"));
    EXPECT_EQ(box.at(1), QStringLiteral("The file \"/no/such/file\" was not found."));
    EXPECT_EQ(control<QLineEdit>("DestFile")->text(), QStringLiteral("compress.dat"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the pointer is back to normal";
    EXPECT_TRUE(form.isVisible()) << "a failure does not close the window";

    // No window manager gives the activation back once the box has gone.
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(control<QLineEdit>("DestFile"), Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(form.focusWidget()->objectName(), QStringLiteral("DecompressBtn"));
    QTRY_COMPARE(calls(), 2);
}

TEST_F(Form1Window, SpaceAndEnterClickTheFocusedButton)
{
    auto *decompress = control<QPushButton>("DecompressBtn");
    decompress->setFocus();
    QTest::keyClick(decompress, Qt::Key_Space);
    QTRY_COMPARE(calls(), 1);
    QTest::keyClick(decompress, Qt::Key_Return);
    QTRY_COMPARE(calls(), 2);
    QTest::keyClick(decompress, Qt::Key_Enter, Qt::KeypadModifier);
    QTRY_COMPARE(calls(), 3);
}

TEST_F(Form1Window, EnterInATextFieldClicksNoButton)
{
    QTest::keyClick(control<QLineEdit>("SourceFile"), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(calls(), 0);
}

TEST_F(Form1Window, DoubleClickOpensTheOneDialogAndFillsTheField)
{
    const QString startedIn = QDir::currentPath();
    const QString chosen = QDir::temp().absoluteFilePath(QStringLiteral("brevimeter-new-target.zst"));
    QFile::remove(chosen);
    auto *dest = control<QLineEdit>("DestFile");
    dest->setText(QStringLiteral("typed"));
    QFileDialog *dialog = form.fileDialog().dialog();
    QTimer::singleShot(0, [&] {
        // A file that does not exist yet is accepted, for a new target.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(chosen);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseDClick(dest, Qt::LeftButton);
    EXPECT_EQ(dest->text(), chosen);
    EXPECT_FALSE(QFile::exists(chosen)) << "choosing a name creates nothing";
    EXPECT_EQ(QDir::currentPath(), startedIn) << "choosing a file in another folder moves nothing";

    QTimer::singleShot(0, [&] {
        EXPECT_EQ(dialog->selectedFiles().value(0), chosen) << "the dialog opens with the last name";
        dialog->reject();
    });
    auto *source = control<QLineEdit>("SourceFile");
    source->setText(QStringLiteral("typed source"));
    QTest::mouseDClick(source, Qt::LeftButton);
    EXPECT_EQ(source->text(), QStringLiteral("typed source")) << "Cancel keeps the field";
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
