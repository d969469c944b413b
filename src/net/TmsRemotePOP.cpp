#include "net/TmsRemotePOP.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <sstream>
#include <vector>

#include "net/EServerError.h"
#include "net/UnstuffingBuffer.h"
#include "platform/AtomicFile.h"
#include "platform/Exception.h"

namespace qlk {

namespace {

// "n text" of a listing: the text before the first blank and after it;
// nothing before it when the line has no blank.
std::pair<std::string_view, std::string_view> SplitAtBlank(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return {};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

}  // namespace

bool TmsRemotePOP::IsValidUid(std::string_view uid) {
    return !uid.empty() && uid.size() <= MaxUidLength &&
           std::all_of(uid.begin(), uid.end(), [](char c) { return c >= 0x21 && c <= 0x7E; });
}

void TmsRemotePOP::SetMessageDirectory(const std::string& folder) {
    messageDirectory_ = folder;
    if (!folder.empty() && folder.back() != '/') messageDirectory_ += '/';
}

std::string TmsRemotePOP::MessageFileName(int num) const {
    return messageDirectory_ + "msg_" + std::to_string(num) + ".eml";
}

void TmsRemotePOP::SaveMessage(int num, const std::string& contents) {
    if (OnUserMessageSave) {
        OnUserMessageSave(*this, num, contents);
        return;
    }
    AtomicFile::WriteWhole(MessageFileName(num), contents);
}

bool TmsRemotePOP::GetMessageInfo(int index, TmsRemoteInfoItem& item, bool withSizeAndHeaders,
                                  bool withUIDL) {
    bool gotUIDL = true;
    if (withUIDL) {
        item.UIDL.clear();
        SendCommand("UIDL " + WireNumber(index));
        if (ReadReply() == 1) {
            // "+OK 1 uid": the third word.
            std::istringstream words(LastReply());
            std::string word;
            for (int i = 0; i < 3 && words >> word; ++i) {
                if (i == 2) item.UIDL = word;
            }
        } else {
            gotUIDL = false;
        }
    }
    if (withSizeAndHeaders) {
        item.Size = ListSize(index);
        Command("TOP " + WireNumber(index) + " 1");
        std::ostringstream block;
        ReceiveToStream(block, -1, MaxHeaderBlock);
        std::string text = UnstuffDataBlock(std::move(block).str());
        item.Headers.Clear();
        std::size_t start = 0;
        while (start < text.size()) {
            auto end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty()) break;
            item.Headers.Add(std::move(line));
            start = end + 1;
        }
    }
    return gotUIDL;
}

void TmsRemotePOP::UpdateInfo() {
    Connect();
    FireNotify(OnUpdatingInfo);
    RemoteInfo.Clear();
    for (int i = 0; i < MessageCount; ++i) {
        auto item = std::make_unique<TmsRemoteInfoItem>();
        GetMessageInfo(i, *item, true, false);
        int added = RemoteInfo.Add(std::move(item));
        if (OnNextInfoUpdated) OnNextInfoUpdated(*this, added);
    }
    if (!KeepConnected) Disconnect();
    FireNotify(OnInfoUpdated);
}

bool TmsRemotePOP::ListMessages() {
    Connect();
    FireNotify(OnUpdatingInfo);
    RemoteInfo.Clear();
    ReadSizeListing();
    SendCommand("UIDL");
    const bool hasUids = ReadStatus();
    if (hasUids) ReadUidListing();
    FireNotify(OnInfoUpdated);
    return hasUids;
}

// "n size" for every message, numbered from 1 without a gap in a session
// that has deleted nothing. A line out of that order is read to the end of
// the listing, so that the session stays in step, and then refused.
// Beyond MaxMessages the lines are only counted.
void TmsRemotePOP::ReadSizeListing() {
    Command("LIST");
    std::string unexpected;
    leftForLater_ = 0;
    ReadListing(std::max(MessageCount, 0), [&](const std::string& line) {
        const auto [number, rest] = SplitAtBlank(line);
        const long long expected = RemoteInfo.Count() + leftForLater_ + 1;
        if (!unexpected.empty() || ReadNumber(number) != expected) {
            if (unexpected.empty()) unexpected = line.substr(0, 80);
            return;
        }
        if (RemoteInfo.Count() >= std::max(MaxMessages, 0)) {
            ++leftForLater_;
            return;
        }
        auto item = std::make_unique<TmsRemoteInfoItem>();
        item->Size = std::max(ReadNumber(rest.substr(0, rest.find(' '))), 0LL);
        const int added = RemoteInfo.Add(std::move(item));
        if (OnNextInfoUpdated) OnNextInfoUpdated(*this, added);
    });
    if (!unexpected.empty())
        throw EServerError("Unexpected line in the message list: " + unexpected, Reply(), ErrorKind::Transient);
}

// "n uid" for every message. An ID given to two messages identifies
// neither, and a message given two IDs keeps none.
void TmsRemotePOP::ReadUidListing() {
    std::vector<std::string> uids(static_cast<std::size_t>(RemoteInfo.Count()));
    std::vector<int> timesNumbered(uids.size(), 0);
    std::map<std::string, int, std::less<>> timesGiven;
    const long long listed = RemoteInfo.Count() + leftForLater_;
    ReadListing(static_cast<int>(listed), [&](const std::string& line) {
        const auto [numberText, uid] = SplitAtBlank(line);
        const long long number = ReadNumber(numberText);
        if (number < 1 || number > RemoteInfo.Count() || !IsValidUid(uid)) return;
        const auto index = static_cast<std::size_t>(number - 1);
        uids[index] = uid;
        ++timesNumbered[index];
        ++timesGiven[uids[index]];
    });
    for (std::size_t i = 0; i < uids.size(); ++i) {
        const bool unique = timesNumbered[i] == 1 && timesGiven[uids[i]] == 1;
        RemoteInfo.Items(static_cast<int>(i)).UIDL = unique ? uids[i] : std::string();
    }
}

void TmsRemotePOP::Reset() {
    owed_.clear();
    lastSentAhead_ = -1;
    TmsCustomPOP::Reset();
}

void TmsRemotePOP::Logout() {
    while (!owed_.empty() && Connected()) ReadOwedReply();
    TmsCustomPOP::Logout();
}

bool TmsRemotePOP::Owes(const std::string& command, int index) const {
    return std::any_of(owed_.begin(), owed_.end(),
                       [&](const OwedReply& owed) { return owed.command == command && owed.index == index; });
}

bool TmsRemotePOP::FetchAhead(int index) {
    if (!OffersPipelining()) return false;
    // RETRs go ahead in the order of the listing: one at or before the last
    // sent is on its way or read already.
    if (index <= lastSentAhead_) return true;
    std::size_t ahead = 0;
    long long bytesAhead = 0;
    for (const OwedReply& owed : owed_) {
        if (owed.command != "RETR") continue;
        ++ahead;
        bytesAhead += RemoteInfo.Items(owed.index).Size;
    }
    // One message always goes ahead, however large: it is read as it arrives.
    const long long size = RemoteInfo.Items(index).Size;
    if (ahead >= FetchWindow || (ahead > 0 && bytesAhead + size > FetchWindowBytes)) return false;
    SendCommand("RETR " + WireNumber(index));
    owed_.push_back({"RETR", index});
    lastSentAhead_ = index;
    return true;
}

void TmsRemotePOP::DeleteQueued(int index) {
    if (!OffersPipelining()) return Delete(index);
    if (OnDeleting) OnDeleting(*this, index);
    SendCommand("DELE " + WireNumber(index));
    owed_.push_back({"DELE", index});
}

void TmsRemotePOP::ReadOwedReply() {
    const OwedReply owed = owed_.front();
    owed_.pop_front();
    if (owed.command == "DELE") {
        if (!ReadStatus() && OnDeleteRefused) OnDeleteRefused(owed.index, LastReply());
        return;
    }
    if (!ReadStatus()) return;
    std::ostream nowhere(nullptr);
    const long long listed = RemoteInfo.Items(owed.index).Size;
    ReceiveToStream(nowhere, listed, ReadLimit(listed));
}

void TmsRemotePOP::Receive(int index, UnstuffingBuffer& buffer) {
    const long long listed = RemoteInfo.Items(index).Size;
    if (OnRetrieving) OnRetrieving(*this, index);
    if (!Owes("RETR", index)) {
        while (!owed_.empty()) ReadOwedReply();
        SendCommand("RETR " + WireNumber(index));
    } else {
        while (owed_.front().command != "RETR" || owed_.front().index != index) ReadOwedReply();
        owed_.pop_front();
    }
    CheckReply();
    std::ostream stream(&buffer);
    // The buffer bounds what is kept; the read limit and the session
    // deadline bound how long a server may go on sending.
    ReceiveToStream(stream, listed, ReadLimit(listed));
    if (buffer.Overflowed())
        throw Exception(
            "The message is longer than the " + std::to_string(listed) + " bytes the server listed",
            ErrorKind::Permanent);
}

std::string TmsRemotePOP::Fetch(int index) {
    const long long listed = RemoteInfo.Items(index).Size;
    UnstuffingBuffer buffer(static_cast<std::size_t>(MessageLimit(listed)),
                            static_cast<std::size_t>(std::max(listed, 0LL)));
    Receive(index, buffer);
    std::string text = buffer.TakeText();
    if (KeepCopies) SaveMessage(index, text);
    if (OnRetrieved) OnRetrieved(*this, index);
    return text;
}

std::string TmsRemotePOP::FetchToFile(int index) {
    const std::string path = MessageFileName(index);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) throw Exception("The message cannot be written to " + path, ErrorKind::Permanent);
    UnstuffingBuffer buffer(static_cast<std::size_t>(MessageLimit(RemoteInfo.Items(index).Size)), fd);
    bool written = false;
    try {
        Receive(index, buffer);
        written = buffer.FinishFile();
    } catch (...) {
        ::close(fd);
        ::unlink(path.c_str());
        throw;
    }
    if (::close(fd) != 0 || !written) {
        ::unlink(path.c_str());
        throw Exception("The message cannot be written to " + path, ErrorKind::Permanent);
    }
    if (OnRetrieved) OnRetrieved(*this, index);
    return path;
}

bool TmsRemotePOP::VerifyMessage(int index) {
    TmsRemoteInfoItem fresh;
    GetMessageInfo(index, fresh, true, true);
    return true;
}

void TmsRemotePOP::ProcessMarked() {
    if (RemoteInfo.Count() == 0) return;
    Connect();
    FireNotify(OnTransferringData);
    for (int i = 0; i < RemoteInfo.Count(); ++i) {
        const auto& item = RemoteInfo.Items(i);
        if (item.RetrieveMark && VerifyMessage(i)) Retrieve(i);
        if (item.DeleteMark && VerifyMessage(i)) Delete(i);
    }
    FireNotify(OnDataTransfered);
    Disconnect();
}

}  // namespace qlk
