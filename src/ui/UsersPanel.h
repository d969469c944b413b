#pragma once

#include <QWidget>

class QPushButton;
class QTableWidget;

namespace qlk {

class Desktop;
class UserDirectory;

// The user table on the "Mailboxes" page: the read-only grid grdUsers and the
// buttons that add, edit and delete users through the form TfrmPerson. The
// grid follows the table's stored rows; the edit and delete buttons act on
// the row selected in the grid.
class UsersPanel : public QWidget {
    Q_OBJECT

public:
    UsersPanel(UserDirectory& users, Desktop& desktop, QWidget* parent = nullptr);

    void btnAddUserClick();
    void btnEditUserClick();
    void grdUsersDblClick();
    void btnDeleteUserClick();

    // Fills the grid from the table's stored rows and selects its current row.
    void RefreshGrid();

    QTableWidget* grdUsers = nullptr;
    QPushButton* btnAddUser = nullptr;
    QPushButton* btnEditUser = nullptr;
    QPushButton* btnDeleteUser = nullptr;

private:
    void BuildPanel();
    bool AskCopyValues();
    bool ConfirmDelete();
    bool MoveToSelectedRow();
    void ShowPersonForm();
    void ShowTableError(const char* message);

    UserDirectory& users_;
    Desktop& desktop_;
};

}  // namespace qlk
