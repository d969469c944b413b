#include "support/Peers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/ScriptServer.h"

namespace qlk::test {

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

bool PeersRequired() {
    const char* value = std::getenv("QLK_REQUIRE_PEERS");
    return value && std::string(value) == "1";
}

PeerProcess::PeerProcess(fs::path pidFile) : pidFile_(Dir() / pidFile) {}

PeerProcess::~PeerProcess() {
    if (running_) Stop(pidFile_);
}

void PeerProcess::Stop(const fs::path& pidFile) {
    std::ifstream in(pidFile);
    pid_t pid = 0;
    if (!(in >> pid) || pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 100 && ::kill(pid, 0) == 0; ++i) {
        ::waitpid(pid, nullptr, WNOHANG);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool PeerProcess::Launch(const std::string& script, const std::string& arguments, std::string& why) {
    port_ = FreeLoopbackPort();
    fs::path path = SourcePath("tests/peers/" + script);
    std::string command = Quoted(path.string()) + " " + Quoted(Dir().string()) + " " + std::to_string(port_) +
                          " " + arguments + " >" + Quoted((Dir() / "start.log").string()) + " 2>&1";
    int status = std::system(command.c_str());
    running_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!running_) {
        std::ifstream log(Dir() / "start.log");
        why = script + " failed: " + std::string(std::istreambuf_iterator<char>(log), {});
    }
    return running_;
}

DovecotPeer::DovecotPeer() : PeerProcess("run/master.pid") {}

std::unique_ptr<DovecotPeer> DovecotPeer::Start(const std::string& user, const std::string& password,
                                                std::string& why) {
    return Start(Users{{user, password}}, why);
}

std::unique_ptr<DovecotPeer> DovecotPeer::Start(const Users& users, std::string& why) {
    std::unique_ptr<DovecotPeer> peer(new DovecotPeer());
    std::string arguments;
    for (const auto& [user, password] : users) arguments += Quoted(user) + " " + Quoted(password) + " ";
    if (!users.empty()) peer->user_ = users.front().first;
    if (!peer->Launch("start_dovecot.sh", arguments, why)) return nullptr;
    return peer;
}

std::unique_ptr<OAuthDovecotPeer> OAuthDovecotPeer::Start(const std::string& user,
                                                          const std::string& password, std::string& why) {
    std::unique_ptr<OAuthDovecotPeer> peer(new OAuthDovecotPeer());
    peer->user_ = user;
    const std::string arguments = Quoted(user) + " " + Quoted(password) + " " + Quoted(GoodToken()) + " " +
                                  std::to_string(FreeLoopbackPort());
    if (!peer->Launch("start_dovecot_oauth2.sh", arguments, why)) return nullptr;
    return peer;
}

OAuthDovecotPeer::~OAuthDovecotPeer() {
    Stop(Dir() / "tokencheck.pid");
}

void DovecotPeer::AddMessage(const std::string& user, const std::string& bytes) {
    char name[64];
    std::snprintf(name, sizeof name, "%010d.M%06dP1.qlk", 1700000000 + added_, added_);
    ++added_;
    fs::path file = Maildir(user) / "new" / name;
    WriteFileBytes(file, bytes);
    // The mailbox belongs to the unprivileged user Dovecot runs the session as.
    if (::chown(file.c_str(), 65534, 65534) != 0) return;
}

std::size_t DovecotPeer::MessageCount(const std::string& user) const {
    std::size_t count = 0;
    for (const char* sub : {"new", "cur"}) {
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Maildir(user) / sub)) ++count;
    }
    return count;
}

SmtpPeer::SmtpPeer() : PeerProcess("aiosmtpd.pid") {}

std::unique_ptr<SmtpPeer> SmtpPeer::Start(std::string& why) {
    std::unique_ptr<SmtpPeer> peer(new SmtpPeer());
    if (!peer->Launch("start_aiosmtpd.sh", "", why)) return nullptr;
    return peer;
}

std::unique_ptr<SmtpPeer> SmtpPeer::StartLoginRelay(bool loginRequired, const Accounts& passwords,
                                                    const Accounts& tokens, std::string& why) {
    std::unique_ptr<SmtpPeer> peer(new SmtpPeer());
    std::string arguments = loginRequired ? "required" : "optional";
    for (const auto& [user, password] : passwords) arguments += " " + Quoted(user + ":" + password);
    arguments += " --";
    for (const auto& [user, token] : tokens) arguments += " " + Quoted(user + ":" + token);
    if (!peer->Launch("start_aiosmtpd.sh", arguments, why)) return nullptr;
    return peer;
}

std::vector<std::string> SmtpPeer::Read(const std::string& extension) const {
    std::vector<fs::path> files;
    if (fs::exists(Dir() / "new")) {
        for (const auto& entry : fs::directory_iterator(Dir() / "new")) {
            if (entry.path().extension() == extension) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> contents;
    for (const auto& file : files) contents.push_back(ReadFileBytes(file));
    return contents;
}

std::vector<std::string> SmtpPeer::Messages() const {
    return Read(".eml");
}
std::vector<std::string> SmtpPeer::Envelopes() const {
    return Read(".env");
}

}  // namespace qlk::test
