#pragma once

#include <QString>

#include <string>

namespace qlk {

// The core keeps text as single-byte strings; the user table's texts cross
// into the widgets as Latin-1.
inline QString FromLatin1(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToLatin1(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace qlk
