#include "ui/UsersPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>

#include "gateway/EDatabaseError.h"
#include "gateway/UserDirectory.h"
#include "ui/CoreText.h"
#include "ui/Desktop.h"
#include "ui/HintedButton.h"
#include "ui/TfrmPerson.h"

namespace qlk {
namespace {

struct GridColumn {
    UserField field;
    const char* title;
};

// The password and the group flag are never shown.
constexpr std::array<GridColumn, 7> kColumns{{
    {UserField::Name, "QLK User"},
    {UserField::Mailbox, "MS Mail Addressbook Name"},
    {UserField::POPUserID, "POP User ID"},
    {UserField::POPHost, "POP Host"},
    {UserField::ReturnAddress, "Return Address"},
    {UserField::DeleteMail, "Delete Mail"},
    {UserField::AliasAddress, "Alias Address"},
}};

QString CellText(const UserRecord& row, UserField field) {
    if (const bool* flag = row.Flag(field)) return QString::fromLatin1(*flag ? "True" : "False");
    return FromCoreText(*row.Text(field));
}

}  // namespace

UsersPanel::UsersPanel(UserDirectory& users, Desktop& desktop, QWidget* parent)
    : QWidget(parent), users_(users), desktop_(desktop) {
    setObjectName(QStringLiteral("pnlUserGrid"));
    BuildPanel();
    // The hooks may outlive the panel (the window's members go before its
    // child widgets); once the panel is gone they ask nothing and refuse.
    const QPointer<UsersPanel> self(this);
    users_.AskCopyValues = [self] { return self && self->AskCopyValues(); };
    users_.ConfirmDelete = [self] { return self && self->ConfirmDelete(); };
    users_.Table().OnDataChanged = [self] {
        if (self) self->RefreshGrid();
    };
    RefreshGrid();
}

void UsersPanel::BuildPanel() {
    grdUsers = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
    grdUsers->setObjectName(QStringLiteral("grdUsers"));
    QStringList titles;
    for (const GridColumn& column : kColumns) titles << QString::fromLatin1(column.title);
    grdUsers->setHorizontalHeaderLabels(titles);
    grdUsers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdUsers->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdUsers->setSelectionMode(QAbstractItemView::SingleSelection);
    grdUsers->verticalHeader()->hide();
    grdUsers->horizontalHeader()->setStretchLastSection(true);
    // The selected row stays marked while the focus is elsewhere.
    QPalette palette = grdUsers->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    grdUsers->setPalette(palette);

    btnAddUser = NewHintedButton("btnAddUser", "Add User", "Add A New User", this);
    btnEditUser = NewHintedButton("btnEditUser", "Edit User", "Edit Selected User Information", this);
    btnDeleteUser = NewHintedButton("btnDeleteUser", "Delete User", "Delete Selected User", this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAddUser);
    buttons->addWidget(btnEditUser);
    buttons->addWidget(btnDeleteUser);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(grdUsers, 1);

    connect(btnAddUser, &QPushButton::clicked, this, &UsersPanel::btnAddUserClick);
    connect(btnEditUser, &QPushButton::clicked, this, &UsersPanel::btnEditUserClick);
    connect(btnDeleteUser, &QPushButton::clicked, this, &UsersPanel::btnDeleteUserClick);
    connect(grdUsers, &QTableWidget::cellDoubleClicked, this, &UsersPanel::grdUsersDblClick);
}

bool UsersPanel::AskCopyValues() {
    return desktop_.AskYesNo(this, QString::fromLatin1(UserDirectory::kCopyValuesTitle),
                             QString::fromLatin1(UserDirectory::kCopyValuesQuestion));
}

bool UsersPanel::ConfirmDelete() {
    return desktop_.ConfirmOkCancel(this, QString::fromLatin1(UserDirectory::kDeleteQuestion));
}

void UsersPanel::RefreshGrid() {
    const TableEngine& table = users_.Table();
    const auto& rows = table.Rows();
    grdUsers->clearContents();
    grdUsers->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < static_cast<int>(kColumns.size()); ++c)
            grdUsers->setItem(r, c,
                              new QTableWidgetItem(CellText(rows[static_cast<std::size_t>(r)],
                                                            kColumns[static_cast<std::size_t>(c)].field)));
    }
    if (table.Active() && !rows.empty()) grdUsers->selectRow(table.RecNo() - 1);
}

void UsersPanel::btnAddUserClick() {
    try {
        users_.AddUser();
    } catch (const EDatabaseError& error) {
        ShowTableError(error.what());
        return;
    }
    ShowPersonForm();
}

void UsersPanel::btnEditUserClick() {
    try {
        if (!MoveToSelectedRow()) return;
        users_.Table().Edit();
    } catch (const EDatabaseError& error) {
        ShowTableError(error.what());
        return;
    }
    ShowPersonForm();
}

void UsersPanel::grdUsersDblClick() {
    btnEditUserClick();
}

void UsersPanel::btnDeleteUserClick() {
    try {
        if (!MoveToSelectedRow()) return;
        users_.DeleteCurrentUser();
    } catch (const EDatabaseError& error) {
        ShowTableError(error.what());
    }
}

// The cursor may have been moved by a transfer since the row was selected.
bool UsersPanel::MoveToSelectedRow() {
    const int row = grdUsers->currentRow();
    if (row < 0 || grdUsers->selectedItems().isEmpty()) return false;
    users_.Table().MoveTo(row + 1);
    return true;
}

void UsersPanel::ShowPersonForm() {
    TfrmPerson form(users_, desktop_, this);
    desktop_.RunModal(form);
}

void UsersPanel::ShowTableError(const char* message) {
    desktop_.ShowError(this, FromCoreText(message));
}

}  // namespace qlk
