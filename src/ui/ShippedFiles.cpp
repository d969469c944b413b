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

}  // namespace qlk
