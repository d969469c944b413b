#pragma once

#include <string>

#include "message/TmsMessage.h"

namespace qlk::tools {

// What the decoder made of one stored message, for an operator to read.
std::string TextReport(const std::string& file, TmsMessage& message);
// The same as one JSON object on one line, in UTF-8 (the decoder's text is
// UTF-8 already; any other bytes are read as windows-1252).
std::string JsonReport(const std::string& file, TmsMessage& message);
// A file that could not be read at all.
std::string TextError(const std::string& file, const std::string& error);
std::string JsonError(const std::string& file, const std::string& error);

}  // namespace qlk::tools
