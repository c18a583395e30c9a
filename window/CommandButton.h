// A push button whose access key moves the focus to it before clicking it, and
// which Enter clicks like Space while it has the focus.
#pragma once

#include <QPushButton>

class CommandButton : public QPushButton {
    Q_OBJECT
public:
    CommandButton(const QString &caption, QWidget *parent);

protected:
    bool event(QEvent *event) override;
};
