#pragma once

#include <QDialog>

#include <filesystem>
#include <string>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace qlk {

class Desktop;
class SupportDraft;

// "Email Tech Support": the operator describes the problem; the window saves
// it with the log and copies of QLK.CFG and users.DB attached as an unsent
// message in the working folder, to be sent with a mail program. The copies
// carry no password. It sends nothing itself.
class TfrmEmail : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* DraftFileName = "QLKSUPPORT.EML";

    TfrmEmail(Desktop& desktop, std::filesystem::path workFolder, QString logFileName,
              QWidget* parent = nullptr);

    // Saves the draft and tells the operator where it is; true when saved.
    bool SaveDraft();

private:
    // A password-blanked copy of FILE in the working folder, or the reason there is none in the text.
    void AttachCopy(SupportDraft& draft, const char* file, std::string (*copy)(const std::filesystem::path&));

    Desktop& desktop_;
    std::filesystem::path workFolder_;
    QString logFileName_;
    QLineEdit* edtFrom_;
    QLineEdit* edtTo_;
    QPlainTextEdit* mmoProblem_;
    QCheckBox* chkAttachLog_;
    QCheckBox* chkAttachConfig_;
    QCheckBox* chkAttachUsers_;
};

}  // namespace qlk
