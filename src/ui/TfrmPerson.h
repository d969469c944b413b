#pragma once

#include <QDialog>

#include <array>
#include <utility>

#include "gateway/UserRecord.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTextEdit;

namespace qlk {

class Desktop;
class TfrmPersonLogin;
class UserDirectory;

// "User Information": the form for one user row, a new one or a stored one.
// It works on its own copy of the row: OK stores what was typed by the
// row's identity, whatever a transfer did to the table meanwhile; Cancel
// (and any other way of closing) drops it.
class TfrmPerson : public QDialog {
    Q_OBJECT

public:
    TfrmPerson(UserDirectory& users, Desktop& desktop, UserRecord row, QWidget* parent = nullptr);

    void btnOKClick();
    void btnCancelClick();
    // While a sign-in runs, closing the form cancels the sign-in instead.
    void reject() override;

    // The row as typed into the form, with the identity of the row shown.
    UserRecord TypedRow() const;

    QLineEdit* edtName = nullptr;
    QLineEdit* edtMailbox = nullptr;
    QLineEdit* edtPOPHost = nullptr;
    QLineEdit* edtPOPUSer = nullptr;
    QLineEdit* edtPOPPasswd = nullptr;
    QLineEdit* edtReturnAddress = nullptr;
    QLineEdit* edtAlias = nullptr;
    QCheckBox* btnDelete = nullptr;
    QCheckBox* DBCheckBox1 = nullptr;
    QTextEdit* redNote = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    TfrmPersonLogin* login = nullptr;

private:
    void BuildForm();
    void ShowRow();
    std::array<std::pair<QLineEdit*, UserField>, 7> TextFields() const;

    UserDirectory& users_;
    Desktop& desktop_;
    // The row as it was when the form opened.
    UserRecord shown_;
};

}  // namespace qlk
