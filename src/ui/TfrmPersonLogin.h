#pragma once

#include <QGroupBox>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "gateway/LoginStore.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qlk {

class Desktop;

// The "Log-in" part of the user form: how the row's account (POP Host and
// POP User ID) logs in — password, Microsoft, Google, another OAuth
// provider or a token command — and "Sign in…", which shows the code and
// address to sign in with (or opens the browser) while the form stays live.
class TfrmPersonLogin : public QGroupBox {
    Q_OBJECT

public:
    TfrmPersonLogin(const std::filesystem::path& workFolder, Desktop& desktop, QWidget* parent);

    // The POP Host and POP User ID as typed in the form.
    std::function<std::pair<std::string, std::string>()> TypedAccount;

    void ShowAccount(const std::string& server, const std::string& userId);
    // Keeps the choice for the account; false (the reason shown) when it
    // cannot be kept.
    bool SaveFor(const std::string& server, const std::string& userId);

    bool SigningIn() const { return signingIn_; }
    void CancelSignIn() { cancelled_ = true; }

    QComboBox* cbxLogin = nullptr;
    QLineEdit* edtCommand = nullptr;
    QLineEdit* edtClientId = nullptr;
    QLineEdit* edtClientSecret = nullptr;
    QPushButton* btnSignIn = nullptr;
    QLabel* lblSignIn = nullptr;

private:
    void btnSignInClick();
    void ShowChoice();
    LoginKind Chosen() const;

    LoginStore store_;
    Desktop& desktop_;
    bool usable_ = false;
    bool signingIn_ = false;
    bool cancelled_ = false;
};

}  // namespace qlk
