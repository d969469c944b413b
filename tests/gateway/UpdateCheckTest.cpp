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
#include "support/ScriptServer.h"
#include "support/TempDir.h"
#include "support/UpdateSigner.h"

namespace qlk {
namespace {

using test::FtpPeer;
using test::ReadFileBytes;
using test::TempDir;
using test::UpdateSigner;
using test::WriteFileBytes;
using ::testing::ElementsAreArray;
namespace fs = std::filesystem;

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

// Polls for a file another process writes; false after `limit`.
bool WaitForFile(const fs::path& file, std::chrono::milliseconds limit) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (fs::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return fs::exists(file);
}

// What the server offers as qlk/version.txt.
enum class Manifest { Signed, Missing, Unsigned, OtherKey, OlderRelabelled, Endless };
// What it offers as qlk/qlkupdt.exe, beside a manifest of the real program.
enum class Program { Exact, SameSizeOther, Shorter, Longer, Missing };

struct UpdateCase {
    std::string name;
    std::string version = "8.4";
    Manifest manifest = Manifest::Signed;
    Program program = Program::Exact;
    bool autoUpdate = true;
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
const std::pair<int, std::string> kNotSigned{
    0, "Error Checking for Update version.txt is not signed with the update key"};
const std::pair<int, std::string> kMismatch{
    0, "Update 8.4 was downloaded but not installed: it does not match the signed version file"};

struct Signers {
    UpdateSigner release;
    UpdateSigner other;
};

// The update server's files for one case, and a test installer in a fresh
// working folder that only notes that it ran, where and with what.
struct Scene {
    TempDir work;
    std::string program = std::string(1500000, 'P') + "new program";

