#include "gateway/AccountTokens.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <thread>

#include "GatewayScene.h"
#include "gateway/AccountSignIn.h"
#include "gateway/OAuthClient.h"
#include "gateway/SignInCommand.h"
#include "gateway/TokenCommand.h"
#include "support/OAuthPeer.h"

namespace qlk {
namespace {

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

OAuthProvider FakeProvider(const test::OAuthPeer& peer, bool deviceFlow) {
    OAuthProvider provider;
    if (deviceFlow) provider.DeviceEndpoint = peer.Url("/devicecode");
    provider.AuthorizationEndpoint = peer.Url("/auth");
    provider.TokenEndpoint = peer.Url("/token");
    provider.Scope = "mail";
    provider.ClientId = "office-app";
    return provider;
}

// What was saved is all that is used: a file cut short or forged in any
// field is refused whole, never half-read.
TEST(LoginStoreTest, AFileThatIsCutOrForgedIsRefusedWhole) {
    test::TempDir work;
    LoginStore store(work.path());
    store.Load();
    AccountLogin ann{"POP.example.com", "ann", LoginKind::Microsoft, "", "rt-1", "at-1", 1900000000};
    store.Store(ann);
    OAuthProvider office;
    office.ClientId = "office-app";
    store.SetProvider(LoginKind::Microsoft, office);
    store.Save();
    struct stat status {};
    ASSERT_EQ(::stat((work / LoginStore::FileName).c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    LoginStore again(work.path());
    again.Load();
    EXPECT_EQ(again.Find("pop.example.com", "ann"), ann) << "the server is named in any case";
    EXPECT_EQ(again.Find("pop.example.com", "ANN").Kind, LoginKind::Password) << "user IDs keep their case";
    EXPECT_EQ(again.Provider(LoginKind::Microsoft).ClientId, "office-app");
    EXPECT_EQ(again.Provider(LoginKind::Microsoft).TokenEndpoint,
              OAuthProvider::Preset(LoginKind::Microsoft).TokenEndpoint);

    const std::string whole = test::ReadFileBytes(work / LoginStore::FileName);
    const std::string account = R"({"format":1,"accounts":[{"server":"s","user":"u",)";
    const std::string forged[] = {
        whole.substr(0, whole.size() / 2),
        R"({"format":2})",
        "[]",
        account + R"("login":"kerberos"}]})",
        account + R"("login":"google","access_token":"two words"}]})",
        account + R"("login":"google","refresh_token":)" + '"' + std::string(20000, 'x') + R"("}]})",
        account + R"("login":"command","command":"a\nb"}]})",
        account + R"("login":"google","expires_at":-5}]})",
        R"({"format":1,"accounts":[{"user":"u","login":"google"}]})",
        R"({"format":1,"providers":{"microsoft":{"token_endpoint":"file:///etc/passwd"}}})",
        R"({"format":1,"providers":{"password":{}}})",
        std::string(LoginStore::MaxFileBytes + 1, ' '),
    };
    for (const std::string& bytes : forged) {
        test::WriteFileBytes(work / LoginStore::FileName, bytes);
        EXPECT_THROW(again.Load(), Exception) << bytes.substr(0, 120);
        EXPECT_EQ(again.Find("pop.example.com", "ann").Kind, LoginKind::Password);
    }
}

