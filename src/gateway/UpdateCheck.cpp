#include "gateway/UpdateCheck.h"

#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <utility>

#include "message/TextUtils.h"
#include "platform/Exception.h"

extern char** environ;

namespace qlk {

namespace {

std::string ReadBounded(const std::filesystem::path& file, long long limit) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(limit), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// Starts `/bin/sh script arguments...` in `folder`, in a session of its own
// so that it outlives the gateway.
bool StartScript(const std::filesystem::path& script, const std::vector<std::string>& arguments,
                 const std::filesystem::path& folder) {
    std::vector<std::string> words = {"/bin/sh", script.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    int result = posix_spawn(&child, "/bin/sh", &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0;
}

std::filesystem::path RunningProgram() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error);
}

}  // namespace

UpdateCheck::UpdateCheck(TagFTP& ftp, std::filesystem::path workFolder, WriteLogFunction writeLog)
    : ftp_(ftp), workFolder_(std::move(workFolder)), writeLog_(std::move(writeLog)) {
    ftp_.SessionFloorSeconds = SessionFloorSeconds;
    ftp_.SessionMinBytesPerSecond = SessionMinBytesPerSecond;
    ftp_.OnTransferProgress = [this](TagSocket&, int perc, long long transferred) {
        ShowProgress(perc, transferred);
    };
}

bool UpdateCheck::VersionNumber(const std::string& text, double& number) {
    std::string upper = UpperCase(Trim(text));
    if (upper.empty() || upper.find_first_not_of("0123456789.E+-") != std::string::npos) return false;
    std::string_view digits(upper);
    if (digits.front() == '+') digits.remove_prefix(1);
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    return error == std::errc() && end == digits.data() + digits.size() && std::isfinite(number);
}

void UpdateCheck::CheckForUpdate() {
    updateAvailable_ = false;
    if (Host.empty()) {
        writeLog_("No update server is configured", 3);
        return;
    }
    // Nothing fetched could be trusted: nothing is fetched.
    if (PublicKey.empty()) {
        if (!unverifiableLogged_) writeLog_("Updates cannot be verified: no update key is built in", 3);
        unverifiableLogged_ = true;
        return;
    }
    writeLog_("Checking for Update", 1);
    std::optional<UpdateManifest> manifest;
    try {
        manifest = ReadManifest();
    } catch (const std::exception& e) {
        ftp_.Close();
        writeLog_(std::string("Error Checking for Update ") + e.what(), 0);
        return;
    }
    double remote = 0;
    double local = 0;
    if (!VersionNumber(remoteVersion_, remote) || !VersionNumber(LocalVersion, local) || remote <= local)
        return;
    if (AutoUpdate && !AutoUpdate()) {
        updateAvailable_ = true;
        return;
    }
    try {
        DownloadUpdate(*manifest);
    } catch (const std::exception&) {
        // A failed download ends the check without a word; the next cycle
        // tries again.
        ftp_.Close();
        return;
    }
    if (!manifest->Matches(WorkFile(UpdateProgramName))) {
        RefuseUpdate("it does not match the signed version file");
        return;
    }
    Install();
}

UpdateManifest UpdateCheck::ReadManifest() {
    remoteVersion_.clear();
    std::filesystem::remove(WorkFile(VersionFileName));
    ftp_.Server = Host;
    ftp_.UserName = "ftp";
    ftp_.Password.clear();
    ftp_.SetServerType(stAuto);
    ftp_.Connect();
    Download(RemoteVersionFile, VersionFileName, MaxVersionFileSize);
    ftp_.Disconnect();
    auto manifest =
        UpdateManifest::Verify(PublicKey, ReadBounded(WorkFile(VersionFileName), MaxVersionFileSize));
    if (!manifest) throw Exception("version.txt is not signed with the update key", ErrorKind::Permanent);
    remoteVersion_ = manifest->Version();
    writeLog_("Local Version : " + LocalVersion + " - Remote Version : " + remoteVersion_, 3);
    return *manifest;
}

void UpdateCheck::DownloadUpdate(const UpdateManifest& manifest) {
    ftp_.Connect();
    writeLog_("Downloading Update", 1);
    ftp_.ChangeDir(UpdateDirectory);
    expectedSize_ = manifest.Size();
    Download(UpdateProgramName, UpdateProgramName, manifest.Size());
    ftp_.Disconnect();
}

void UpdateCheck::Download(const std::string& remoteName, const char* localName, long long maxSize) {
    ftp_.MaxGetSize = maxSize;
    ftp_.Get(remoteName, WorkFile(localName).string());
}

std::filesystem::path UpdateCheck::ScriptPath() const {
    if (!UpgradeScript.empty()) return UpgradeScript;
    std::filesystem::path local = WorkFile(UpgradeScriptName);
    if (std::filesystem::exists(local)) return local;
    return RunningProgram().parent_path() / ".." / "share" / "quelmark" / UpgradeScriptName;
}

void UpdateCheck::Install() {
    std::filesystem::path script = ScriptPath();
    std::filesystem::path program = Program.empty() ? RunningProgram() : Program;
    std::error_code error;
    writeLog_("Restarting with new version", 1);
    if (!std::filesystem::is_regular_file(script, error) ||
        !StartScript(script,
                     {WorkFile(UpdateProgramName).string(), program.string(), std::to_string(::getpid())},
                     workFolder_)) {
        RefuseUpdate(std::string(UpgradeScriptName) + " could not be started");
        return;
    }
    if (EndProgram) {
        EndProgram();
        return;
    }
    std::fflush(nullptr);
    std::_Exit(0);
}

void UpdateCheck::RefuseUpdate(const std::string& reason) {
    std::error_code ignored;
    std::filesystem::remove(WorkFile(UpdateProgramName), ignored);
    writeLog_("Update " + remoteVersion_ + " was downloaded but not installed: " + reason, 0);
    updateAvailable_ = true;
}

void UpdateCheck::ShowProgress(int perc, long long transferred) {
    if (!SetProgress) return;
    if (perc >= 0) {
        SetProgress(std::min(perc, 100));
        return;
    }
    // Without a size to divide by, the bar stays where it is.
    if (expectedSize_ <= 0) return;
    long double share = static_cast<long double>(transferred) * 100 / static_cast<long double>(expectedSize_);
    SetProgress(static_cast<int>(std::min<long double>(std::floor(share), 100)));
}

}  // namespace qlk
