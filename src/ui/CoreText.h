#pragma once

#include <QString>

#include <string>

namespace qlk {

// Text crosses between the widgets and the core as UTF-8. Bytes from outside
// that are not UTF-8 (an old table, a Latin-1 subject in a log line) are
// shown as Latin-1, never dropped.
QString FromCoreText(const std::string& bytes);

std::string ToCoreText(const QString& text);

// What the core should store for a field that showed STORED and now shows
// TEXT: the stored bytes themselves while the operator has not changed the
// text, so a Latin-1 password read from an old file is not silently
// re-encoded.
std::string ToCoreText(const QString& text, const std::string& stored);

}  // namespace qlk
