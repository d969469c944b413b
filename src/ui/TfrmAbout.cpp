#include "ui/TfrmAbout.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gateway/Version.h"

namespace qlk {

TfrmAbout::TfrmAbout(std::function<void()> techSupport, QWidget* parent)
    : QDialog(parent), techSupport_(std::move(techSupport)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quelmark"));

    auto* logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/images/logo.bmp")));
    logo->setAlignment(Qt::AlignTop);

    auto* title =
        new QLabel(QStringLiteral("<h2>Quelmark %1</h2>").arg(QString::fromLatin1(VersionText)), this);
    auto* text =
        new QLabel(QStringLiteral("A mail gateway between an office post office and Internet mail.<br><br>"
                                  "On a schedule, or when you press \"Transfer Now\", Quelmark fetches each "
                                  "user's POP3 mailbox into the post office and sends the post office's "
                                  "outgoing mail over SMTP.<br><br>"
                                  "Written in C++ with Qt for Linux by the Quelmark developers.<br>"
                                  "This program comes with no warranty."),
                   this);
    text->setWordWrap(true);
    text->setMinimumWidth(320);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    auto* btnTechSupport = buttons->addButton(QStringLiteral("Tech Support"), QDialogButtonBox::ActionRole);
    btnTechSupport->setObjectName(QStringLiteral("btnTechSupport"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(btnTechSupport, &QPushButton::clicked, this, [this] { techSupport_(); });

    auto* textColumn = new QVBoxLayout;
    textColumn->addWidget(title);
    textColumn->addWidget(text);
    textColumn->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(logo);
    top->addSpacing(12);
    top->addLayout(textColumn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

}  // namespace qlk
