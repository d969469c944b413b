#pragma once

#include <string>

#include "message/TmsMessage.h"

namespace qlk::tools {

// What the decoder made of one stored message, for an operator to read.
std::string TextReport(const std::string& file, TmsMessage& message);
// The same as one JSON object on one line. Message text is single-byte; bytes
// from 128 up are written as \u00XX (read as ISO-8859-1).
std::string JsonReport(const std::string& file, TmsMessage& message);
// A file that could not be read at all.
std::string TextError(const std::string& file, const std::string& error);
std::string JsonError(const std::string& file, const std::string& error);

}  // namespace qlk::tools
