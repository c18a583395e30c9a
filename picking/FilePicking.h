// Filling a path field from the window's one open-file dialog, which both
// fields share: a double-click on a field opens the dialog; a confirmed file's
// full path replaces the field's text, and Cancel leaves the field as it was.
#pragma once

class OpenFileDialog;
class WindowState;

void SourceFile_DblClick(WindowState &form, OpenFileDialog &Dlg);
void DestFile_DblClick(WindowState &form, OpenFileDialog &Dlg);
