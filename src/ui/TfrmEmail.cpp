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

#include "gateway/ConfigurationFile.h"
#include "gateway/SupportCopies.h"
#include "gateway/UserDirectory.h"
#include "gateway/Version.h"
#include "ui/CoreText.h"
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
                       "send that file with your mail program. Nothing is sent from here. The copies of "
                       "QLK.CFG and users.DB in the report have every password blanked.")
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
    chkAttachConfig_ = new QCheckBox(QStringLiteral("Attach QLK.CFG (the dial-up password blanked)"), this);
    chkAttachConfig_->setObjectName(QStringLiteral("chkAttachConfig"));
    chkAttachUsers_ = new QCheckBox(QStringLiteral("Attach users.DB (the POP passwords blanked)"), this);
    chkAttachUsers_->setObjectName(QStringLiteral("chkAttachUsers"));
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
    if (chkAttachConfig_->isChecked())
        AttachCopy(draft, ConfigurationFile::FileName, &SupportCopies::ConfigurationWithoutPasswords);
    if (chkAttachUsers_->isChecked())
        AttachCopy(draft, UserDirectory::kFileName, &SupportCopies::UserTableWithoutPasswords);

    const QString path = folder.filePath(QString::fromLatin1(DraftFileName));
    if (!draft.Save(path)) {
        desktop_.ShowError(this, QStringLiteral("Cannot create file %1").arg(path));
        return false;
    }
    desktop_.ShowMessage(
        this, QStringLiteral("Problem report saved as %1. Send it with your mail program.").arg(path));
    return true;
}

void TfrmEmail::AttachCopy(SupportDraft& draft, const char* file,
                           std::string (*copy)(const std::filesystem::path&)) {
    const QString name = QString::fromLatin1(file);
    try {
        draft.AttachmentCopies.append({name, QByteArray::fromStdString(copy(workFolder_ / file))});
    } catch (const std::exception& error) {
        draft.Text += QStringLiteral("\n[%1 not attached: %2]").arg(name, FromCoreText(error.what()));
    }
}

}  // namespace qlk
