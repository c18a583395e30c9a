#include "DoubleClickWatcher.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

DoubleClickWatcher::DoubleClickWatcher(QWidget *watched)
    : QObject(watched)
{
    watched->installEventFilter(this);
}

bool DoubleClickWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        emit doubleClicked();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
