#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "net/TmsCustomPOP.h"
#include "net/TmsRemoteInfo.h"

namespace qlk {

class UnstuffingBuffer;

using TmsUserMsgSaveEvent = std::function<void(TagSocket& sender, int num, const std::string& contents)>;

// The POP3 client the gateway uses: stores message i as
// MessageDirectory + "msg_" + i + ".eml" and keeps a list of the mailbox's
// messages with their sizes and headers.
class TmsRemotePOP : public TmsCustomPOP {
public:
    // Most bytes read for the header lines of one message (TOP).
    static constexpr long long MaxHeaderBlock = 4 * 1024 * 1024;
    // A unique ID as RFC 1939 allows it: 1 to 70 characters from 0x21 to 0x7E.
    static constexpr std::size_t MaxUidLength = 70;
    static bool IsValidUid(std::string_view uid);

    // Messages one session lists at most; the rest wait for a later session.
    static constexpr int DefaultMaxMessages = 10000;
    // RETRs sent ahead of the one being read, when the server pipelines, and
    // the listed bytes they may bring together: enough to keep a link with a
    // round trip of a few hundred milliseconds busy, while what arrives ahead
    // waits in the socket buffers (the client reads one message at a time),
    // so TCP holds the server back rather than the client buffering it.
    static constexpr std::size_t FetchWindow = 64;
    static constexpr long long FetchWindowBytes = 4 * 1024 * 1024;

    TmsRemoteInfo RemoteInfo;
    // UpdateInfo leaves the session open.
    bool KeepConnected = false;
    // Messages ListMessages takes into RemoteInfo at most.
    int MaxMessages = DefaultMaxMessages;
    // Fetch also stores each message through SaveMessage (a copy for
    // diagnosis); without it the message is held in memory only.
    bool KeepCopies = false;

    TNotifyEvent OnUpdatingInfo, OnInfoUpdated, OnTransferringData, OnDataTransfered;
    TmsNumNotifyEvent OnNextInfoUpdated;
    // When set, retrieved messages go to the handler instead of a file.
    TmsUserMsgSaveEvent OnUserMessageSave;

    const std::string& MessageDirectory() const { return messageDirectory_; }
    // A non-empty folder gets a trailing "/"; the folder must exist.
    void SetMessageDirectory(const std::string& folder);
    // The file message Num is stored in.
    std::string MessageFileName(int num) const;

    // Rebuilds RemoteInfo (LIST and TOP for every message); ends the session
    // unless KeepConnected.
    void UpdateInfo();
    // Lists the mailbox in the session now open with one LIST and one UIDL:
    // RemoteInfo gets every message's size and unique ID, and the session
    // stays open, so that the numbers hold for everything that follows in
    // it. An ID that is not valid, or that the server gives to two
    // messages, is left empty. False when the server has no UIDL.
    bool ListMessages();
    // Messages the last ListMessages found beyond MaxMessages.
    long long MessagesLeftForLater() const { return leftForLater_; }
    // Retrieves message Index of the listing with RETR alone and returns its
    // text, unstuffed as it arrives. A message that carries more than its
    // listed size allows is read to its end and refused (Permanent), so the
    // session goes on with the next one; one that runs on past twice that
    // ends the session (Transient), since a server may send without end.
    std::string Fetch(int index);
    // Messages listed at this size or more are better fetched with
    // FetchToFile: held in memory, the text and its decoded attachments
    // would be there together.
    static constexpr long long FileFrom = 16 * 1024 * 1024;
    // As Fetch, but the text goes into MessageFileName(Index) as it arrives,
    // written once and never held whole; returns that file's name. The
    // file is the caller's to remove. A file that cannot be written is a
    // refusal of this message (Permanent); nothing of it is left.
    std::string FetchToFile(int index);
    // With a server that offers PIPELINING: sends RETR for message Index
    // (asked in the order of the listing) now when the window has room, so
    // that its bytes are on their way while the messages before it are
    // handled; Fetch then reads it. False when the RETR was not sent (no
    // PIPELINING, or the window is full): Fetch sends it itself.
    bool FetchAhead(int index);
    // Marks message Index for deletion. With a server that offers
    // PIPELINING the reply is read with the next one needed, and a refusal
    // goes to OnDeleteRefused; otherwise as Delete.
    void DeleteQueued(int index);
    std::function<void(int index, const std::string& reason)> OnDeleteRefused;

    void Reset() override;
    // Reads the replies still owed first.
    void Logout() override;
    // Reads UIDL, LIST and TOP of message Index; true when it may be handled.
    bool VerifyMessage(int index);
    // Retrieves and deletes the messages whose items carry those marks.
    void ProcessMarked();

protected:
    void SaveMessage(int num, const std::string& contents) override;

private:
    // Sends RETR for message Index unless it went ahead, and reads the
    // reply into BUFFER.
    void Receive(int index, UnstuffingBuffer& buffer);
    void ReadSizeListing();
    void ReadUidListing();
    // Reads the oldest reply still owed: a DELE's status, or a RETR sent
    // ahead and no longer wanted, read to its end.
    void ReadOwedReply();
    bool Owes(const std::string& command, int index) const;
    // How far a RETR reply is read, kept or not, before the session is given up.
    static long long ReadLimit(long long listed) { return 2 * MessageLimit(listed); }
    bool GetMessageInfo(int index, TmsRemoteInfoItem& item, bool withSizeAndHeaders, bool withUIDL);

    std::string messageDirectory_;
    long long leftForLater_ = 0;
    // Commands sent whose replies are not read yet, oldest first.
    struct OwedReply {
        std::string command;  // "RETR" or "DELE"
        int index;
    };
    std::deque<OwedReply> owed_;
    int lastSentAhead_ = -1;
};

}  // namespace qlk
