#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace qlk {

// A problem report for the maker, kept as an unsent Internet message
// (RFC 5322 with MIME parts) that the operator sends with any mail program.
// Header values come from the operator: line breaks are taken out so that
// no text can add header lines.
class SupportDraft {
public:
    QString From;
    QString To;
    QString Subject = QStringLiteral("QLK Support Request");
    QString Text;
    QStringList AttachmentPaths;  // files that are missing or too big are named in the text instead
    // Attachments made in memory (the password-blanked copies), by the name they carry.
    QList<QPair<QString, QByteArray>> AttachmentCopies;
    QDateTime Date = QDateTime::currentDateTime();

    // Attachments beyond this size are left out.
    static constexpr qint64 MaxAttachmentBytes = 16 * 1024 * 1024;

    QByteArray Build() const;

    // Writes the message readable by the owner only, since it tells about the
    // office. Returns false when it cannot.
    bool Save(const QString& path) const;
};

}  // namespace qlk
