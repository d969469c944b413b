#include "ui/TfrmTech.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qlk {

namespace {

const char* const kInstructions =
    "Before you ask for help:\n"
    "\n"
    "1. Set the Log Detail Level to \"Verbose\" and press \"Transfer Now\". The status "
    "window then shows every step of the transfer; most problems (a wrong password, an "
    "unknown server, a refused connection) can be read from the red error lines.\n"
    "\n"
    "2. Check the settings on the \"QLK\" page: the outgoing mail server, the "
    "administrator addresses, and the schedule (days, start and stop time).\n"
    "\n"
    "3. Check each user on the \"Mailboxes\" page: POP host, POP user ID and password, "
    "and the return address.\n"
    "\n"
    "4. Make sure the post office is reachable and that the mailbox \"Internet\" exists.\n"
    "\n"
    "If the problem stays, press \"Email\". Quelmark prepares a problem report with the "
    "log file and copies of the configuration file QLK.CFG and the user table users.DB "
    "attached, every password in them blanked, which you can send with your mail program. "
    "Describe what you expected and what happened.";

}  // namespace

TfrmTech::TfrmTech(std::function<void()> email, QWidget* parent) : QDialog(parent), email_(std::move(email)) {
    setObjectName(QStringLiteral("frmTech"));
    setWindowTitle(QStringLiteral("Tech Support"));
    resize(460, 380);

    auto* mmoInstructions = new QPlainTextEdit(QString::fromLatin1(kInstructions), this);
    mmoInstructions->setObjectName(QStringLiteral("mmoInstructions"));
    mmoInstructions->setReadOnly(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* btnEmail = buttons->addButton(QStringLiteral("Email"), QDialogButtonBox::ActionRole);
    btnEmail->setObjectName(QStringLiteral("btnEmail"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(btnEmail, &QPushButton::clicked, this, [this] { email_(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(mmoInstructions);
    layout->addWidget(buttons);
}

}  // namespace qlk
