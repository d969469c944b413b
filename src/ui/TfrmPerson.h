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
class UserDirectory;

// "User Information": the form for the user row being edited or inserted.
// It shows the pending row of the user table when it is created; OK stores
// what was typed, Cancel (and any other way of closing) drops it. However it
// closes, the user table is closed and opened again.
class TfrmPerson : public QDialog {
    Q_OBJECT

public:
    TfrmPerson(UserDirectory& users, Desktop& desktop, QWidget* parent = nullptr);

    void btnOKClick();
    void btnCancelClick();

    // Every way of closing the dialog ends here.
    void done(int result) override;

    // The row as typed into the form.
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

private:
    void BuildForm();
    void ShowPendingRow();
    void StoreTypedRow();
    std::array<std::pair<QLineEdit*, UserField>, 7> TextFields() const;
    void FormClose();

    UserDirectory& users_;
    Desktop& desktop_;
    // The texts as the table held them when the form opened.
    UserRecord shown_;
};

}  // namespace qlk
