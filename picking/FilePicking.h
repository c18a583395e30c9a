// Filling a path field from the window's open-file dialog: a double-click on a
// field opens the dialog; a confirmed file's full path replaces the field's
// text, and Cancel leaves the field as it was.
#pragma once

class WindowState;

void SourceFile_DblClick(WindowState &form);
void DestFile_DblClick(WindowState &form);
