#include "PostOfficeTool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "DovecotPasswdFile.h"
#include "mapi/EPostOfficeError.h"
#include "mapi/MapiCodes.h"
#include "mapi/MapiIni.h"
#include "mapi/TEmail.h"
#include "message/FileNames.h"
#include "message/TextUtils.h"

namespace qlk::tools {

namespace {

// Text from mail shown on a terminal: control characters (escape sequences,
// line breaks that would split a line) are shown as "?".
std::string Printable(std::string_view text) {
    std::string shown(text);
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; },
        '?');
    return shown;
}

std::string Joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) text += separator;
        text += Printable(item);
    }
    return text;
}

void CheckName(const std::string& name) {
    if (!PostOffice::IsValidMailboxName(name))
        throw EPostOfficeError("Not a valid mailbox name: \"" + Printable(name) + "\"");
}

std::string ReadTextFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw EPostOfficeError("Cannot read " + path);
    std::string text;
    char buffer[65536];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw EPostOfficeError("Cannot read " + path);
    return text;
}

void Require(int code, const std::string& what) {
    if (code == SUCCESS_SUCCESS) return;
    throw EPostOfficeError(what + " failed: code " + std::to_string(code) + " " + MapiCodeName(code));
}

// Removes the files a read left in temporary folders, whatever happens.
class TemporaryFiles {
public:
    explicit TemporaryFiles(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    ~TemporaryFiles() {
        std::error_code ignored;
        for (const std::string& path : paths_) {
            std::filesystem::remove(path, ignored);
            std::filesystem::remove(std::filesystem::path(path).parent_path(), ignored);
        }
    }
    TemporaryFiles(const TemporaryFiles&) = delete;
    TemporaryFiles& operator=(const TemporaryFiles&) = delete;

private:
    std::vector<std::string> paths_;
};

// Copies without ever replacing a file that is there.
void SaveCopy(const std::string& from, const std::filesystem::path& to) {
    std::error_code error;
    if (!std::filesystem::copy_file(from, to, std::filesystem::copy_options::none, error))
        throw EPostOfficeError("Cannot save " + to.string() + ": " + error.message());
}

}  // namespace

PostOfficeTool::PostOfficeTool(std::filesystem::path workFolder, std::FILE* out)
    : workFolder_(std::move(workFolder)), out_(out) {}

void PostOfficeTool::Print(const std::string& text) const {
    std::fwrite(text.data(), 1, text.size(), out_);
}

PostOffice PostOfficeTool::Office() const {
    std::optional<PostOffice> office = PostOffice::Open(workFolder_);
    if (!office) throw EPostOfficeError("No post office in " + workFolder_.string() + " (run qlkpo init)");
    return *office;
}

std::string PostOfficeTool::ExistingMailbox(const PostOffice& office, const std::string& name) const {
    CheckName(name);
    const std::optional<std::string> mailbox = office.FindMailbox(name);
    if (!mailbox) throw EPostOfficeError("No such mailbox: \"" + Printable(name) + "\"");
    return *mailbox;
}

std::unique_ptr<TEmail> PostOfficeTool::SessionAs(const PostOffice& office,
                                                  const std::string& mailbox) const {
    auto email = std::make_unique<TEmail>(workFolder_);
    email->Profile = mailbox;
    email->Password = office.MailboxPassword(mailbox);
    Require(email->Logon(), "log-on to " + mailbox);
    return email;
}

int PostOfficeTool::Init(const CommandLine& line) {
    if (line.Positional().size() > 1) throw EUsageError("init takes one folder at most");
    if (!line.Positional().empty()) {
        workFolder_ = line.Positional().front();
        std::filesystem::create_directories(workFolder_);
    }
    const PostOffice office = PostOffice::Create(workFolder_);
    Print("post office ready in " + office.Folder().string() + "\n");
    if (MapiIni::Read(workFolder_).value_or(MapiIni()).Mapi == 0)
        Print("note: MAPI.INI switches it off (MAPI=0); set MAPI=1 to use it\n");
    return 0;
}

int PostOfficeTool::Add(const CommandLine& line) {
    if (line.Positional().size() != 1) throw EUsageError("add takes one mailbox name");
    const std::string& name = line.Positional().front();
    CheckName(name);
    Office().AddMailbox(name, line.Value("--password").value_or(""));
    return 0;
}

int PostOfficeTool::Remove(const CommandLine& line) {
    if (line.Positional().size() != 1) throw EUsageError("remove takes one mailbox name");
    PostOffice office = Office();
    const std::string mailbox = ExistingMailbox(office, line.Positional().front());
    const int held = office.CountMessages(mailbox).Total;
    if (held > 0 && !line.Has("--force"))
        throw EPostOfficeError("Mailbox " + Printable(mailbox) + " still holds " + std::to_string(held) +
                               " messages; --force removes it with them");
    office.RemoveMailbox(mailbox, true);
    return 0;
}

