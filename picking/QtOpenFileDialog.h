// Qt's own open-file dialog behind the OpenFileDialog interface.
#pragma once

#include "picking/OpenFileDialog.h"

class QFileDialog;
class QWidget;

class QtOpenFileDialog : public OpenFileDialog {
public:
    explicit QtOpenFileDialog(QWidget *parent);

    bool ShowOpen() override;
    QString FileName() const override { return fileName_; }

    // The dialog itself, for tests that drive it.
    QFileDialog *dialog() const { return dialog_; }

private:
    QFileDialog *dialog_;
    QString fileName_;
};
