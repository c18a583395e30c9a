#include "picking/FilePicking.h"

#include "picking/OpenFileDialog.h"
#include "window/WindowState.h"

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
