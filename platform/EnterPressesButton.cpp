#include "EnterPressesButton.h"

#include <QKeyEvent>
#include <QPushButton>

void EnterPressesButton::install(QPushButton* button) {
    button->installEventFilter(new EnterPressesButton(button));
}

bool EnterPressesButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!enter || modifiers != Qt::NoModifier || button == nullptr || !button->isEnabled())
        return false;
    // A held key presses once; the button's own action may take a while or open a dialog.
    if (!key->isAutoRepeat())
        button->click();
    return true;
}
