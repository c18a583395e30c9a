#include "picking/QtOpenFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QtOpenFileDialog::QtOpenFileDialog(QWidget *parent)
    : dialog_(new QFileDialog(parent))
{
    dialog_->setObjectName(QStringLiteral("Dlg"));
    dialog_->setOption(QFileDialog::DontUseNativeDialog);
    // An open dialog that also takes the name of a file yet to be made, so a
    // new target can be chosen from it.
    dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    dialog_->setFileMode(QFileDialog::AnyFile);
}

bool QtOpenFileDialog::ShowOpen()
{
    if (!fileName_.isEmpty()) {
        QFileInfo last(fileName_);
        dialog_->setDirectory(last.absoluteDir());
        dialog_->selectFile(last.fileName());
    }
    if (dialog_->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog_->selectedFiles();
    if (chosen.isEmpty())
        return false;
    fileName_ = QDir::toNativeSeparators(chosen.first());
    return true;
}
