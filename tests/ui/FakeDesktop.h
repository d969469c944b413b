#pragma once

#include <QApplication>
#include <QDialog>
#include <QPrinter>
#include <QUrl>

#include <functional>
#include <vector>

#include "ui/Desktop.h"

namespace qlk::test {

// The QApplication every window test needs, made once for the whole program.
inline void EnsureApplication() {
    if (QApplication::instance()) return;
    // Offscreen unless asked for another platform (screenshots under Xvfb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "qlk-tests-ui";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
}

// Answers every question at once and records what the windows asked.
class FakeDesktop : public Desktop {
public:
    std::vector<QString> messages;
    std::vector<QString> errors;
    std::vector<QString> questions;
    std::vector<QString> modalTitles;
    std::vector<QUrl> openedUrls;

    bool confirmAnswer = true;
    bool yesNoAnswer = true;
    std::function<void(QDialog&)> whileModal;
    std::function<bool(QPrinter&)> choosePrinter = [](QPrinter&) { return false; };

    void ShowMessage(QWidget*, const QString& text) override { messages.push_back(text); }
    void ShowError(QWidget*, const QString& text) override { errors.push_back(text); }
    bool ConfirmOkCancel(QWidget*, const QString& text) override {
        questions.push_back(text);
        return confirmAnswer;
    }
    bool AskYesNo(QWidget*, const QString& title, const QString& text) override {
        questions.push_back(title + ": " + text);
        return yesNoAnswer;
    }
    void RunModal(QDialog& dialog) override {
        modalTitles.push_back(dialog.windowTitle());
        if (whileModal) whileModal(dialog);
    }
    bool ChoosePrinter(QWidget*, QPrinter& printer) override { return choosePrinter(printer); }
    bool OpenUrl(const QUrl& url) override {
        openedUrls.push_back(url);
        return true;
    }
};

}  // namespace qlk::test
