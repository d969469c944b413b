#include "ui/ShippedFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qlk {

QString ShippedFilePath(const QString& relative) {
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath())
                                      .filePath(QStringLiteral("../share/quelmark/") + relative);
    if (QFileInfo::exists(besideProgram)) return QFileInfo(besideProgram).canonicalFilePath();
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                  QStringLiteral("quelmark/") + relative);
}

QString WorkFolderOrShippedFile(const QString& workFolder, const QString& fileName) {
    const QString own = QDir(workFolder).filePath(fileName);
    if (QFileInfo::exists(own)) return own;
    return ShippedFilePath(fileName);
}

}  // namespace qlk
