#include "ui/TfrmPerson.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "gateway/EDatabaseError.h"
#include "gateway/UserDirectory.h"
#include "message/TextUtils.h"
#include "ui/AsteriskEcho.h"
#include "ui/CharacterLimit.h"
#include "ui/CoreText.h"
#include "ui/Desktop.h"
#include "ui/HintedButton.h"
#include "ui/TfrmPersonLogin.h"

namespace qlk {
namespace {

constexpr const char* kNote =
    "An Internet e-mail address has two parts: the user ID before the at sign (@) and the host after "
    "it. For jsmith@mail.example.com type \"jsmith\" into the User ID field and \"mail.example.com\" into "
    "the Host field. Your Internet service provider can tell you the name of your mail host.";

QLineEdit* NewEdit(const char* name, const char* hint, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setToolTip(QString::fromLatin1(hint));
    edit->setValidator(new CharacterLimit(kMaxUserTextLength, edit));
    return edit;
}

QCheckBox* NewCheckBox(const char* name, const char* caption, const char* hint, QWidget* parent) {
    auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    if (hint) box->setToolTip(QString::fromLatin1(hint));
    return box;
}

}  // namespace

TfrmPerson::TfrmPerson(UserDirectory& users, Desktop& desktop, UserRecord row, QWidget* parent)
    : QDialog(parent), users_(users), desktop_(desktop), shown_(std::move(row)) {
    setObjectName(QStringLiteral("frmPerson"));
    setWindowTitle(QStringLiteral("User Information"));
    BuildForm();
    ShowRow();
}

void TfrmPerson::BuildForm() {
    edtName = NewEdit("edtName", "Users Name for QLK Log", this);
    edtMailbox =
        NewEdit("edtMailbox", "Name as it appears in Microsoft Post Office( \"To:\" field, Required)", this);
    edtPOPHost = NewEdit("edtPOPHost", "Users Internet Mail Host(POP3) Server Name (Required)", this);
    edtPOPUSer =
        NewEdit("edtPOPUSer", "Users Internet Mail Host(POP3) Login Name(See Below) (Required)", this);
    edtPOPPasswd = NewEdit("edtPOPPasswd", "Users Internet Mail Host(POP3) Password (Required)", this);
    ShowAsAsterisks(edtPOPPasswd);
    edtReturnAddress = NewEdit("edtReturnAddress",
                               "Users Internet Return Address, e.g. jsmith@example.com (Required)", this);
    edtAlias = NewEdit("edtAlias",
                       "Another Internet Address of the User, one that is not a real POP3 Account", this);
    btnDelete = NewCheckBox(
        "btnDelete", "Delete Forwarded Mail",
        "Remove forwarded mail from Internet mail (POP3) server to eliminate duplicate msgs.", this);
    DBCheckBox1 = NewCheckBox("DBCheckBox1", "Group Account", nullptr, this);
    redNote = new QTextEdit(this);
    redNote->setObjectName(QStringLiteral("redNote"));
    redNote->setReadOnly(true);
    redNote->setPlainText(QString::fromLatin1(kNote));
    btnOK = NewHintedButton("btnOK", "OK", "Accept Changes and Save", this);
    btnOK->setDefault(true);
    btnCancel = NewHintedButton("btnCancel", "Cancel", "Cancel Changes and Revert to Old Data", this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("QLK User"), edtName);
    fields->addRow(QStringLiteral("MS Mail Address book Name"), edtMailbox);
    fields->addRow(QStringLiteral("Internet Mail Host(POP Server)"), edtPOPHost);
    fields->addRow(QStringLiteral("Internet Mail Host(POP) User ID"), edtPOPUSer);
    fields->addRow(QStringLiteral("Internet Mail Host(POP) Password"), edtPOPPasswd);
    fields->addRow(QStringLiteral("Internet Return Address"), edtReturnAddress);
    fields->addRow(QStringLiteral("Internet Mailbox Alias Name"), edtAlias);
    fields->addRow(btnDelete);
    fields->addRow(DBCheckBox1);

    login = new TfrmPersonLogin(users_.Table().File().parent_path(), desktop_, this);
    login->TypedAccount = [this] {
        const UserRecord typed = TypedRow();
        return std::pair{Trim(typed.popHost), Trim(typed.popUserId)};
    };

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(login);
    layout->addWidget(redNote);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &TfrmPerson::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmPerson::btnCancelClick);
}

void TfrmPerson::ShowRow() {
    for (const auto& [edit, field] : TextFields()) edit->setText(FromCoreText(*shown_.Text(field)));
    btnDelete->setChecked(shown_.deleteMail);
    DBCheckBox1->setChecked(shown_.alias);
    login->ShowAccount(shown_.popHost, shown_.popUserId);
}

std::array<std::pair<QLineEdit*, UserField>, 7> TfrmPerson::TextFields() const {
    return {{{edtName, UserField::Name},
             {edtMailbox, UserField::Mailbox},
             {edtPOPHost, UserField::POPHost},
             {edtPOPUSer, UserField::POPUserID},
             {edtPOPPasswd, UserField::POPPassword},
             {edtReturnAddress, UserField::ReturnAddress},
             {edtAlias, UserField::AliasAddress}}};
}

UserRecord TfrmPerson::TypedRow() const {
    UserRecord row;
    row.rowId = shown_.rowId;
    for (const auto& [edit, field] : TextFields())
        *row.Text(field) = ToCoreText(edit->text(), *shown_.Text(field));
    row.deleteMail = btnDelete->isChecked();
    row.alias = DBCheckBox1->isChecked();
    return row;
}

void TfrmPerson::btnOKClick() {
    UserRecord typed = TypedRow();
    try {
        users_.StoreUser(typed);
    } catch (const EDatabaseError& error) {
        desktop_.ShowError(this, FromCoreText(error.what()));
        return;
    }
    if (!login->SaveFor(typed.popHost, typed.popUserId)) return;
    accept();
}

void TfrmPerson::btnCancelClick() {
    reject();
}

void TfrmPerson::reject() {
    if (login->SigningIn()) {
        login->CancelSignIn();
        return;
    }
    QDialog::reject();
}

}  // namespace qlk
