#pragma once

namespace qlk {

// What a connection needs of the dial-up component it may be attached to:
// bring the line up before connecting, take it down after closing.
class DialUpLink {
public:
    virtual ~DialUpLink() = default;
    // Returns once the line is up; raises on failure.
    virtual void Dial() = 0;
    // Hangs up; never raises.
    virtual void Abort() noexcept = 0;
};

}  // namespace qlk
