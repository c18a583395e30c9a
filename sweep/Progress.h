// What the sweep is doing, on one line of standard error, where a person is
// watching a terminal; nothing anywhere else.
#pragma once

#include <QString>

class Progress {
public:
    Progress();
    ~Progress();
    void show(const QString &text);

private:
    bool shown_ = false;
    bool terminal_;
};
