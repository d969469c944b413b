#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/PieceStreambuf.h"

namespace qlk {

// Passes mail text on with the line ends of a Maildir file: each CR LF
// becomes LF, a lone CR stays. What it takes goes to the sink in pieces of
// about 64 KiB, so that a large message can be written as it is composed.
class MaildirLineEndWriter : public PieceStreambuf {
public:
    // Takes each piece; false when it could not (nothing more is passed on).
    using Sink = std::function<bool(std::string_view piece)>;
    explicit MaildirLineEndWriter(Sink sink);

    // Passes on what is still held; false when the sink refused any piece.
    bool Finish();

private:
    static constexpr std::size_t kPiece = 64 * 1024;
    void Take(std::string_view data) override;
    void PassOn();

    Sink sink_;
    std::string held_;
    // A CR at the end of what came so far: dropped if an LF follows.
    bool pendingCr_ = false;
    bool failed_ = false;
};

}  // namespace qlk
