#pragma once

#include <stdexcept>
#include <string>

namespace qlk {

// What a failure means for the caller, so that callers decide on it and never
// on the message text (which an OnError handler may have rewritten):
// - Transient: may work later as it stands: a 4xx reply, a time-out, a
//   network that is down, a refused log-in, a server that broke a bound.
// - Permanent: will never work as it stands: a 5xx reply or a POP3 "-ERR",
//   a message the library cannot send or read, a value no command can carry.
// - ConnectionLost: the session is gone: reset or aborted by the peer, closed
//   in the middle of a reply; a new session may work.
// - Cancelled: the operator cancelled the operation.
// - General: none of these: a file, a table, the post office, a setting
//   that is missing.
enum class ErrorKind { General, Transient, Permanent, ConnectionLost, Cancelled };

// The one base of every error the system raises. Each carries a readable
// message that the status log can show as it stands, and its kind.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message, ErrorKind kind = ErrorKind::General)
        : std::runtime_error(message), kind_(kind) {}

    ErrorKind Kind() const noexcept { return kind_; }

private:
    ErrorKind kind_;
};

}  // namespace qlk
