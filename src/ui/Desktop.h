#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QPrinter;
class QUrl;
class QWidget;

namespace qlk {

// What the windows ask of the desktop: message boxes, modal windows, the
// printer dialog, the browser, starting and ending processes. The program
// uses QtDesktop; tests use a fake that answers at once, so no test blocks.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Informs without waiting: an unattended gateway must keep transferring
    // while a box stands open.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    virtual void ShowError(QWidget* parent, const QString& text) = 0;

    // Wait for the operator's answer.
    virtual bool ConfirmOkCancel(QWidget* parent, const QString& text) = 0;
    virtual bool AskYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void RunModal(QDialog& dialog) = 0;
    virtual bool ChoosePrinter(QWidget* parent, QPrinter& printer) = 0;

    virtual bool OpenUrl(const QUrl& url) = 0;
};

}  // namespace qlk
