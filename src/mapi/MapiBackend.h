#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mapi/MapiMessage.h"
#include "mapi/MapiRecipient.h"
#include "mapi/StagedMail.h"

namespace qlk {

// The Simple MAPI operations TEmail is written against. The post office's own
// back end implements them over Maildirs; tests put a scripted one in its
// place. Every failure is a result code; no operation raises for one.
// Records come back as values the caller owns, so nothing has to be released
// the way MAPIFreeBuffer releases the platform's buffers.
class MapiBackend {
public:
    virtual ~MapiBackend() = default;

    virtual int MAPILogon(const std::optional<std::string>& profile,
                          const std::optional<std::string>& password, std::uint32_t flags,
                          std::uint32_t& session) = 0;
    virtual int MAPILogoff(std::uint32_t session) = 0;
    // The message after `seed` (empty: the first one of the inbox).
    virtual int MAPIFindNext(std::uint32_t session, const std::string& seed, std::uint32_t flags,
                             std::string& messageId) = 0;
    // Success with no record left in `message` is possible (a platform quirk
    // TEmail answers with MAPI_USER_ABORT).
    virtual int MAPIReadMail(std::uint32_t session, const std::string& messageId, std::uint32_t flags,
                             std::optional<MapiMessage>& message) = 0;
    virtual int MAPISendMail(std::uint32_t session, const MapiMessage& message, std::uint32_t flags) = 0;
    virtual int MAPIDeleteMail(std::uint32_t session, const std::string& messageId) = 0;
    virtual int MAPIResolveName(std::uint32_t session, const std::string& name, std::uint32_t flags,
                                MapiRecipient& recipient) = 0;
    virtual int MAPIAddress(std::uint32_t session, const std::string& caption, int editFields,
                            const std::string& labels, const std::vector<MapiRecipient>& recipients,
                            std::vector<MapiRecipient>& chosen) = 0;

    // Beyond Simple MAPI, for a sender that must deliver every message
    // exactly once whatever instant it dies at: a send in two steps.
    // StageMail takes each recipient by its exact mailbox name (no prefix,
    // no dialog), writes and syncs one copy per mailbox under STAGINGKEY
    // where no reader sees it, and says which mailboxes and which unique
    // name the copies are for. CommitStaged then makes copy COPY a new
    // message of MAILBOX; for a copy that is no longer staged (committed
    // before the sender died) it does nothing and succeeds. A staging key is
    // 1 to 64 letters and digits; staging under a key again replaces what
    // an earlier attempt left there. Back ends without it answer
    // MAPI_E_NOT_SUPPORTED.
    virtual int StageMail(std::uint32_t session, const MapiMessage& message, const std::string& stagingKey,
                          StagedMail& staged);
    virtual int CommitStaged(const std::string& stagingKey, std::size_t copy, const std::string& mailbox,
                             const std::string& uniqueName);
    // A batch of two-step sends with one durability point per step: while
    // batched, StageMail and CommitStaged only write and rename, and
    // SyncDeliveries makes everything staged or committed so far durable
    // at once. Back ends that sync every step need nothing of it.
    virtual void SetBatched(bool batched);
    virtual int SyncDeliveries();
};

}  // namespace qlk
