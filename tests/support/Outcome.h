#pragma once

#include <functional>
#include <string>

#include "net/ECanceledError.h"
#include "net/EServerError.h"
#include "net/ESocketError.h"
#include "net/ETimedOutError.h"

namespace qlk::test {

// How a network operation ended, for table rows: "ok", "timed out",
// "canceled", or "server: " / "socket: " and the error's text.
inline std::string Outcome(const std::function<void()>& run) {
    try {
        run();
        return "ok";
    } catch (const EServerError& e) {
        return std::string("server: ") + e.what();
    } catch (const ETimedOutError&) {
        return "timed out";
    } catch (const ECanceledError&) {
        return "canceled";
    } catch (const ESocketError& e) {
        return std::string("socket: ") + e.what();
    }
}

}  // namespace qlk::test
