#include "ui/CoreText.h"

#include "message/Utf8Text.h"

namespace qlk {

QString FromCoreText(const std::string& bytes) {
    const std::u32string characters = DecodeText(bytes);
    return QString::fromUcs4(characters.data(), static_cast<qsizetype>(characters.size()));
}

std::string ToCoreText(const QString& text) {
    return text.toUtf8().toStdString();
}

std::string ToCoreText(const QString& text, const std::string& stored) {
    return text == FromCoreText(stored) ? stored : ToCoreText(text);
}

}  // namespace qlk
