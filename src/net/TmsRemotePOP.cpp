#include "net/TmsRemotePOP.h"

#include <sstream>
#include <vector>

#include "platform/AtomicFile.h"

namespace qlk {

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
