#pragma once

namespace qlk {

// The colour of a status-log line: errors and notices red, standard black,
// detailed blue, verbose green.
enum class LogColor { Black, Red, Blue, Green };

}  // namespace qlk
