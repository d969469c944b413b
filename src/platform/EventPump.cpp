#include "platform/EventPump.h"

#include <utility>

namespace qlk {

namespace {
std::function<void()>& Pump() {
    static std::function<void()> pump;
    return pump;
}
}  // namespace

void ProcessMessages() {
    // A copy, so that a hook that replaces itself while it runs stays alive.
    if (auto pump = Pump()) pump();
}

std::function<void()> SetMessagePump(std::function<void()> pump) {
    return std::exchange(Pump(), std::move(pump));
}

}  // namespace qlk
