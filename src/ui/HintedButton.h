#pragma once

#include <QPushButton>

namespace qlk {

// A push button with its object name, caption and hint.
inline QPushButton* NewHintedButton(const char* name, const char* caption, const char* hint, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromLatin1(hint));
    return button;
}

}  // namespace qlk
