#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "gateway/UpdateManifest.h"
#include "gateway/Version.h"
#include "net/TagFTP.h"

namespace qlk {

// Asks the update server whether a newer version of the gateway is
// published and, when automatic updating is on, downloads it and hands over
// to the upgrade script, which replaces the program and starts it again.
// The server's version file is a manifest signed with the release key
// (UpdateManifest): an update is installed only when the manifest verifies
// against the build's public key, names a higher version than the running
// one, and the downloaded program has its size and SHA-256. Without a key
// nothing is fetched at all.
class UpdateCheck {
public:
    using WriteLogFunction = std::function<void(const std::string& msg, int level)>;

    static constexpr const char* RemoteVersionFile = "/qlk/version.txt";
    static constexpr const char* VersionFileName = "version.txt";
    static constexpr const char* UpdateDirectory = "qlk";
    static constexpr const char* UpdateProgramName = "qlkupdt.exe";
    static constexpr const char* UpgradeScriptName = "upgrade.sh";
    // A server cannot fill the disk: the version file is small, and the
    // program no longer than its manifest says.
    static constexpr long long MaxVersionFileSize = 64 * 1024;
    // An update session may take two minutes, plus a second for every KiB it
    // moves: a download over a dial-up line passes, a server that trickles
    // does not hold the cycle.
    static constexpr int SessionFloorSeconds = 120;
    static constexpr long long SessionMinBytesPerSecond = 1024;

    // `ftp` is the gateway's FTP client; its transfer progress drives
    // SetProgress from now on.
    UpdateCheck(TagFTP& ftp, std::filesystem::path workFolder, WriteLogFunction writeLog);

    // The update server: "host" or "host:port"; empty: no check is made.
    std::string Host = UpdateServerHost();
    std::string PublicKey = UpdatePublicKey();
    std::string LocalVersion = VersionText;
    // The script that installs the update; by default "upgrade.sh" in the
    // working folder, else the one shipped beside the program.
    std::filesystem::path UpgradeScript;
    // The program the script replaces; by default the running one.
    std::filesystem::path Program;

    // "Check for Update" as the operator has it at this moment; unset: on.
    std::function<bool()> AutoUpdate;
    // Moves the progress bar (0..100).
    std::function<void(int percent)> SetProgress;
    // Ends the program once the upgrade script runs; by default at once.
    std::function<void()> EndProgram;

    // One check; writes to the status log and never throws. Does not return
    // when it installs an update (unless EndProgram does).
    void CheckForUpdate();

    // A newer version exists that this check did not install.
    bool UpdateAvailable() const { return updateAvailable_; }
    // The version the server's signed version file names, as the last check
    // read it; empty when it did not verify.
    const std::string& RemoteVersion() const { return remoteVersion_; }
    // The program's size as the manifest gives it (for the progress bar).
    long long ExpectedSize() const { return expectedSize_; }

    // A version text as a number ("8.32" -> 8.32); false when it is not one.
    static bool VersionNumber(const std::string& text, double& number);

private:
    UpdateManifest ReadManifest();
    void DownloadUpdate(const UpdateManifest& manifest);
    void Install();
    void RefuseUpdate(const std::string& reason);
    void Download(const std::string& remoteName, const char* localName, long long maxSize);
    void ShowProgress(int perc, long long transferred);
    std::filesystem::path WorkFile(const char* name) const { return workFolder_ / name; }
    std::filesystem::path ScriptPath() const;

    TagFTP& ftp_;
    std::filesystem::path workFolder_;
    WriteLogFunction writeLog_;
    bool updateAvailable_ = false;
    bool unverifiableLogged_ = false;
    std::string remoteVersion_;
    long long expectedSize_ = 0;
};

}  // namespace qlk
