// The program's one window: two path fields, Compress and Decompress, and the
// "Compression Statistics" box.
#pragma once

#include "QtOpenFileDialog.h"
#include "WindowState.h"

#include <QWidget>

class Clock;
class CommandButton;
class Module1;
class QGroupBox;
class QLabel;
class QLineEdit;

class Form1 : public QWidget, public WindowState {
    Q_OBJECT
public:
    Form1(Module1 &library, Clock &clock, QWidget *parent = nullptr);

    QString text(PathField field) const override;
    void setText(PathField field, const QString &text) override;
    void repaintNow(PathField field) override;
    void setCaption(StatisticsRow row, const QString &caption) override;
    void setPointer(MousePointer pointer) override;
    void showError(const QString &description) override;

    // The one open-file dialog, shared by both fields.
    QtOpenFileDialog &Dlg() { return dialog_; }

private:
    void createControls();
    void createStatisticsBox();
    void placeControls();
    void wireEvents();
    QLineEdit *field(PathField field) const;

    Module1 &library_;
    Clock &clock_;

    QLineEdit *SourceFile;
    QLineEdit *DestFile;
    CommandButton *CompressBtn;
    CommandButton *DecompressBtn;
    QGroupBox *Frame1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *OrigSize;
    QLabel *CompSize;
    QLabel *CompTime;
    QLabel *CompPct;
    QtOpenFileDialog dialog_;
};
