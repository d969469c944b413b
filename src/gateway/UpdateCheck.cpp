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
#include <utility>

#include "gateway/UpdateSignature.h"
#include "message/TextUtils.h"
#include "platform/ShortString.h"

extern char** environ;

namespace qlk {

namespace {

// The first line of a file, bounded and without control characters: the
// server's text reaches the status log and the operator's notice.
std::string FirstLine(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string head(1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    head = head.substr(0, head.find_first_of("\r\n"));
    for (char& c : head) {
        if (static_cast<unsigned char>(c) < 32) c = '?';
    }
    return ShortString(head).str();
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
    writeLog_("Checking for Update", 1);
    try {
        ReadRemoteVersion();
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
        DownloadUpdate();
    } catch (const std::exception&) {
        // A failed download ends the check without a word; the next cycle
        // tries again.
        ftp_.Close();
        return;
    }
    if (!UpdateSignature::Verify(PublicKey, WorkFile(UpdateProgramName), WorkFile(SignatureFileName))) {
        RefuseUpdate("its signature is missing or invalid");
        return;
    }
    Install();
}

void UpdateCheck::ReadRemoteVersion() {
    remoteVersion_.clear();
    std::filesystem::remove(WorkFile(VersionFileName));
    ftp_.Server = Host;
    ftp_.UserName = "ftp";
    ftp_.Password.clear();
    ftp_.SetServerType(stAuto);
    ftp_.Connect();
    Download(RemoteVersionFile, VersionFileName, MaxVersionFileSize);
    ftp_.Disconnect();
    remoteVersion_ = FirstLine(WorkFile(VersionFileName));
    writeLog_("Local Version : " + LocalVersion + " - Remote Version : " + remoteVersion_, 3);
}

void UpdateCheck::DownloadUpdate() {
    ftp_.Connect();
    writeLog_("Downloading Update", 1);
    ftp_.ChangeDir(UpdateDirectory);
    ftp_.List();
    expectedSize_ = DefaultExpectedSize;
    for (std::size_t i = 0; i < ftp_.DirList.Count(); ++i) {
        if (ftp_.DirList.Items(i).Name == UpdateProgramName) expectedSize_ = ftp_.DirList.Items(i).Size;
    }
    // A signature left from an earlier download must never vouch for this one.
    std::filesystem::remove(WorkFile(SignatureFileName));
    Download(UpdateProgramName, UpdateProgramName, static_cast<long long>(UpdateSignature::MaxProgramSize));
    try {
        Download(SignatureFileName, SignatureFileName, MaxSignatureFileSize);
        ftp_.Disconnect();
    } catch (const std::exception&) {
        // No signature on the server: the verification refuses the update.
        ftp_.Close();
    }
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
    std::filesystem::remove(WorkFile(SignatureFileName), ignored);
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
