// The open-file dialog as the picking handlers use it.
#pragma once

#include <QString>

class OpenFileDialog {
public:
    virtual ~OpenFileDialog() = default;
    // Shows the modal dialog with the current file name filled in. Returns true
    // when the user confirmed a file, whose full path is then the file name;
    // false on Cancel, which leaves the file name as it was.
    virtual bool ShowOpen() = 0;
    // Empty until a file is first confirmed; kept between uses.
    virtual QString FileName() const = 0;
};
