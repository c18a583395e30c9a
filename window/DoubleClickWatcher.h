// Turns a double-click on a widget into a signal, in place of the widget's own
// handling of it (a line edit would otherwise select a word).
#pragma once

#include <QObject>

class DoubleClickWatcher : public QObject {
    Q_OBJECT
public:
    explicit DoubleClickWatcher(QWidget *watched);

signals:
    void doubleClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
