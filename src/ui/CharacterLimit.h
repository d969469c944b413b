#pragma once

#include <QValidator>

#include <cstddef>

namespace qlk {

// Holds a line edit to a number of characters as the operator counts them.
// A line edit's own maximum counts UTF-16 units, so a character beyond the
// Basic Multilingual Plane (many emoji, rarer CJK) would count twice.
class CharacterLimit : public QValidator {
    Q_OBJECT

public:
    CharacterLimit(std::size_t characters, QObject* parent);
    State validate(QString& input, int& position) const override;

private:
    std::size_t characters_;
};

}  // namespace qlk
