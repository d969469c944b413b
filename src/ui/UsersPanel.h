#pragma once

#include <QWidget>

#include <cstdint>
#include <optional>

#include "gateway/UserRecord.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace qlk {

class Desktop;
class UserDirectory;

// The user table on the "Mailboxes" page: the read-only grid grdUsers and the
// buttons that add, edit and delete users through the form TfrmPerson. The
// grid follows the table's stored rows; the edit and delete buttons act on
// the user selected in the grid, by its identity, wherever a transfer has
// moved the table's cursor meanwhile.
class UsersPanel : public QWidget {
    Q_OBJECT

public:
    UsersPanel(UserDirectory& users, Desktop& desktop, QWidget* parent = nullptr);

    void btnAddUserClick();
    void btnEditUserClick();
    void grdUsersDblClick();
    void btnDeleteUserClick();

    // Fills the grid from the table's stored rows; the user selected stays
    // selected.
    void RefreshGrid();

    QTableWidget* grdUsers = nullptr;
    QLabel* lblNoUsers = nullptr;
    QPushButton* btnAddUser = nullptr;
    QPushButton* btnEditUser = nullptr;
    QPushButton* btnDeleteUser = nullptr;

private:
    void BuildPanel();
    bool AskCopyValues();
    bool ConfirmDelete(const std::string& question);
    std::optional<std::int64_t> SelectedRowId() const;
    void SelectRowId(std::optional<std::int64_t> rowId);
    void ShowPersonForm(UserRecord row);
    void ShowTableError(const char* message);

    UserDirectory& users_;
    Desktop& desktop_;
};

}  // namespace qlk
