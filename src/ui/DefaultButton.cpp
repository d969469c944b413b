#include "ui/DefaultButton.h"

#include <QKeyEvent>
#include <QPushButton>

namespace qlk {

DefaultButton::DefaultButton(QWidget* window, QPushButton* button)
    : QObject(window), window_(window), button_(button) {
    button_->setDefault(true);
    // Key presses a control leaves unused travel up to the window.
    window_->installEventFilter(this);
}

bool DefaultButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    auto* focused = qobject_cast<QPushButton*>(window_->focusWidget());
    QPushButton* target = focused ? focused : button_;
    if (!target->isEnabled() || !target->isVisibleTo(window_)) return false;
    target->click();
    return true;
}

}  // namespace qlk
