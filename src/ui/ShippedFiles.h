#pragma once

#include <QString>

namespace qlk {

// The files shipped with the program (help page, button images) live in
// share/quelmark beside the program's bin/ folder, in the build tree as in an
// installation. Returns the path of RELATIVE there, or an empty text when the
// file is missing.
QString ShippedFilePath(const QString& relative);

}  // namespace qlk
