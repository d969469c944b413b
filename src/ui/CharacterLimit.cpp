#include "ui/CharacterLimit.h"

namespace qlk {

CharacterLimit::CharacterLimit(std::size_t characters, QObject* parent)
    : QValidator(parent), characters_(characters) {}

QValidator::State CharacterLimit::validate(QString& input, int&) const {
    return static_cast<std::size_t>(input.toUcs4().size()) <= characters_ ? Acceptable : Invalid;
}

}  // namespace qlk
