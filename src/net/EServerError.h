#pragma once

#include <string>

#include "net/ServerReply.h"
#include "platform/Exception.h"

namespace qlk {

// The server refused, or answered what the client did not expect. Carries the
// reply; the message is its last line ("" when the connection closed before
// the reply came whole) and the kind is the reply's (ServerReply::Kind).
class EServerError : public Exception {
public:
    explicit EServerError(ServerReply reply) : EServerError(reply.LastLine(), reply, reply.Kind()) {}
    // A refusal told in words of our own, of a kind the client knows better.
    EServerError(const std::string& message, ServerReply reply, ErrorKind kind)
        : Exception(message, kind), reply_(std::move(reply)) {}

    const ServerReply& Reply() const noexcept { return reply_; }

private:
    ServerReply reply_;
};

}  // namespace qlk
