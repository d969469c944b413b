#pragma once

#include <QObject>

class QPushButton;
class QWidget;

namespace qlk {

// Enter in WINDOW presses BUTTON, as in a dialog: a main window has no
// default button of its own. A push button that has the focus takes the key
// itself; controls that use Enter (a multi-line text) keep it.
class DefaultButton : public QObject {
    Q_OBJECT

public:
    DefaultButton(QWidget* window, QPushButton* button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    QPushButton* button_;
};

}  // namespace qlk
