#pragma once

#include <functional>

namespace qlk {

// The process runs on one thread. Every long wait (network replies, dialling,
// the pauses between users and messages) calls ProcessMessages() so that the
// window stays live. The desktop program installs a hook that processes
// pending window events; tests install their own or none.
void ProcessMessages();

// Installs the hook and returns the one it replaces; an empty hook makes
// ProcessMessages() do nothing.
std::function<void()> SetMessagePump(std::function<void()> pump);

}  // namespace qlk
