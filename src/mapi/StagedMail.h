#pragma once

#include <string>
#include <vector>

namespace qlk {

// A message written to the post office but not yet seen by any reader: one
// copy per mailbox, in the order of Mailboxes, each to become the message
// UniqueName of its mailbox when committed.
struct StagedMail {
    std::string UniqueName;
    std::vector<std::string> Mailboxes;
};

}  // namespace qlk
