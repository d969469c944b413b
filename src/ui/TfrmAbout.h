#pragma once

#include <QDialog>

#include <functional>

namespace qlk {

// The About window. Its "Tech Support" button hands over to the main window,
// which knows whether a transfer is running.
class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    TfrmAbout(std::function<void()> techSupport, QWidget* parent = nullptr);

private:
    std::function<void()> techSupport_;
};

}  // namespace qlk
