#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "CommandLine.h"
#include "mapi/PostOffice.h"

namespace qlk {
class TEmail;
}

namespace qlk::tools {

// The commands of qlkpo over the post office of one working folder. Mail is
// sent and read through TEmail, as the gateway does; mailboxes are made and
// removed through PostOffice. Each command returns the exit status and
// raises qlk::Exception for anything it refuses.
class PostOfficeTool {
public:
    PostOfficeTool(std::filesystem::path workFolder, std::FILE* out);

    int Init(const CommandLine& line);
    int Add(const CommandLine& line);
    int Remove(const CommandLine& line);
    int List(const CommandLine& line);
    int Send(const CommandLine& line);
    int Inbox(const CommandLine& line);
    int Show(const CommandLine& line);
    int ImapPasswd(const CommandLine& line);

private:
    PostOffice Office() const;
    // The mailbox's own spelling of a name given on the command line.
    std::string ExistingMailbox(const PostOffice& office, const std::string& name) const;
    // A session on the mailbox, with its password: the administrator may act
    // as any mailbox.
    std::unique_ptr<TEmail> SessionAs(const PostOffice& office, const std::string& mailbox) const;
    void Print(const std::string& text) const;

    std::filesystem::path workFolder_;
    std::FILE* out_;
};

}  // namespace qlk::tools
