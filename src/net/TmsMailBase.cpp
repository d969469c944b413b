#include "net/TmsMailBase.h"

#include <algorithm>

#include "net/SocketMessages.h"

namespace qlk {

void TmsMailBase::Connect() {
    if (Connected()) {
        if (!PeerClosed()) return;
        Close();
    }
    Open();
    Login();
}

void TmsMailBase::Disconnect() {
    if (!Connected()) return;
    if (!PeerClosed()) Logout();
    Close();
}

std::string TmsMailBase::UnstuffDataBlock(std::string_view block) {
    static constexpr std::string_view kFinalLine = ".\r\n";
    if (block == kFinalLine) return {};
    if (block.size() > kFinalLine.size() && block.ends_with(kFinalLine) &&
        block[block.size() - kFinalLine.size() - 1] == '\n') {
        block.remove_suffix(kFinalLine.size());
    }
    std::string text;
    text.reserve(block.size());
    std::size_t position = 0;
    while (position < block.size()) {
        if (block[position] == '.') ++position;
        std::size_t end = block.find('\n', position);
        end = end == std::string_view::npos ? block.size() : end + 1;
        text.append(block.substr(position, end - position));
        position = end;
    }
    return text;
}

std::string TmsMailBase::ResolveEndpoint() {
    auto parsed = MailServerAddress::Parse(Server, ServiceName, ImplicitTlsPort);
    if (!parsed) RaiseError(smInvalidUrl);
    address_ = std::move(*parsed);
    passwordInClear_ = false;
    return address_.Endpoint;
}

void TmsMailBase::ConnectSession() {
    ConnectSocket();
    if (Security() == TlsMode::Implicit) StartTls();
}

void TmsMailBase::ExchangeSasl(SaslLogin& login, std::size_t inlineLimit) {
    const std::size_t ordinaryLength = MaxLineLength;
    MaxLineLength = std::max(MaxLineLength, SaslLineLength);
    try {
        std::string command = "AUTH " + login.Mechanism();
        std::string shown = command;
        const std::string initial = login.InitialResponse();
        if (!initial.empty() && command.size() + 1 + initial.size() <= inlineLimit) {
            command += " " + initial;
            shown += " ****";
            login.MarkInitialSent();
        }
        SendLine(command, shown);
        for (int challenges = 0; ReadCompleteReply(), IsSaslChallenge(); ++challenges) {
            if (challenges == MaxSaslChallenges)
                RaiseErrorText(
                    "Log-in exchange longer than " + std::to_string(MaxSaslChallenges) + " challenges",
                    ErrorKind::Transient, true);
            SendLine(login.Answer(), "****");
        }
    } catch (...) {
        MaxLineLength = ordinaryLength;
        throw;
    }
    MaxLineLength = ordinaryLength;
}

}  // namespace qlk
