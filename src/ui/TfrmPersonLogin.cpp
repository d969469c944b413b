#include "ui/TfrmPersonLogin.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <ctime>

#include "gateway/AccountSignIn.h"
#include "gateway/TokenCommand.h"
#include "net/HttpsClient.h"
#include "platform/Exception.h"
#include "ui/CoreText.h"
#include "ui/Desktop.h"

namespace qlk {

namespace {

constexpr std::pair<LoginKind, const char*> kChoices[] = {{LoginKind::Password, "Password"},
                                                          {LoginKind::Microsoft, "Microsoft 365"},
                                                          {LoginKind::Google, "Google"},
                                                          {LoginKind::Custom, "Other OAuth 2.0 provider"},
                                                          {LoginKind::Command, "Token command"}};

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Typed(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

}  // namespace

TfrmPersonLogin::TfrmPersonLogin(const std::filesystem::path& workFolder, Desktop& desktop, QWidget* parent)
    : QGroupBox(QStringLiteral("Log-in"), parent), store_(workFolder), desktop_(desktop) {
    setObjectName(QStringLiteral("grpLogin"));
    cbxLogin = new QComboBox(this);
    cbxLogin->setObjectName(QStringLiteral("cbxLogin"));
    for (const auto& [kind, caption] : kChoices) cbxLogin->addItem(QString::fromLatin1(caption));
    edtCommand = new QLineEdit(this);
    edtCommand->setObjectName(QStringLiteral("edtCommand"));
    edtCommand->setToolTip(
        QStringLiteral("A program and its arguments; the first line it prints is the token"));
    edtClientId = new QLineEdit(this);
    edtClientId->setObjectName(QStringLiteral("edtClientId"));
    edtClientId->setToolTip(QStringLiteral("The office's application at the provider (see the README)"));
    edtClientSecret = new QLineEdit(this);
    edtClientSecret->setObjectName(QStringLiteral("edtClientSecret"));
    edtClientSecret->setToolTip(QStringLiteral("Only Google issues one"));
    btnSignIn = new QPushButton(QStringLiteral("Sign in…"), this);
    btnSignIn->setObjectName(QStringLiteral("btnSignIn"));
    lblSignIn = new QLabel(this);
    lblSignIn->setObjectName(QStringLiteral("lblSignIn"));
    lblSignIn->setWordWrap(true);
    lblSignIn->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("Log in with"), cbxLogin);
    layout->addRow(QStringLiteral("Token command"), edtCommand);
    layout->addRow(QStringLiteral("Client ID"), edtClientId);
    layout->addRow(QStringLiteral("Client secret"), edtClientSecret);
    layout->addRow(btnSignIn, lblSignIn);

    connect(cbxLogin, &QComboBox::currentIndexChanged, this, &TfrmPersonLogin::ShowChoice);
    connect(btnSignIn, &QPushButton::clicked, this, &TfrmPersonLogin::btnSignInClick);
}

LoginKind TfrmPersonLogin::Chosen() const {
    return kChoices[std::max(0, cbxLogin->currentIndex())].first;
}

void TfrmPersonLogin::ShowAccount(const std::string& server, const std::string& userId) {
    try {
        store_.Load();
        usable_ = true;
    } catch (const Exception& damaged) {
        lblSignIn->setText(FromCoreText(damaged.what()));
        usable_ = false;
    }
    const AccountLogin login = store_.Find(server, userId);
    for (int i = 0; i < static_cast<int>(std::size(kChoices)); ++i)
        if (kChoices[i].first == login.Kind) cbxLogin->setCurrentIndex(i);
    edtCommand->setText(Text(login.Command));
    ShowChoice();
}

void TfrmPersonLogin::ShowChoice() {
    const LoginKind kind = Chosen();
    const OAuthProvider provider = store_.Provider(kind);
    edtClientId->setText(Text(provider.ClientId));
    edtClientSecret->setText(Text(provider.ClientSecret));
    setEnabled(usable_);
    edtCommand->setEnabled(kind == LoginKind::Command);
    edtClientId->setEnabled(UsesOAuth(kind));
    edtClientSecret->setEnabled(UsesOAuth(kind));
    btnSignIn->setEnabled(UsesOAuth(kind) && !signingIn_);
}

bool TfrmPersonLogin::SaveFor(const std::string& server, const std::string& userId) {
    if (!usable_) return true;
    try {
        store_.Load();
        AccountLogin login = store_.Find(server, userId);
        const LoginKind kind = Chosen();
        if (kind != login.Kind) login = AccountLogin{server, userId, kind, {}, {}, {}, 0};
        if (kind == LoginKind::Command) {
            login.Command = Typed(edtCommand);
            if (TokenCommand::Words(login.Command).empty())
                throw Exception("The token command is empty or cannot be read as a command");
        }
        if (UsesOAuth(kind)) {
            OAuthProvider provider = store_.Provider(kind);
            provider.ClientId = Typed(edtClientId);
            provider.ClientSecret = Typed(edtClientSecret);
            store_.SetProvider(kind, provider);
        }
        store_.Store(login);
        store_.Save();
        return true;
    } catch (const Exception& e) {
        desktop_.ShowError(this, FromCoreText(e.what()));
        return false;
    }
}

void TfrmPersonLogin::btnSignInClick() {
    const auto [server, userId] = TypedAccount ? TypedAccount() : std::pair<std::string, std::string>();
    if (server.empty() || userId.empty()) {
        desktop_.ShowError(this, QStringLiteral("Fill in the POP Host and the POP User ID first."));
        return;
    }
    if (!SaveFor(server, userId)) return;
    HttpsClient http;
    AccountSignIn signIn(store_, http, [] { return static_cast<std::int64_t>(std::time(nullptr)); });
    signIn.Show = [this](const std::string& text) { lblSignIn->setText(FromCoreText(text)); };
    signIn.OpenBrowser = [this](const std::string& url) { return desktop_.OpenUrl(QUrl(Text(url))); };
    signIn.Cancelled = [this] { return cancelled_; };
    signingIn_ = true;
    cancelled_ = false;
    ShowChoice();
    try {
        signIn.SignIn(server, userId);
        lblSignIn->setText(QStringLiteral("Signed in."));
    } catch (const Exception& e) {
        lblSignIn->setText(e.Kind() == ErrorKind::Cancelled ? QStringLiteral("Sign-in cancelled.")
                                                            : FromCoreText(e.what()));
    }
    signingIn_ = false;
    ShowChoice();
}

}  // namespace qlk
