#pragma once

#include "ui/Desktop.h"

namespace qlk {

// The desktop of a running program: Qt message boxes and dialogs, the
// desktop's browser, detached processes.
class QtDesktop : public Desktop {
public:
    void ShowMessage(QWidget* parent, const QString& text) override;
    void ShowError(QWidget* parent, const QString& text) override;
    bool ConfirmOkCancel(QWidget* parent, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& title, const QString& text) override;
    void RunModal(QDialog& dialog) override;
    bool ChoosePrinter(QWidget* parent, QPrinter& printer) override;
    bool OpenUrl(const QUrl& url) override;
};

}  // namespace qlk
