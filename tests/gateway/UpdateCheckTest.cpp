#include "gateway/UpdateCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "support/FtpPeer.h"
#include "support/TempDir.h"

namespace qlk {
namespace {

using test::FtpPeer;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;
using ::testing::ElementsAreArray;
namespace fs = std::filesystem;

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// Runs the maintainers' signing tool; its output, or nullopt when it failed.
std::optional<std::string> SignTool(const std::string& arguments, const TempDir& scratch) {
    fs::path out = scratch / "tool.out";
    std::string command =
        Quoted(test::SourcePath("tools/sign-update.sh")) + " " + arguments + " >" + Quoted(out) + " 2>&1";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    std::string text = ReadFileBytes(out);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// Polls for a file another process writes; false after `limit`.
bool WaitForFile(const fs::path& file, std::chrono::milliseconds limit) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (fs::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fs::exists(file);
}

enum class Signature { Good, OtherKey, Corrupt, Missing };

struct UpdateCase {
    std::string name;
    std::optional<std::string> remoteVersion;  // nullopt: no version file
    bool programOnServer = true;
    Signature signature = Signature::Good;
    bool autoUpdate = true;
    bool keyConfigured = true;
    // Expected:
    std::vector<std::pair<int, std::string>> log;
    bool updateAvailable = false;
    bool installs = false;
};

const std::pair<int, std::string> kChecking{1, "Checking for Update"};
std::pair<int, std::string> VersionLine(const std::string& remote) {
    return {3, "Local Version : 8.32 - Remote Version : " + remote};
}
const std::pair<int, std::string> kDownloading{1, "Downloading Update"};
const std::pair<int, std::string> kRefused{
    0, "Update 8.4 was downloaded but not installed: its signature is missing or invalid"};

// The update server's files for one case, and a test installer in a fresh
// working folder that only notes that it ran, where and with what.
struct Scene {
    TempDir work;
    std::string program = std::string(1500000, 'P') + "new program";

    Scene(const UpdateCase& c, const FtpPeer& peer, const TempDir& keys) {
        fs::remove_all(peer.Root() / "qlk");
        if (c.remoteVersion) peer.AddFile("qlk/version.txt", *c.remoteVersion + "\r\nrelease notes\r\n");
        WriteFileBytes(work / "upgrade.sh",
                       "printf '%s\\n' \"$PWD\" \"$@\" > ran.part && mv ran.part ran.txt\n");
        if (!c.programOnServer) return;
        peer.AddFile("qlk/qlkupdt.exe", program);
        fs::path served = peer.Root() / "qlk" / "qlkupdt.exe";
        if (c.signature != Signature::Missing) {
            std::string key = c.signature == Signature::OtherKey ? "other.pem" : "key.pem";
            EXPECT_TRUE(SignTool("sign " + Quoted(keys / key) + " " + Quoted(served), keys));
        }
        if (c.signature == Signature::Corrupt) {
            std::string signature = ReadFileBytes(served.string() + ".sig");
            signature[10] ^= 1;
            WriteFileBytes(served.string() + ".sig", signature);
        }
    }
};

void CheckOneCase(const UpdateCase& c, const FtpPeer& peer, const TempDir& keys,
                  const std::string& publicKey) {
    SCOPED_TRACE(c.name);
    Scene scene(c, peer, keys);
    const TempDir& work = scene.work;
    TagFTP ftp;
    ftp.SetTimeOut(10);
    std::vector<std::pair<int, std::string>> log;
    UpdateCheck check(ftp, work.path(),
                      [&](const std::string& msg, int level) { log.emplace_back(level, msg); });
    check.Host = peer.Address();
    check.LocalVersion = "8.32";
    check.PublicKey = c.keyConfigured ? publicKey : "";
    check.Program = "/opt/quelmark/bin/quelmark";
    check.AutoUpdate = [&] { return c.autoUpdate; };
    std::vector<int> bar;
    check.SetProgress = [&](int percent) { bar.push_back(percent); };
    int ended = 0;
    check.EndProgram = [&] { ++ended; };

    check.CheckForUpdate();

    EXPECT_THAT(log, ElementsAreArray(c.log));
    EXPECT_EQ(check.UpdateAvailable(), c.updateAvailable);
    // The version is kept once it was read, that is once the versions were logged.
    bool versionRead = c.log.size() > 1 && c.log[1].first == 3;
    EXPECT_EQ(check.RemoteVersion(), versionRead ? *c.remoteVersion : "");
    EXPECT_EQ(ended, c.installs ? 1 : 0);
    EXPECT_FALSE(ftp.Connected());
    if (c.installs) {
        ASSERT_TRUE(WaitForFile(work / "ran.txt", std::chrono::seconds(5)));
        EXPECT_EQ(ReadFileBytes(work / "ran.txt"),
                  fs::canonical(work.path()).string() + "\n" + (work / "qlkupdt.exe").string() + "\n" +
                      "/opt/quelmark/bin/quelmark\n" + std::to_string(getpid()) + "\n");
        EXPECT_TRUE(ReadFileBytes(work / "qlkupdt.exe") == scene.program);
        EXPECT_EQ(check.ExpectedSize(), static_cast<long long>(scene.program.size()));
        EXPECT_THAT(bar, ::testing::Contains(100));
    } else {
        EXPECT_FALSE(fs::exists(work / "ran.txt"));
        EXPECT_FALSE(fs::exists(work / "qlkupdt.exe"));
    }
    if (!c.programOnServer) {
        EXPECT_EQ(check.ExpectedSize(), UpdateCheck::DefaultExpectedSize);
    }
}

// One server for every case keeps the run short.
TEST(UpdateCheckAgainstPyftpdlib, LogsDecidesAndInstallsOnlySignedUpdates) {
    std::string why;
    auto peer = FtpPeer::Start(why);
    QLK_NEED_PEER(peer, why);
    TempDir keys;
    ASSERT_TRUE(SignTool("genkey " + Quoted(keys / "key.pem"), keys));
    ASSERT_TRUE(SignTool("genkey " + Quoted(keys / "other.pem"), keys));
    std::string publicKey = SignTool("pubkey " + Quoted(keys / "key.pem"), keys).value_or("");
    const std::vector<UpdateCase> cases = {
        UpdateCase{.name = "Equal", .remoteVersion = "8.32", .log = {kChecking, VersionLine("8.32")}},
        UpdateCase{.name = "Older", .remoteVersion = "8.31", .log = {kChecking, VersionLine("8.31")}},
        UpdateCase{
            .name = "NotANumber", .remoteVersion = "9.0 beta", .log = {kChecking, VersionLine("9.0 beta")}},
        UpdateCase{.name = "NoVersionFile",
                   .remoteVersion = std::nullopt,
                   .log = {kChecking, {0, "Error Checking for Update 550 No such file or directory."}}},
        UpdateCase{.name = "EndlessVersionFile",
                   .remoteVersion = std::string(70000, '9'),
                   .log = {kChecking, {0, "Error Checking for Update File longer than 65536 bytes"}}},
        UpdateCase{.name = "NewerWithAutomaticUpdatingOff",
                   .remoteVersion = "8.4",
                   .autoUpdate = false,
                   .log = {kChecking, VersionLine("8.4")},
                   .updateAvailable = true},
        UpdateCase{.name = "NewerSigned",
                   .remoteVersion = "8.4",
                   .log = {kChecking, VersionLine("8.4"), kDownloading, {1, "Restarting with new version"}},
                   .installs = true},
        UpdateCase{.name = "NewerSignedByAnotherKey",
                   .remoteVersion = "8.4",
                   .signature = Signature::OtherKey,
                   .log = {kChecking, VersionLine("8.4"), kDownloading, kRefused},
                   .updateAvailable = true},
        UpdateCase{.name = "NewerWithCorruptSignature",
                   .remoteVersion = "8.4",
                   .signature = Signature::Corrupt,
                   .log = {kChecking, VersionLine("8.4"), kDownloading, kRefused},
                   .updateAvailable = true},
        UpdateCase{.name = "NewerUnsigned",
                   .remoteVersion = "8.4",
                   .signature = Signature::Missing,
                   .log = {kChecking, VersionLine("8.4"), kDownloading, kRefused},
                   .updateAvailable = true},
        UpdateCase{.name = "NewerWithoutKeyConfigured",
                   .remoteVersion = "8.4",
                   .keyConfigured = false,
                   .log = {kChecking, VersionLine("8.4"), kDownloading, kRefused},
                   .updateAvailable = true},
        UpdateCase{.name = "ListingWithoutTheProgram",
                   .remoteVersion = "8.4",
                   .programOnServer = false,
                   .log = {kChecking, VersionLine("8.4"), kDownloading}}};
    for (const auto& c : cases) CheckOneCase(c, *peer, keys, publicKey);
}

TEST(UpdateCheck, WithoutUpdateServerOnlySaysSo) {
    TagFTP ftp;
    std::vector<std::pair<int, std::string>> log;
    UpdateCheck check(ftp, ".", [&](const std::string& msg, int level) { log.emplace_back(level, msg); });
    check.Host.clear();
    check.CheckForUpdate();
    EXPECT_THAT(log, ElementsAreArray({std::pair<int, std::string>{3, "No update server is configured"}}));
    EXPECT_FALSE(check.UpdateAvailable());
}

// The shipped installer, run as the gateway runs it once it has ended.
TEST(UpgradeScript, ReplacesTheProgramKeepsTheOldOneAndStartsItInTheWorkingFolder) {
    TempDir work;
    fs::path program = work / "bin" / "quelmark";
    fs::create_directories(program.parent_path());
    WriteFileBytes(program, "old program");
    WriteFileBytes(work / "qlkupdt.exe", "#!/bin/sh\npwd > started.part && mv started.part started.txt\n");
    std::string command = "cd " + Quoted(work.path()) + " && /bin/sh " +
                          Quoted(test::SourcePath("resources/share/upgrade.sh")) + " qlkupdt.exe " +
                          Quoted(program) + " 999999999";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(WaitForFile(work / "started.txt", std::chrono::seconds(5)));
    EXPECT_EQ(ReadFileBytes(work / "started.txt"), fs::canonical(work.path()).string() + "\n");
    EXPECT_EQ(ReadFileBytes(program.string() + ".old"), "old program");
    EXPECT_FALSE(fs::exists(work / "qlkupdt.exe"));
    struct stat info {};
    ASSERT_EQ(::stat(program.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
}

}  // namespace
}  // namespace qlk
