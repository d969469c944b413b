#pragma once

#include <QString>

namespace qlk {

// The files shipped with the program (help page, button images) live in
// share/quelmark beside the program's bin/ folder, in the build tree as in an
// installation. Returns the path of RELATIVE there, or an empty text when the
// file is missing.
QString ShippedFilePath(const QString& relative);

// FILENAME in WORKFOLDER when it is there, so an office can use its own
// copy; else the shipped one; an empty text when neither exists.
QString WorkFolderOrShippedFile(const QString& workFolder, const QString& fileName);

}  // namespace qlk