// A token command is bounded in every way it can go wrong, and its output
// is never shown.
TEST(TokenCommandTest, OnlyAFirstLineThatIsATokenFromAProgramThatEndsWellCounts) {
    struct Case {
        std::string command;
        std::string token;  // empty: refused
        std::string why;
    };
    const Case cases[] = {
        {"/bin/echo tok-123", "tok-123", ""},
        {"echo 'tok 1' second", "", "printed no usable token"},
        {"/bin/sh -c 'echo tok-9; echo more'", "tok-9", ""},
        {"/bin/sh -c 'echo secret-tok; exit 3'", "", "failed (exit code 3)"},
        {"/bin/true", "", "printed no usable token"},
        {"/usr/bin/yes", "", "did not finish in time"},
        {"/bin/sleep 30", "", "did not finish in time"},
        {"/no/such/program", "", "cannot be started"},
        {"echo 'unclosed", "", "cannot be read as a command"},
        {"/bin/sh -c 'head -c 20000 /dev/zero | tr \"\\\\0\" x'", "", "printed no usable token"},
    };
    for (const Case& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        try {
            EXPECT_EQ(TokenCommand::Run(c.command, std::chrono::milliseconds(700)), c.token) << c.command;
            EXPECT_TRUE(c.why.empty()) << c.command;
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << c.command << ": " << e.what();
            EXPECT_FALSE(c.why.empty()) << c.command << ": " << e.what();
            EXPECT_EQ(std::string(e.what()).find("secret-tok"), std::string::npos);
            EXPECT_EQ(e.Kind(), ErrorKind::Transient);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << c.command;
    }
}

// A headless office signs a user in with a device code, and from then on
// the gateway renews the token itself, asking for a new sign-in (once per
// cycle, naming the user, skipping the account) only when the provider
// refuses the saved one.
TEST(AccountTokensTest, DeviceSignInThenRenewalBeforeExpiryThenARefusedSignInIsAskedForOnce) {
    std::string why;
    auto peer = test::OAuthPeer::Start(why);
    QLK_NEED_PEER(peer, why);
    test::GatewayScene scene;
    scene.AddRow(test::Row("Ann", "ann"));
    scene.AddRow(test::Row("Sales", "ann"));
    const std::string host = scene.pop.Host();

    std::ostringstream out, err;
    SignInCommand command(scene.work.path(), out, err);
    ASSERT_EQ(command.Run({"Ann", "--provider", "custom", "--client-id=office-app", "--device-endpoint",
                           peer->Url("/devicecode"), "--token-endpoint", peer->Url("/token")}),
              0)
        << err.str();
    EXPECT_NE(out.str().find("open https://example.test/devicelogin and enter the code QLK-1234"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("is signed in with custom"), std::string::npos) << out.str();
    const std::string device = "urn:ietf:params:oauth:grant-type:device_code";
    EXPECT_EQ(peer->Grants(), (std::vector<std::string>{device, device})) << "pending, then the tokens";

    LoginStore store(scene.work.path());
    store.Load();
    HttpsClient http;
    EXPECT_THROW(http.PostForm("http://example.com/token", {}), Exception) << "tokens never travel in clear";
    std::int64_t now = Now();
    AccountTokens tokens(store, http, [&now] { return now; });
    EXPECT_EQ(tokens.AccessToken(host, "ann"), "at-1");
    EXPECT_EQ(peer->Grants().size(), 2u) << "a fresh token is used as it is";
    now += 3600 - AccountTokens::RefreshMargin + 1;
    EXPECT_EQ(tokens.AccessToken(host, "ann"), "at-2") << "renewed before it expires";
    EXPECT_EQ(peer->Grants().back(), "refresh_token");
    EXPECT_EQ(store.Find(host, "ann").RefreshToken, "rt-2") << "a rotated refresh token is kept";
    EXPECT_EQ(tokens.AccessToken(host, "bob"), "") << "an account without an entry uses its password";

    AccountLogin revoked = store.Find(host, "ann");
    revoked.RefreshToken = "rt-revoked";
    revoked.ExpiresAt = 0;
    store.Store(revoked);
    store.Save();
    scene.RunCycle();
    EXPECT_EQ(scene.pop.Connections(), 0) << "the account is skipped for the cycle";
    int asked = 0;
    for (const std::string& line : scene.LogTexts())
        if (line.rfind("User Ann must sign in again (quelmark --sign-in \"Ann\")", 0) == 0) ++asked;
    EXPECT_EQ(asked, 1) << "once for the two rows on the account";
    store.Load();
    EXPECT_EQ(store.Find(host, "ann").RefreshToken, "") << "the refused sign-in is dropped";
    EXPECT_EQ(store.Find(host, "ann").Kind, LoginKind::Custom) << "the choice of log-in stays";
}

// A browser sign-in: the code comes back on the loopback redirect with the
// state it was sent with, and is exchanged with the PKCE verifier.
TEST(AccountSignInTest, BrowserSignInTakesOnlyTheAnswerToItsOwnRequest) {
    for (const bool forged : {false, true}) {
        std::string why;
        auto peer = test::OAuthPeer::Start(why, forged);
        QLK_NEED_PEER(peer, why);
        test::TempDir work;
        LoginStore store(work.path());
        AccountLogin ann;
        ann.Server = "pop.example.com";
        ann.UserId = "ann";
        ann.Kind = LoginKind::Google;
        store.Store(ann);
        store.SetProvider(LoginKind::Google, FakeProvider(*peer, false));
        HttpsClient http;
        AccountSignIn signIn(store, http, Now);
        std::thread browser;
        signIn.OpenBrowser = [&browser](const std::string& url) {
            browser = std::thread([url] {
                const std::string command = "curl -s -L --max-time 10 -o /dev/null '" + url + "'";
                [[maybe_unused]] const int status = std::system(command.c_str());
            });
            return true;
        };
        signIn.BrowserTimeOut = std::chrono::seconds(15);
        if (forged) {
            EXPECT_THROW(signIn.SignIn("pop.example.com", "ann"), ESignInRefused);
        } else {
            EXPECT_NO_THROW(signIn.SignIn("pop.example.com", "ann"));
            EXPECT_EQ(peer->Grants(), (std::vector<std::string>{"authorization_code"}));
        }
        browser.join();
        store.Load();
        EXPECT_EQ(store.Find("pop.example.com", "ann").RefreshToken, forged ? "" : "rt-1");
    }
}

}  // namespace
}  // namespace qlk