int PostOfficeTool::List(const CommandLine& line) {
    if (!line.Positional().empty()) throw EUsageError("list takes no names");
    const PostOffice office = Office();
    for (const std::string& mailbox : office.Mailboxes()) {
        const PostOffice::Counts counts = office.CountMessages(mailbox);
        Print(Printable(mailbox) + "\t" + std::to_string(counts.Unread) + " unread\t" +
              std::to_string(counts.Total) + " total\n");
    }
    return 0;
}

int PostOfficeTool::Send(const CommandLine& line) {
    if (!line.Positional().empty()) throw EUsageError("send takes its words as options");
    const PostOffice office = Office();
    const std::string sender = ExistingMailbox(office, *line.Value("--from", true));
    const std::vector<std::string> to = line.List("--to");
    if (to.empty()) throw EUsageError("--to is required");
    if (line.Value("--text") && line.Value("--text-file"))
        throw EUsageError("give --text or --text-file, not both");

    std::unique_ptr<TEmail> email = SessionAs(office, sender);
    for (const std::string& name : to) email->Recipient.push_back(ExistingMailbox(office, name));
    for (const std::string& name : line.List("--cc")) email->CC.push_back(ExistingMailbox(office, name));
    email->Subject = *line.Value("--subject", true);
    const std::optional<std::string> file = line.Value("--text-file");
    email->SetLongText(file ? ReadTextFile(*file) : line.Value("--text").value_or(""));
    for (const std::string& path : line.List("--attach")) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error)) throw EPostOfficeError("No such file: " + path);
        email->Attachment.push_back(std::filesystem::absolute(path).string());
    }
    Require(email->SendMail(), "sending");
    return 0;
}

int PostOfficeTool::Inbox(const CommandLine& line) {
    if (line.Positional().size() != 1) throw EUsageError("inbox takes one mailbox name");
    const PostOffice office = Office();
    std::unique_ptr<TEmail> email = SessionAs(office, ExistingMailbox(office, line.Positional().front()));
    email->SuppressAttach = true;
    while (!email->FindNext().empty()) {
        const std::string id = email->MessageID;
        if (email->ReadMail() != SUCCESS_SUCCESS) continue;  // taken by another reader meanwhile
        Print(Printable(id) + "\t" + (email->Unread ? "U" : "-") + "\t" + Printable(email->OrigName.str()) +
              "\t" + Printable(email->Subject.str()) + "\t" + Joined(email->Attachment, ", ") + "\n");
    }
    return 0;
}

int PostOfficeTool::Show(const CommandLine& line) {
    if (line.Positional().size() != 2)
        throw EUsageError("show takes a mailbox name and a message identifier");
    const PostOffice office = Office();
    std::unique_ptr<TEmail> email = SessionAs(office, ExistingMailbox(office, line.Positional()[0]));
    const std::optional<std::string> saveTo = line.Value("--save-attachments");
    email->SuppressAttach = !saveTo;
    email->MessageID = line.Positional()[1];
    const int code = email->ReadMail();
    if (code == MAPI_E_INVALID_MESSAGE)
        throw EPostOfficeError("No message " + Printable(line.Positional()[1]) + " in mailbox " +
                               Printable(line.Positional()[0]));
    Require(code, "reading");
    const TemporaryFiles temporary(email->AttPathNames);

    Print("From: " + Printable(email->OrigName.str()) + "\nTo: " + Joined(email->Recipient, ", ") + "\n");
    if (!email->CC.empty()) Print("Cc: " + Joined(email->CC, ", ") + "\n");
    Print("Subject: " + Printable(email->Subject.str()) + "\nDate: " + Printable(email->DateReceived.str()) +
          "\nUnread: " + (email->Unread ? "yes" : "no") + "\n");
    for (std::size_t i = 0; i < email->Attachment.size(); ++i) {
        std::string shown = "Attachment: " + Printable(email->Attachment[i]);
        if (saveTo) {
            const std::filesystem::path target =
                std::filesystem::path(*saveTo) / SafeFileName(email->Attachment[i]);
            std::filesystem::create_directories(*saveTo);
            SaveCopy(email->AttPathNames.at(i), target);
            shown += " (saved as " + target.string() + ")";
        }
        Print(shown + "\n");
    }
    const std::string text = email->GetLongText().value_or(email->Text.str());
    Print("\n" + text + (text.empty() || text.back() == '\n' ? "" : "\n"));
    return 0;
}

int PostOfficeTool::ImapPasswd(const CommandLine& line) {
    if (line.Positional().size() != 1) throw EUsageError("imap-passwd takes the file to write");
    const DovecotPasswdFile passwd(Office());
    passwd.Write(line.Positional().front());
    for (const std::string& mailbox : passwd.Included())
        Print(Printable(mailbox) + "\tlog-in \"" + Printable(LowerCase(mailbox)) + "\"\n");
    for (const DovecotPasswdFile::LeftOut& left : passwd.Excluded())
        std::fprintf(stderr, "left out %s: %s\n", Printable(left.mailbox).c_str(), left.reason.c_str());
    return 0;
}

}  // namespace qlk::tools
