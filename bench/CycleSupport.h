#pragma once

// What the cycle benchmarks share: the Dovecot peer, the sample mailbox, a
// working folder as an office has it, and the peers' command lines.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "gateway/ConfigurationFile.h"
#include "gateway/UsersDatabase.h"
#include "mapi/PostOffice.h"
#include "support/Peers.h"

namespace qlk::bench {

namespace fs = std::filesystem;

constexpr std::size_t kMessageSize = 20 * 1024;

inline test::DovecotPeer* SharedDovecot() {
    static std::unique_ptr<test::DovecotPeer> peer = [] {
        std::string why;
        auto started = test::DovecotPeer::Start({{"joe", "secret"}}, why);
        if (!started) std::cerr << why << "\n";
        return started;
    }();
    return peer.get();
}

inline std::string SampleMessage(int number) {
    std::string text =
        "From: Sender <sender@example.org>\r\nTo: joe@example.org\r\nSubject: benchmark message " +
        std::to_string(number) + "\r\nDate: Tue, 8 Dec 2026 09:00:00 +0000\r\n\r\n";
    while (text.size() < kMessageSize - 80)
        text +=
            "The quick brown fox jumps over the lazy dog; line of message " + std::to_string(number) + "\r\n";
    return text;
}

inline void Fill(test::DovecotPeer& dovecot, int messages) {
    for (int i = 0; i < messages; ++i) dovecot.AddMessage("joe", SampleMessage(i));
}

// A working folder with the post office, one user row and QLK.CFG as an
// office would have them (by default log detail verbose, with the log file).
inline void PrepareGateway(const fs::path& work, const std::string& host, int logLevel = 3) {
    PostOffice office = PostOffice::Create(work);
    office.AddMailbox("Joe");
    UsersDatabase users(work / "users.DB");
    users.Open();
    UserRecord row;
    row.name = row.mailbox = "Joe";
    row.popHost = host;
    row.popUserId = "joe";
    row.popPassword = "secret";
    row.returnAddress = "joe@example.org";
    row.deleteMail = true;
    users.Insert(row);
    Settings settings;
    settings.AutoUpdate = false;
    settings.LogDetailLevel = logLevel;
    std::ofstream(work / ConfigurationFile::FileName, std::ios::binary)
        << ConfigurationFile::Format(settings);
}

inline std::size_t Delivered(const fs::path& maildir) {
    std::size_t count = 0;
    for (const char* sub : {"new", "cur"}) {
        if (!fs::exists(maildir / sub)) continue;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(maildir / sub)) ++count;
    }
    return count;
}

inline void MakeMaildir(const fs::path& maildir) {
    for (const char* sub : {"new", "cur", "tmp"}) fs::create_directories(maildir / sub);
}

// fetchmail handing every message of joe's mailbox at PORT to procmail,
// which stores it in HOME/Maildir; deleting what it fetched.
inline std::string FetchmailCommand(const fs::path& home, std::uint16_t port) {
    const fs::path maildir = home / "Maildir";
    MakeMaildir(maildir);
    std::ofstream(home / "procmailrc") << ":0\n" << maildir.string() << "/\n";
    const fs::path rc = home / "fetchmailrc";
    std::ofstream(rc)
        << "poll 127.0.0.1 service " << port
        << " protocol pop3 auth password user \"joe\" password \"secret\" mda \"/usr/bin/procmail -m "
        << (home / "procmailrc").string() << "\"\n";
    fs::permissions(rc, fs::perms::owner_read | fs::perms::owner_write);
    return "HOME=" + home.string() + " fetchmail -f " + rc.string() + " -a --sslproto '' --pidfile " +
           (home / "pid").string() + " --nosyslog >" + (home / "log").string() + " 2>&1";
}

inline bool HaveFetchmail() {
    return std::system("command -v fetchmail >/dev/null && test -x /usr/bin/procmail") == 0;
}

}  // namespace qlk::bench
