#include "ui/SupportDraft.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>
#include <cstdlib>

namespace qlk {

namespace {

const QByteArray kCrLf = "\r\n";

QByteArray HeaderValue(const QString& value) {
    QString oneLine = value;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray utf8 = oneLine.trimmed().toUtf8();
    bool ascii =
        std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
    if (ascii) return utf8;
    return "=?UTF-8?B?" + utf8.toBase64() + "?=";
}

// A file name fit for a quoted header parameter.
QByteArray PlainFileName(const QString& name) {
    QByteArray plain;
    for (char c : name.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        plain += (u < 32 || u >= 127 || c == '"' || c == '\\') ? '_' : c;
    }
    return plain.isEmpty() ? QByteArray("attachment") : plain;
}

QByteArray WithCrLf(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r\n", "\n").replace('\r', '\n').replace("\n", kCrLf);
    return bytes;
}

QByteArray Base64Lines(const QByteArray& data) {
    const QByteArray encoded = data.toBase64();
    QByteArray lines;
    for (qsizetype i = 0; i < encoded.size(); i += 76) lines += encoded.mid(i, 76) + kCrLf;
    return lines;
}

QByteArray Rfc5322Date(const QDateTime& date) {
    const int offsetMinutes = date.offsetFromUtc() / 60;
    const int absolute = std::abs(offsetMinutes);
    return QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() +
           (offsetMinutes < 0 ? '-' : '+') +
           QByteArray::number(absolute / 60 * 100 + absolute % 60).rightJustified(4, '0');
}

}  // namespace

QByteArray SupportDraft::Build() const {
    const QByteArray boundary = "=_qlk_" + QUuid::createUuid().toByteArray(QUuid::Id128);
    QString text = Text;
    QList<QPair<QByteArray, QByteArray>> parts;
    for (const QString& path : AttachmentPaths) {
        // Only a plain file, and never more of it than the limit: the log
        // file's name comes from QLK.CFG and may name a device or a pipe.
        QFile file(path);
        if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
            text += QStringLiteral("\n[%1 could not be read]").arg(path);
            continue;
        }
        const QByteArray data = file.read(MaxAttachmentBytes + 1);
        if (data.size() > MaxAttachmentBytes)
            text += QStringLiteral("\n[%1 left out: larger than %2 bytes]").arg(path).arg(MaxAttachmentBytes);
        else
            parts.append({PlainFileName(QFileInfo(path).fileName()), data});
    }
    for (const auto& [name, data] : AttachmentCopies) parts.append({PlainFileName(name), data});

    QByteArray out;
    out += "From: " + HeaderValue(From) + kCrLf;
    out += "To: " + HeaderValue(To) + kCrLf;
    out += "Subject: " + HeaderValue(Subject) + kCrLf;
    out += "Date: " + Rfc5322Date(Date) + kCrLf;
    out += "X-Unsent: 1" + kCrLf;
    out += "MIME-Version: 1.0" + kCrLf;
    out += "Content-Type: multipart/mixed;" + kCrLf + " boundary=\"" + boundary + "\"" + kCrLf + kCrLf;
    out += "--" + boundary + kCrLf;
    out += "Content-Type: text/plain; charset=utf-8" + kCrLf;
    out += "Content-Transfer-Encoding: base64" + kCrLf + kCrLf;
    out += Base64Lines(WithCrLf(text));
    for (const auto& [name, data] : parts) {
        out += "--" + boundary + kCrLf;
        out += "Content-Type: application/octet-stream; name=\"" + name + "\"" + kCrLf;
        out += "Content-Disposition: attachment; filename=\"" + name + "\"" + kCrLf;
        out += "Content-Transfer-Encoding: base64" + kCrLf + kCrLf;
        out += Base64Lines(data);
    }
    out += "--" + boundary + "--" + kCrLf;
    return out;
}

bool SupportDraft::Save(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(Build());
    return file.commit();
}

}  // namespace qlk
