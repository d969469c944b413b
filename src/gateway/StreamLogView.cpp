#include "gateway/StreamLogView.h"

#include <ostream>
#include <string>

namespace qlk {

void StreamLogView::LineAdded(const LogLine& line) {
    // One write per line: standard error is unbuffered, so every insertion
    // would be a system call of its own.
    std::string text = line.text + '\n';
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    out_.flush();
}

}  // namespace qlk
