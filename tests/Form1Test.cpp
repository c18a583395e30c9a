// The real window on Qt's offscreen platform: its keyboard, its layout, its
// message box and its dialog.
#include "support/QStringPrinter.h"
#include "Form1.h"
#include "Module1.h"
#include "support/ScratchFolder.h"
#include "support/TestLibraries.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

class Form1Window : public ScratchFolder {
protected:
    void SetUp() override
    {
        ScratchFolder::SetUp();
        recordInto(calls, -1);
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

    FakeWindow calls; // only its record of the library's calls
    MonotonicClock clock;
    Module1 library{testLibrary("recording")};
    Form1 form{library, clock};
};

// Tab and Shift+Tab go round the fields and buttons; Alt+C and Alt+D from
// anywhere move the focus to their button and click it; Space and Enter click
// the focused button, and Enter in a field clicks nothing.
TEST_F(Form1Window, TheKeyboardReachesEverything)
{
    const QStringList order{"SourceFile", "DestFile", "CompressBtn", "DecompressBtn", "SourceFile"};
    EXPECT_EQ(QApplication::focusWidget()->objectName(), order.first());
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), order[i]);
    }
    for (qsizetype i = order.size() - 2; i >= 0; --i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), order[i]);
    }
    recordInto(calls, 3);
    control<QLineEdit>("SourceFile")->setText(QString::fromStdString(write("in", "text")));
    control<QLineEdit>("DestFile")->setText(QStringLiteral("out"));
    QTest::keyClick(control("SourceFile"), Qt::Key_Return);
    struct Press { const char *in; Qt::Key key; Qt::KeyboardModifiers modifiers; const char *focus; };
    std::size_t clicks = 0;
    for (const Press &press : {Press{"SourceFile", Qt::Key_D, Qt::AltModifier, "DecompressBtn"},
                               {nullptr, Qt::Key_Space, {}, "DecompressBtn"}, {nullptr, Qt::Key_Return, {}, "DecompressBtn"},
                               {nullptr, Qt::Key_Enter, Qt::KeypadModifier, "DecompressBtn"},
                               {"DestFile", Qt::Key_C, Qt::AltModifier, "CompressBtn"}}) {
        QTest::keyClick(press.in ? control(press.in) : form.focusWidget(), press.key, press.modifiers);
        EXPECT_EQ(form.focusWidget()->objectName(), QLatin1String(press.focus));
        ++clicks;
        EXPECT_TRUE(QTest::qWaitFor([&] { return calls.calls.size() == clicks; }, 60000)) << clicks << " clicks";
    }
    EXPECT_EQ(calls.calls.back().entry, "compress_file");
}

// A failure shows its message, as plain text, over the window, which stays open
// with the pointer back to normal and the default target name in place.
TEST_F(Form1Window, AFailureIsShownAndTheWindowStays)
{
    QStringList box;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            box << shown->windowTitle() << shown->text() << QString::number(shown->textFormat());
            shown->accept();
        }
    });
    poll.start(10);
    recordInto(calls, 3);
    control<QLineEdit>("SourceFile")->setText(QStringLiteral("<b>bold</b>.txt"));
    QTest::mouseClick(control("CompressBtn"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !box.isEmpty(); }, 60000));
    EXPECT_EQ(box, (QStringList{"Brevimeter", "Cannot read file \"<b>bold</b>.txt\": No such file or directory.",
                                QString::number(Qt::PlainText)}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(control<QLineEdit>("DestFile")->text(), QStringLiteral("compress.dat"));
}

// Every control at its place in pixels (twips / 15), whatever size the window takes.
TEST_F(Form1Window, KeepsEveryControlInPlace)
{
    const std::pair<const char *, QRect> places[] = {
        {"SourceFile", {84, 20, 205, 21}},  {"DestFile", {84, 56, 205, 21}},   {"CompressBtn", {64, 100, 85, 29}},
        {"DecompressBtn", {168, 100, 85, 29}}, {"Frame1", {24, 164, 261, 125}}, {"Label1", {20, 20, 0, 0}},
        {"Label2", {20, 44, 0, 0}},          {"OrigSize", {116, 20, 133, 17}}, {"CompSize", {116, 44, 133, 17}},
        {"Label3", {20, 68, 0, 0}},          {"CompTime", {116, 68, 133, 17}}, {"Label4", {20, 92, 0, 0}},
        {"CompPct", {116, 92, 133, 17}},     {"Label5", {20, 24, 61, 13}},     {"Label6", {20, 56, 61, 17}}};
    for (QSize size : {QSize(314, 305), QSize(120, 90)}) {
        form.resize(size);
        QApplication::processEvents();
        for (const auto &[name, place] : places) // caption labels in the box take the size of their text
            EXPECT_EQ(control(name)->geometry(), QRect(place.topLeft(), place.isNull() ? control(name)->sizeHint() : place.size()))
                << name;
    }
    EXPECT_EQ(control("CompPct")->parentWidget(), control("Frame1"));
}

// The one dialog fills either field and keeps nothing once the window is gone.
TEST_F(Form1Window, DoubleClickFillsTheFieldFromTheOneDialog)
{
    const QString startedIn = QDir::currentPath();
    const QString chosen = QString::fromStdString(path("sub/new-target.zst"));
    std::filesystem::create_directory(path("sub"));
    auto window = std::make_unique<Form1>(library, clock);
    window->show();
    auto *dest = window->findChild<QLineEdit *>(QStringLiteral("DestFile")), *source = window->findChild<QLineEdit *>(QStringLiteral("SourceFile"));
    QFileDialog *dialog = window->Dlg().dialog();
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

    QString shownWith;
    QTimer::singleShot(0, [&] {
        shownWith = dialog->selectedFiles().value(0);
        dialog->reject();
    });
    source->setText(QStringLiteral("typed source"));
    QTest::mouseDClick(source, Qt::LeftButton);
    EXPECT_EQ(shownWith, chosen) << "the dialog opens with the last name";
    EXPECT_EQ(source->text(), QStringLiteral("typed source")) << "Cancel keeps the field";
    window.reset();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(qgetenv("XDG_CONFIG_HOME").toStdString()),
                            std::filesystem::directory_iterator()), 0) << "the program keeps no saved state";
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The user's own configuration is never touched; anything written lands here.
    std::string configuration = (std::filesystem::temp_directory_path() / "brevimeter-config-XXXXXX").string();
    qputenv("XDG_CONFIG_HOME", mkdtemp(configuration.data()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    std::filesystem::remove_all(configuration);
    return failed;
}
