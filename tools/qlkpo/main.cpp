// qlkpo: administration of the gateway's post office.
//
//   qlkpo [-C FOLDER] COMMAND ...   (FOLDER: the gateway's working folder,
//                                    default the current folder)

#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "PostOfficeTool.h"

namespace {

using qlk::tools::CommandLine;
using qlk::tools::PostOfficeTool;
using Kind = CommandLine::Kind;

constexpr const char* kUsage =
    "usage: qlkpo [-C FOLDER] COMMAND\n"
    "  init [DIR]                         set up MAPI.INI and the post office with the mailbox Internet\n"
    "  add NAME [--password P]            add a mailbox\n"
    "  remove NAME [--force]              remove a mailbox (--force: even one that holds messages)\n"
    "  list                               mailboxes with their unread and total counts\n"
    "  send --from NAME --to NAME... [--cc NAME...] --subject S\n"
    "       [--text T | --text-file F] [--attach FILE...]\n"
    "  inbox NAME                         identifier, unread mark, sender, subject, attachments\n"
    "  show NAME ID [--save-attachments DIR]\n"
    "  imap-passwd FILE                   write Dovecot's passwd-file: each mailbox with a password\n"
    "                                     as an IMAP user (see qlkpo(1))\n";

struct Command {
    int (PostOfficeTool::*run)(const CommandLine&);
    std::map<std::string, Kind> options;
};

const std::map<std::string, Command>& Commands() {
    static const std::map<std::string, Command> commands = {
        {"init", {&PostOfficeTool::Init, {}}},
        {"add", {&PostOfficeTool::Add, {{"--password", Kind::Value}}}},
        {"remove", {&PostOfficeTool::Remove, {{"--force", Kind::Flag}}}},
        {"list", {&PostOfficeTool::List, {}}},
        {"send",
         {&PostOfficeTool::Send,
          {{"--from", Kind::Value},
           {"--to", Kind::List},
           {"--cc", Kind::List},
           {"--subject", Kind::Value},
           {"--text", Kind::Value},
           {"--text-file", Kind::Value},
           {"--attach", Kind::List}}}},
        {"inbox", {&PostOfficeTool::Inbox, {}}},
        {"show", {&PostOfficeTool::Show, {{"--save-attachments", Kind::Value}}}},
        {"imap-passwd", {&PostOfficeTool::ImapPasswd, {}}},
    };
    return commands;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty() && (words[0] == "--help" || words[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::string folder = ".";
    if (words.size() >= 2 && words[0] == "-C") {
        folder = words[1];
        words.erase(words.begin(), words.begin() + 2);
    }
    const auto command = words.empty() ? Commands().end() : Commands().find(words[0]);
    if (command == Commands().end()) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    try {
        const CommandLine line(std::vector<std::string>(words.begin() + 1, words.end()),
                               command->second.options);
        PostOfficeTool tool(folder, stdout);
        return (tool.*command->second.run)(line);
    } catch (const qlk::tools::EUsageError& error) {
        std::fprintf(stderr, "qlkpo %s: %s\n%s", words[0].c_str(), error.what(), kUsage);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qlkpo: %s\n", error.what());
    }
    return 1;
}
