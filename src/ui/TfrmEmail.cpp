#include "ui/TfrmEmail.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gateway/Version.h"
#include "ui/Desktop.h"
#include "ui/SupportDraft.h"

namespace qlk {

TfrmEmail::TfrmEmail(Desktop& desktop, std::filesystem::path workFolder, QString logFileName, QWidget* parent)
    : QDialog(parent),
      desktop_(desktop),
      workFolder_(std::move(workFolder)),
      logFileName_(std::move(logFileName)) {
    setObjectName(QStringLiteral("frmEmail"));
    setWindowTitle(QStringLiteral("Email Tech Support"));
    resize(480, 420);

    auto* intro = new QLabel(
        QStringLiteral("Describe the problem. Quelmark saves the report as %1 in its working folder; "
                       "send that file with your mail program. Nothing is sent from here.")
            .arg(QString::fromLatin1(DraftFileName)),
        this);
    intro->setWordWrap(true);

    edtFrom_ = new QLineEdit(this);
    edtFrom_->setObjectName(QStringLiteral("edtFrom"));
    edtTo_ = new QLineEdit(this);
    edtTo_->setObjectName(QStringLiteral("edtTo"));
    edtTo_->setPlaceholderText(QStringLiteral("support address of your Quelmark provider"));
    mmoProblem_ = new QPlainTextEdit(this);
    mmoProblem_->setObjectName(QStringLiteral("mmoProblem"));

    chkAttachLog_ = new QCheckBox(QStringLiteral("Attach the log file (%1)").arg(logFileName_), this);
    chkAttachConfig_ = new QCheckBox(QStringLiteral("Attach QLK.CFG (holds the dial-up password)"), this);
    chkAttachUsers_ = new QCheckBox(QStringLiteral("Attach users.DB (holds the POP3 passwords)"), this);
    for (QCheckBox* box : {chkAttachLog_, chkAttachConfig_, chkAttachUsers_}) box->setChecked(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Your Internet address:"), edtFrom_);
    form->addRow(QStringLiteral("To:"), edtTo_);
    form->addRow(QStringLiteral("Problem:"), mmoProblem_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    auto* btnSave = buttons->addButton(QStringLiteral("Save Message"), QDialogButtonBox::AcceptRole);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnSave, &QPushButton::clicked, this, [this] {
        if (SaveDraft()) accept();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(chkAttachLog_);
    layout->addWidget(chkAttachConfig_);
    layout->addWidget(chkAttachUsers_);
    layout->addWidget(buttons);
}

bool TfrmEmail::SaveDraft() {
    const QDir folder(QString::fromStdString(workFolder_.string()));
    SupportDraft draft;
    draft.From = edtFrom_->text();
    draft.To = edtTo_->text();
    draft.Text = mmoProblem_->toPlainText() +
                 QStringLiteral("\n\n-- \nQuelmark %1").arg(QString::fromLatin1(VersionText));
    if (chkAttachLog_->isChecked()) draft.AttachmentPaths << folder.filePath(logFileName_);
    if (chkAttachConfig_->isChecked()) draft.AttachmentPaths << folder.filePath(QStringLiteral("QLK.CFG"));
    if (chkAttachUsers_->isChecked()) draft.AttachmentPaths << folder.filePath(QStringLiteral("users.DB"));

    const QString path = folder.filePath(QString::fromLatin1(DraftFileName));
    if (!draft.Save(path)) {
        desktop_.ShowError(this, QStringLiteral("Cannot create file %1").arg(path));
        return false;
    }
    desktop_.ShowMessage(
        this, QStringLiteral("Problem report saved as %1. Send it with your mail program.").arg(path));
    return true;
}

}  // namespace qlk
