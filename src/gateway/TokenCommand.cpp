#include "gateway/TokenCommand.h"

#include <optional>

#include "gateway/LoginStore.h"
#include "net/ChildProcess.h"
#include "platform/EventPump.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

constexpr auto kTick = std::chrono::milliseconds(50);
constexpr auto kGrace = std::chrono::milliseconds(200);

Exception Failed(const std::string& program, const std::string& why) {
    return Exception("The token command " + program + " " + why, ErrorKind::Transient);
}

}  // namespace

std::vector<std::string> TokenCommand::Words(const std::string& command) {
    std::vector<std::string> words;
    if (command.size() > MaxCommandLength) return {};
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : command) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return {};
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) return {};
    if (inWord) words.push_back(word);
    return words;
}

std::string TokenCommand::Run(const std::string& command, std::chrono::milliseconds timeout) {
    std::vector<std::string> words = Words(command);
    if (words.empty()) throw Failed("\"" + command.substr(0, 80) + "\"", "cannot be read as a command");
    const std::string name = words.front();
    const std::string program = name.find('/') == std::string::npos ? ChildProcess::Find(name) : name;
    words.erase(words.begin());

    ChildProcess child;
    if (program.empty() || !child.Start(program, words)) throw Failed(name, "cannot be started");
    // Only the first line is kept; whatever else the program prints is read
    // and dropped, so that a flood costs no memory.
    std::optional<std::string> first;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (child.Running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            child.Terminate(kGrace);
            throw Failed(name, "did not finish in time");
        }
        for (std::string& line : child.ReadLines(kTick))
            if (!first) first = std::move(line);
        ProcessMessages();
    }
    for (std::string& line : child.ReadLines(std::chrono::milliseconds(0)))
        if (!first) first = std::move(line);
    if (child.ExitCode() != 0)
        throw Failed(name, "failed (exit code " + std::to_string(child.ExitCode()) + ")");
    if (!first || first->size() >= ChildProcess::MaxLineLength || !LoginStore::ValidToken(*first))
        throw Failed(name, "printed no usable token");
    return *first;
}

}  // namespace qlk
