#pragma once

#include <QLineEdit>

namespace qlk {

// A password field shows one '*' per character, as operators know it,
// whatever mark the desktop's style would use.
inline void ShowAsAsterisks(QLineEdit* edit) {
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
}

}  // namespace qlk
