#include "FilePicking.h"

#include "OpenFileDialog.h"
#include "WindowState.h"

namespace {

void pickInto(WindowState &form, PathField field)
{
    OpenFileDialog &dialog = form.Dlg();
    if (dialog.ShowOpen())
        form.setText(field, dialog.FileName());
}

} // namespace

void SourceFile_DblClick(WindowState &form)
{
    pickInto(form, PathField::SourceFile);
}

void DestFile_DblClick(WindowState &form)
{
    pickInto(form, PathField::DestFile);
}
