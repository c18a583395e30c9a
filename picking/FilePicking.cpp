#include "FilePicking.h"

#include "OpenFileDialog.h"
#include "WindowState.h"

namespace {

void pickInto(WindowState &form, OpenFileDialog &Dlg, PathField field)
{
    if (Dlg.ShowOpen())
        form.setText(field, Dlg.FileName());
}

} // namespace

void SourceFile_DblClick(WindowState &form, OpenFileDialog &Dlg)
{
    pickInto(form, Dlg, PathField::SourceFile);
}

void DestFile_DblClick(WindowState &form, OpenFileDialog &Dlg)
{
    pickInto(form, Dlg, PathField::DestFile);
}
