#pragma once

#include <string>

#include "message/TmsHeaders.h"

namespace qlk {

// What the POP3 client knows of one message of the mailbox.
class TmsRemoteInfoItem {
public:
    bool RetrieveMark = false;
    bool DeleteMark = false;
    // Octets as LIST reports them.
    long long Size = 0;
    // The header lines (from TOP), without the blank line and the body.
    TmsHeaders Headers;
    // Unique id; filled by ListMessages and VerifyMessage.
    std::string UIDL;
};

}  // namespace qlk
