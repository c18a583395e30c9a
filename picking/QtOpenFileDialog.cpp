#include "QtOpenFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

QtOpenFileDialog::QtOpenFileDialog(QWidget *parent)
    : parent_(parent)
{
}

// Made when first needed: a file dialog with its file-system model costs more
// to build than the rest of the window, and most sessions never open it.
QFileDialog *QtOpenFileDialog::dialog()
{
    if (dialog_)
        return dialog_;
    // The program keeps no state between sessions: Qt's dialog would read and
    // write its history and last folder in the user's configuration, so the
    // settings it uses point at a place that can hold nothing.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    dialog_ = new QFileDialog(parent_);
    dialog_->setObjectName(QStringLiteral("Dlg"));
    dialog_->setOption(QFileDialog::DontUseNativeDialog);
    // An open dialog that also takes the name of a file yet to be made, so a
    // new target can be chosen from it.
    dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    dialog_->setFileMode(QFileDialog::AnyFile);
    return dialog_;
}

bool QtOpenFileDialog::ShowOpen()
{
    QFileDialog *shown = dialog();
    if (!fileName_.isEmpty()) {
        QFileInfo last(fileName_);
        shown->setDirectory(last.absoluteDir());
        shown->selectFile(last.fileName());
    }
    if (shown->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = shown->selectedFiles();
    if (chosen.isEmpty())
        return false;
    fileName_ = QDir::toNativeSeparators(chosen.first());
    return true;
}