    Scene(const UpdateCase& c, const FtpPeer& peer, const Signers& signers) {
        fs::remove_all(peer.Root() / "qlk");
        std::string manifest = signers.release.Manifest(c.version, program);
        if (c.manifest == Manifest::Unsigned) manifest = c.version + "\r\nrelease notes\r\n";
        if (c.manifest == Manifest::OtherKey) manifest = signers.other.Manifest(c.version, program);
        if (c.manifest == Manifest::OlderRelabelled)
            manifest = c.version + signers.release.Manifest("8.31", program).substr(4);
        if (c.manifest == Manifest::Endless) manifest = std::string(70000, '9');
        if (c.manifest != Manifest::Missing) peer.AddFile("qlk/version.txt", manifest);
        WriteFileBytes(work / "upgrade.sh",
                       "printf '%s\\n' \"$PWD\" \"$@\" > ran.part && mv ran.part ran.txt\n");
        std::string served = program;
        if (c.program == Program::SameSizeOther) served[1000] = 'Q';
        if (c.program == Program::Shorter) served.resize(served.size() - 100);
        if (c.program == Program::Longer) served += "and a little more";
        if (c.program == Program::Missing) return;
        peer.AddFile("qlk/qlkupdt.exe", served);
    }
};

void CheckOneCase(const UpdateCase& c, const FtpPeer& peer, const Signers& signers) {
    SCOPED_TRACE(c.name);
    Scene scene(c, peer, signers);
    const TempDir& work = scene.work;
    TagFTP ftp;
    ftp.SetTimeOut(10);
    std::vector<std::pair<int, std::string>> log;
    UpdateCheck check(ftp, work.path(),
                      [&](const std::string& msg, int level) { log.emplace_back(level, msg); });
    check.Host = peer.Address();
    check.LocalVersion = "8.32";
    check.PublicKey = signers.release.PublicKey();
    check.Program = "/opt/quelmark/bin/quelmark";
    check.AutoUpdate = [&] { return c.autoUpdate; };
    std::vector<int> bar;
    check.SetProgress = [&](int percent) { bar.push_back(percent); };
    int ended = 0;
    check.EndProgram = [&] { ++ended; };

    check.CheckForUpdate();

    EXPECT_THAT(log, ElementsAreArray(c.log));
    EXPECT_EQ(check.UpdateAvailable(), c.updateAvailable);
    // The version is kept once it verified, that is once the versions were logged.
    bool versionRead = c.log.size() > 1 && c.log[1].first == 3;
    EXPECT_EQ(check.RemoteVersion(), versionRead ? c.version : "");
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
}

// One server for every case keeps the run short.
TEST(UpdateCheckAgainstPyftpdlib, InstallsOnlyAHigherVersionItsSignedManifestVouchesFor) {
    std::string why;
    auto peer = FtpPeer::Start(why);
    QLK_NEED_PEER(peer, why);
    Signers signers;
    const std::vector<UpdateCase> cases = {
        UpdateCase{.name = "Equal", .version = "8.32", .log = {kChecking, VersionLine("8.32")}},
        UpdateCase{.name = "OlderReplayed", .version = "8.31", .log = {kChecking, VersionLine("8.31")}},
        UpdateCase{.name = "NotANumber", .version = "9.0 beta", .log = {kChecking, VersionLine("9.0 beta")}},
        UpdateCase{.name = "NoVersionFile",
                   .manifest = Manifest::Missing,
                   .log = {kChecking, {0, "Error Checking for Update 550 No such file or directory."}}},
        UpdateCase{.name = "EndlessVersionFile",
                   .manifest = Manifest::Endless,
                   .log = {kChecking, {0, "Error Checking for Update File longer than 65536 bytes"}}},
        UpdateCase{.name = "Unsigned", .manifest = Manifest::Unsigned, .log = {kChecking, kNotSigned}},
        UpdateCase{
            .name = "SignedByAnotherKey", .manifest = Manifest::OtherKey, .log = {kChecking, kNotSigned}},
        UpdateCase{.name = "OlderManifestRelabelledNewer",
                   .manifest = Manifest::OlderRelabelled,
                   .log = {kChecking, kNotSigned}},
        UpdateCase{.name = "NewerWithAutomaticUpdatingOff",
                   .autoUpdate = false,
                   .log = {kChecking, VersionLine("8.4")},
                   .updateAvailable = true},
        UpdateCase{.name = "NewerAsSigned",
                   .log = {kChecking, VersionLine("8.4"), kDownloading, {1, "Restarting with new version"}},
                   .installs = true},
        UpdateCase{.name = "WrongHash",
                   .program = Program::SameSizeOther,
                   .log = {kChecking, VersionLine("8.4"), kDownloading, kMismatch},
                   .updateAvailable = true},
        UpdateCase{.name = "ShorterThanSigned",
                   .program = Program::Shorter,
                   .log = {kChecking, VersionLine("8.4"), kDownloading, kMismatch},
                   .updateAvailable = true},
        // The download stops at the signed size and fails like any other.
        UpdateCase{.name = "LongerThanSigned",
                   .program = Program::Longer,
                   .log = {kChecking, VersionLine("8.4"), kDownloading}},
        UpdateCase{.name = "NoProgram",
                   .program = Program::Missing,
                   .log = {kChecking, VersionLine("8.4"), kDownloading}}};
    for (const auto& c : cases) CheckOneCase(c, *peer, signers);
}

TEST(UpdateCheck, WithoutServerOrKeyFetchesNothingAndSaysSoQuietly) {
    TempDir work;
    TagFTP ftp;
    std::vector<std::pair<int, std::string>> log;
    UpdateCheck check(ftp, work.path(),
                      [&](const std::string& msg, int level) { log.emplace_back(level, msg); });
    check.Host.clear();
    check.PublicKey = "MCowBQYDK2VwAyEA";
    check.CheckForUpdate();
    // A closed port: any attempt to fetch would be logged as an error.
    check.Host = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    check.PublicKey.clear();
    check.CheckForUpdate();
    check.CheckForUpdate();
    EXPECT_THAT(log, ElementsAreArray({std::pair<int, std::string>{3, "No update server is configured"},
                                       {3, "Updates cannot be verified: no update key is built in"}}));
    EXPECT_FALSE(check.UpdateAvailable());
    EXPECT_TRUE(fs::is_empty(work.path()));
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
