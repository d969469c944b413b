#include "gateway/StreamLogView.h"

#include <ostream>

namespace qlk {

void StreamLogView::LineAdded(const LogLine& line) {
    out_ << line.text << '\n' << std::flush;
}

}  // namespace qlk
