#include "ui/TfrmPostOffice.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>
#include <utility>

#include "mapi/MapiIni.h"
#include "ui/Desktop.h"
#include "ui/Latin1Text.h"

namespace qlk {

namespace {

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QString Text(const std::string& bytes) {
    return FromLatin1(bytes);
}

}  // namespace

TfrmPostOffice::TfrmPostOffice(Desktop& desktop, PostOffice office, QWidget* parent)
    : QDialog(parent), desktop_(desktop), office_(std::move(office)) {
    setWindowTitle(QStringLiteral("Administer Postoffice"));
    grdMailboxes_ = new QTableWidget(0, 3, this);
    grdMailboxes_->setObjectName(QStringLiteral("grdMailboxes"));
    grdMailboxes_->setHorizontalHeaderLabels(
        {QStringLiteral("Mailbox"), QStringLiteral("Unread"), QStringLiteral("Total")});
    grdMailboxes_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdMailboxes_->setSelectionMode(QAbstractItemView::SingleSelection);
    grdMailboxes_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    grdMailboxes_->verticalHeader()->hide();

    edtName_ = new QLineEdit(this);
    edtName_->setObjectName(QStringLiteral("edtName"));
    edtName_->setMaxLength(255);
    edtPassword_ = new QLineEdit(this);
    edtPassword_->setObjectName(QStringLiteral("edtPassword"));
    edtPassword_->setEchoMode(QLineEdit::Password);
    edtPassword_->setMaxLength(255);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Mailbox name:"), edtName_);
    form->addRow(QStringLiteral("Password (optional):"), edtPassword_);

    auto* btnAdd = new QPushButton(QStringLiteral("&Add"), this);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    auto* btnRemove = new QPushButton(QStringLiteral("&Remove"), this);
    btnRemove->setObjectName(QStringLiteral("btnRemove"));
    auto* btnClose = new QPushButton(QStringLiteral("&Close"), this);
    connect(btnAdd, &QPushButton::clicked, this, &TfrmPostOffice::AddClick);
    connect(btnRemove, &QPushButton::clicked, this, &TfrmPostOffice::RemoveClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnRemove);
    buttons->addStretch();
    buttons->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdMailboxes_);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(460, 360);
    Refresh();
}

void TfrmPostOffice::Refresh() {
    const std::vector<std::string> mailboxes = office_.Mailboxes();
    grdMailboxes_->setRowCount(static_cast<int>(mailboxes.size()));
    for (int row = 0; row < static_cast<int>(mailboxes.size()); ++row) {
        const std::string& name = mailboxes[static_cast<std::size_t>(row)];
        const PostOffice::Counts counts = office_.CountMessages(name);
        grdMailboxes_->setItem(row, 0, Cell(Text(name)));
        grdMailboxes_->setItem(row, 1, Cell(QString::number(counts.Unread)));
        grdMailboxes_->setItem(row, 2, Cell(QString::number(counts.Total)));
    }
}

void TfrmPostOffice::AddClick() {
    try {
        office_.AddMailbox(ToLatin1(edtName_->text()), ToLatin1(edtPassword_->text()));
        edtName_->clear();
        edtPassword_->clear();
    } catch (const std::exception& error) {
        desktop_.ShowError(this, Text(error.what()));
    }
    Refresh();
}

void TfrmPostOffice::RemoveClick() {
    const int row = grdMailboxes_->currentRow();
    if (row < 0) return;
    const std::string name = ToLatin1(grdMailboxes_->item(row, 0)->text());
    try {
        const int held = office_.CountMessages(name).Total;
        const QString question =
            held == 0 ? QStringLiteral("Remove the mailbox %1?").arg(Text(name))
                      : QStringLiteral("The mailbox %1 still holds %2 messages. Remove it with them?")
                            .arg(Text(name))
                            .arg(held);
        if (desktop_.ConfirmOkCancel(this, question)) office_.RemoveMailbox(name, true);
    } catch (const std::exception& error) {
        desktop_.ShowError(this, Text(error.what()));
    }
    Refresh();
}

void TfrmPostOffice::Administer(Desktop& desktop, const std::filesystem::path& workFolder, QWidget* parent) {
    try {
        std::optional<PostOffice> office = PostOffice::Open(workFolder);
        if (!office) {
            if (!desktop.ConfirmOkCancel(parent,
                                         QStringLiteral("There is no post office here yet. Set one up?")))
                return;
            office = PostOffice::Create(workFolder);
        }
        TfrmPostOffice dialog(desktop, std::move(*office), parent);
        desktop.RunModal(dialog);
    } catch (const std::exception& error) {
        desktop.ShowError(parent, Text(error.what()));
    }
}

void TfrmPostOffice::EditProfiles(Desktop& desktop, const std::filesystem::path& workFolder,
                                  QWidget* parent) {
    const std::filesystem::path file = workFolder / MapiIni::FileName;
    try {
        if (!MapiIni::Read(workFolder)) {
            MapiIni defaults;
            defaults.Mapi = 1;
            defaults.Write(workFolder);
        }
    } catch (const std::exception& error) {
        desktop.ShowError(parent, Text(error.what()));
        return;
    }
    const QString path = QString::fromStdString(std::filesystem::absolute(file).string());
    if (!desktop.OpenUrl(QUrl::fromLocalFile(path)))
        desktop.ShowError(parent, QStringLiteral("No editor could open %1").arg(path));
}

}  // namespace qlk
