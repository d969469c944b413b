#include "ui/QtDesktop.h"

#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>


namespace qlk {

namespace {

void ShowWithoutWaiting(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

}  // namespace

void QtDesktop::ShowMessage(QWidget* parent, const QString& text) {
    ShowWithoutWaiting(parent, QMessageBox::Information, QStringLiteral("Quelmark"), text);
}

void QtDesktop::ShowError(QWidget* parent, const QString& text) {
    ShowWithoutWaiting(parent, QMessageBox::Critical, QStringLiteral("Error"), text);
}

bool QtDesktop::ConfirmOkCancel(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QStringLiteral("Confirmation"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Ok;
}

bool QtDesktop::AskYesNo(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void QtDesktop::RunModal(QDialog& dialog) {
    dialog.exec();
}

bool QtDesktop::ChoosePrinter(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDesktop::OpenUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace qlk
