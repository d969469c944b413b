#include "mapi/MaildirLineEndWriter.h"

#include <utility>

namespace qlk {

MaildirLineEndWriter::MaildirLineEndWriter(Sink sink) : sink_(std::move(sink)) {
    held_.reserve(kPiece + 1);
}

bool MaildirLineEndWriter::Finish() {
    if (pendingCr_) held_ += '\r';
    pendingCr_ = false;
    PassOn();
    return !failed_;
}

void MaildirLineEndWriter::Take(std::string_view data) {
    while (!data.empty()) {
        if (pendingCr_) {
            pendingCr_ = false;
            if (data.front() != '\n') held_ += '\r';
        }
        const std::size_t cr = data.find('\r');
        held_.append(data.substr(0, cr));
        if (cr == std::string_view::npos) break;
        pendingCr_ = true;
        data.remove_prefix(cr + 1);
    }
    if (held_.size() >= kPiece) PassOn();
}

void MaildirLineEndWriter::PassOn() {
    if (!failed_ && !held_.empty() && !sink_(held_)) failed_ = true;
    held_.clear();
}

}  // namespace qlk
