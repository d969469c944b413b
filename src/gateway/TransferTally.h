#pragma once

namespace qlk {

// The counters of one transfer cycle, reported in its totals. The sixth
// counter, the errors, is the status log's ErrorCount: every level-0 line
// counts, wherever it comes from.
struct TransferTally {
    int UsersChecked = 0;
    int MessagesReceived = 0;
    int MessagesSent = 0;
    int AttachmentsDownloaded = 0;
    int AttachmentsUploaded = 0;

    void Reset() { *this = TransferTally{}; }
};

}  // namespace qlk
