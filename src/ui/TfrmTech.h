#pragma once

#include <QDialog>

#include <functional>

namespace qlk {

// The "Tech Support" window: what to try before asking for help, and the
// "Email" button that prepares a problem report.
class TfrmTech : public QDialog {
    Q_OBJECT

public:
    TfrmTech(std::function<void()> email, QWidget* parent = nullptr);

private:
    std::function<void()> email_;
};

}  // namespace qlk
