#include "ui/UsersPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
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

constexpr const char* kNoUsersYet =
    "No users yet. Press \"Add User\" to add the first one: a name for the log, the post-office mailbox "
    "that receives the user's mail, the POP3 server with the login and password of the user's Internet "
    "mailbox, and the user's Internet address.";

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
    users_.ConfirmDelete = [self](const std::string& question) {
        return self && self->ConfirmDelete(question);
    };
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
    grdUsers->horizontalHeader()->setTextElideMode(Qt::ElideNone);
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
    lblNoUsers = new QLabel(QString::fromLatin1(kNoUsersYet), this);
    lblNoUsers->setObjectName(QStringLiteral("lblNoUsers"));
    lblNoUsers->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAddUser);
    buttons->addWidget(btnEditUser);
    buttons->addWidget(btnDeleteUser);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(lblNoUsers);
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

bool UsersPanel::ConfirmDelete(const std::string& question) {
    return desktop_.ConfirmOkCancel(this, FromCoreText(question));
}

void UsersPanel::RefreshGrid() {
    const std::optional<std::int64_t> selected = SelectedRowId();
    const auto& rows = users_.Table().Rows();
    grdUsers->clearContents();
    grdUsers->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const UserRecord& row = rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < static_cast<int>(kColumns.size()); ++c) {
            auto* item = new QTableWidgetItem(CellText(row, kColumns[static_cast<std::size_t>(c)].field));
            item->setData(Qt::UserRole, QVariant::fromValue<qint64>(row.rowId));
            grdUsers->setItem(r, c, item);
        }
    }
    lblNoUsers->setVisible(users_.Table().Active() && rows.empty());
    // Every column as wide as its title and its widest value; the last one takes what is left.
    grdUsers->resizeColumnsToContents();
    SelectRowId(selected);
}

std::optional<std::int64_t> UsersPanel::SelectedRowId() const {
    const QList<QTableWidgetItem*> items = grdUsers->selectedItems();
    if (items.isEmpty()) return std::nullopt;
    return items.front()->data(Qt::UserRole).value<qint64>();
}

// The user selected before, else the first.
void UsersPanel::SelectRowId(std::optional<std::int64_t> rowId) {
    for (int r = 0; r < grdUsers->rowCount(); ++r) {
        if (!rowId || grdUsers->item(r, 0)->data(Qt::UserRole).value<qint64>() == *rowId) {
            grdUsers->selectRow(r);
            return;
        }
    }
    if (grdUsers->rowCount() > 0) grdUsers->selectRow(0);
}

void UsersPanel::btnAddUserClick() {
    UserRecord row;
    try {
        row = users_.NewUser();
    } catch (const EDatabaseError& error) {
        ShowTableError(error.what());
        return;
    }
    ShowPersonForm(std::move(row));
}

void UsersPanel::btnEditUserClick() {
    const std::optional<std::int64_t> rowId = SelectedRowId();
    if (!rowId) return;
    UserRecord row;
    try {
        row = users_.StoredUser(*rowId);
    } catch (const EDatabaseError& error) {
        ShowTableError(error.what());
        return;
    }
    ShowPersonForm(std::move(row));
}

void UsersPanel::grdUsersDblClick() {
    btnEditUserClick();
}

void UsersPanel::btnDeleteUserClick() {
    const std::optional<std::int64_t> rowId = SelectedRowId();
    if (!rowId) return;
    try {
        users_.DeleteUser(*rowId);
    } catch (const EDatabaseError& error) {
        ShowTableError(error.what());
    }
}

void UsersPanel::ShowPersonForm(UserRecord row) {
    TfrmPerson form(users_, desktop_, std::move(row), this);
    desktop_.RunModal(form);
}

void UsersPanel::ShowTableError(const char* message) {
    desktop_.ShowError(this, FromCoreText(message));
}

}  // namespace qlk
