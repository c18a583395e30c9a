// Qt's own open-file dialog behind the OpenFileDialog interface.
#pragma once

#include "OpenFileDialog.h"

class QFileDialog;
class QWidget;

class QtOpenFileDialog : public OpenFileDialog {
public:
    explicit QtOpenFileDialog(QWidget *parent);

    bool ShowOpen() override;
    QString FileName() const override { return fileName_; }

    // The dialog itself, made on first use, for tests that drive it.
    QFileDialog *dialog();

private:
    QWidget *parent_;
    QFileDialog *dialog_ = nullptr;
    QString fileName_;
};
