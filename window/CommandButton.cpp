#include "CommandButton.h"

#include <QEvent>

CommandButton::CommandButton(const QString &caption, QWidget *parent)
    : QPushButton(caption, parent)
{
    // Auto-default is what lets Enter click a focused button outside a dialog;
    // it does not make the button the window's default.
    setAutoDefault(true);
}

bool CommandButton::event(QEvent *event)
{
    if (event->type() == QEvent::Shortcut && isEnabled())
        setFocus(Qt::ShortcutFocusReason);
    return QPushButton::event(event);
}
