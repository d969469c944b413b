#include "ui/TfrmPersonLogin.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "FakeDesktop.h"
#include "gateway/UserDirectory.h"
#include "support/OAuthPeer.h"
#include "support/TempDir.h"
#include "ui/TfrmPerson.h"

namespace qlk {
namespace {

// The operator picks the log-in on the user form, signs the account in with
// the code shown on the form, and later moves it to a token command: each
// choice is kept for the account the form names, not for the row.
TEST(TfrmPersonLoginTest, TheFormChoosesTheLogInAndSignsTheAccountIn) {
    std::string why;
    auto peer = test::OAuthPeer::Start(why);
    QLK_NEED_PEER(peer, why);
    test::EnsureApplication();
    test::TempDir work;
    {
        LoginStore store(work.path());
        OAuthProvider provider;
        provider.DeviceEndpoint = peer->Url("/devicecode");
        provider.TokenEndpoint = peer->Url("/token");
        store.SetProvider(LoginKind::Custom, provider);
        store.Save();
    }
    UserDirectory users(work.path(), nullptr);
    ASSERT_TRUE(users.OpenTable());
    test::FakeDesktop desktop;

    TfrmPerson form(users, desktop, users.NewUser());
    form.edtMailbox->setText("Ann");
    form.edtPOPHost->setText(" pop3s://pop.example.com ");
    form.edtPOPUSer->setText("ann");
    form.edtPOPPasswd->setText("oauth");
    form.edtReturnAddress->setText("ann@example.com");
    EXPECT_FALSE(form.login->btnSignIn->isEnabled()) << "a password account has nothing to sign in";
    form.login->cbxLogin->setCurrentText("Other OAuth 2.0 provider");
    form.login->edtClientId->setText("office-app");
    form.login->btnSignIn->click();
    EXPECT_EQ(form.login->lblSignIn->text(), "Signed in.") << desktop.errors.size();
    form.btnOK->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);

    LoginStore store(work.path());
    store.Load();
    EXPECT_EQ(store.Find("pop3s://pop.example.com", "ann").RefreshToken, "rt-1");
    EXPECT_EQ(store.Provider(LoginKind::Custom).ClientId, "office-app");

    TfrmPerson again(users, desktop, users.StoredUser(users.Table().Rows().front().rowId));
    EXPECT_EQ(again.login->cbxLogin->currentText(), "Other OAuth 2.0 provider");
    again.login->cbxLogin->setCurrentText("Token command");
    again.login->edtCommand->setText("/bin/echo tok");
    again.btnOK->click();
    store.Load();
    const AccountLogin command = store.Find("POP3S://pop.example.com", "ann");
    EXPECT_EQ(command.Kind, LoginKind::Command);
    EXPECT_EQ(command.Command, "/bin/echo tok");
    EXPECT_EQ(command.RefreshToken, "") << "the other provider's tokens go with the change";
    EXPECT_TRUE(desktop.errors.empty());
}

}  // namespace
}  // namespace qlk
