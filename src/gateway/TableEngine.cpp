#include "gateway/TableEngine.h"

#include <algorithm>
#include <utility>

#include "gateway/EDatabaseError.h"
#include "message/Utf8Text.h"
#include "platform/AsciiCase.h"

namespace qlk {
namespace {

const std::string kTrueText = "True";
const std::string kFalseText = "False";
const std::string kNoText;

// Characters as the operator sees them: the table shows bytes that are not
// UTF-8 as Latin-1 characters.
std::size_t CharacterCount(const std::string& text) {
    return DecodeText(text).size();
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool ParseBoolean(const std::string& text, const UserFieldInfo& info) {
    if (SameText(text, kTrueText) || text == "1") return true;
    if (SameText(text, kFalseText) || text == "0") return false;
    throw EDatabaseError("'" + text + "' is not a valid boolean value for field '" + info.name + "'");
}

UserField RequireField(std::string_view name) {
    if (const auto field = FindUserField(name)) return *field;
    throw EDatabaseError("Field '" + std::string(name) + "' not found");
}

[[noreturn]] void FailWrongType(UserField field, const char* wanted) {
    throw EDatabaseError(std::string("Field '") + InfoOf(field).name + "' is not a " + wanted + " field");
}

}  // namespace

TableEngine::TableEngine(std::filesystem::path file) : database_(std::move(file)) {}

void TableEngine::Open() {
    if (Active()) return;
    try {
        database_.Open();
        rows_ = database_.LoadAll();
    } catch (const EDatabaseError& error) {
        database_.Close();
        rows_.clear();
        openFailure_ = error.what();
        NotifyDataChanged();
        throw;
    }
    openFailure_.clear();
    state_ = TableState::Browsing;
    onPendingRow_ = false;
    cursor_ = 0;
    eof_ = rows_.empty();
    NotifyDataChanged();
}

void TableEngine::Close() noexcept {
    if (!Active()) return;
    database_.Close();
    rows_.clear();
    pending_ = {};
    onPendingRow_ = false;
    state_ = TableState::Inactive;
    cursor_ = 0;
    eof_ = true;
    NotifyDataChanged();
}

void TableEngine::First() {
    RequireActive();
    LeavePendingRow();
    cursor_ = 0;
    eof_ = rows_.empty();
}

void TableEngine::Last() {
    RequireActive();
    LeavePendingRow();
    cursor_ = rows_.empty() ? 0 : rows_.size() - 1;
    eof_ = rows_.empty();
}

void TableEngine::Next() {
    RequireActive();
    LeavePendingRow();
    if (cursor_ + 1 < rows_.size())
        ++cursor_;
    else
        eof_ = true;
}

bool TableEngine::Eof() const {
    RequireActive();
    return eof_;
}

void TableEngine::MoveTo(int rowNumber) {
    RequireActive();
    if (rowNumber < 1 || static_cast<std::size_t>(rowNumber) > rows_.size())
        throw EDatabaseError("There is no user row " + std::to_string(rowNumber));
    LeavePendingRow();
    cursor_ = static_cast<std::size_t>(rowNumber - 1);
    eof_ = false;
}

int TableEngine::RecNo() const {
    RequireActive();
    if (onPendingRow_ && state_ == TableState::Inserting) return RecordCount() + 1;
    return rows_.empty() ? 0 : static_cast<int>(cursor_) + 1;
}

int TableEngine::RecordCount() const {
    RequireActive();
    return static_cast<int>(rows_.size());
}

void TableEngine::Append() {
    RequireActive();
    if (state_ != TableState::Browsing) throw EDatabaseError("A user row is being edited already");
    pending_ = {};
    state_ = TableState::Inserting;
    onPendingRow_ = true;
}

void TableEngine::Edit() {
    RequireActive();
    if (state_ != TableState::Browsing) return;
    if (rows_.empty()) throw EDatabaseError("The user table is empty");
    pending_ = rows_[cursor_];
    state_ = TableState::Editing;
    onPendingRow_ = true;
}

void TableEngine::Post() {
    RequireActive();
    if (state_ == TableState::Browsing) return;
    if (const std::string violation = RuleViolation(pending_); !violation.empty())
        throw EDatabaseError(violation);
    std::int64_t rowId = pending_.rowId;
    if (state_ == TableState::Inserting)
        rowId = database_.Insert(pending_);
    else
        database_.Update(pending_);
    state_ = TableState::Browsing;
    onPendingRow_ = false;
    pending_ = {};
    Reload(rowId);
}

void TableEngine::Cancel() {
    RequireActive();
    if (state_ == TableState::Browsing) return;
    state_ = TableState::Browsing;
    onPendingRow_ = false;
    pending_ = {};
}

void TableEngine::Delete() {
    RequireActive();
    if (state_ == TableState::Inserting) {
        Cancel();
        return;
    }
    Cancel();
    if (rows_.empty()) throw EDatabaseError("The user table is empty");
    // The cursor goes to the row that follows, or to the new last row.
    std::int64_t rowIdAfter = 0;
    if (cursor_ + 1 < rows_.size())
        rowIdAfter = rows_[cursor_ + 1].rowId;
    else if (cursor_ > 0)
        rowIdAfter = rows_[cursor_ - 1].rowId;
    database_.Remove(rows_[cursor_].rowId);
    Reload(rowIdAfter);
}

const std::string& TableEngine::AsString(UserField field) const {
    RequireActive();
    const UserRecord* row = CurrentRow();
    if (!row) return kNoText;
    if (const bool* flag = row->Flag(field)) return *flag ? kTrueText : kFalseText;
    return *row->Text(field);
}

bool TableEngine::AsBoolean(UserField field) const {
    RequireActive();
    if (!InfoOf(field).isBoolean) FailWrongType(field, "boolean");
    const UserRecord* row = CurrentRow();
    return row && *row->Flag(field);
}

void TableEngine::SetAsString(UserField field, const std::string& value) {
    RequireActive();
    UserRecord& row = RowToWrite();
    if (bool* flag = row.Flag(field))
        *flag = ParseBoolean(value, InfoOf(field));
    else
        *row.Text(field) = value;
}

void TableEngine::SetAsBoolean(UserField field, bool value) {
    RequireActive();
    if (!InfoOf(field).isBoolean) FailWrongType(field, "boolean");
    *RowToWrite().Flag(field) = value;
}

const std::string& TableEngine::FieldAsString(std::string_view name) const {
    return AsString(RequireField(name));
}

bool TableEngine::FieldAsBoolean(std::string_view name) const {
    return AsBoolean(RequireField(name));
}

void TableEngine::SetFieldAsString(std::string_view name, const std::string& value) {
    SetAsString(RequireField(name), value);
}

void TableEngine::SetFieldAsBoolean(std::string_view name, bool value) {
    SetAsBoolean(RequireField(name), value);
}

const UserRecord* TableEngine::FindRow(std::int64_t rowId) const {
    const auto found = std::find_if(rows_.begin(), rows_.end(),
                                    [rowId](const UserRecord& row) { return row.rowId == rowId; });
    return found == rows_.end() ? nullptr : &*found;
}

std::int64_t TableEngine::StoreRow(const UserRecord& row) {
    RequireActive();
    if (const std::string violation = RuleViolation(row); !violation.empty()) throw EDatabaseError(violation);
    std::int64_t rowId = row.rowId;
    if (rowId == 0)
        rowId = database_.Insert(row);
    else
        database_.Update(row);
    Reload(CurrentRowId());
    return rowId;
}

void TableEngine::DeleteRow(std::int64_t rowId) {
    RequireActive();
    std::int64_t stayOn = CurrentRowId();
    if (stayOn == rowId) {
        const auto next = cursor_ + 1 < rows_.size() ? cursor_ + 1 : cursor_ - 1;
        stayOn = rows_.size() > 1 ? rows_[next].rowId : 0;
    }
    database_.Remove(rowId);
    Reload(stayOn);
}

std::string TableEngine::RuleViolation(const UserRecord& row) {
    for (const auto& info : UserFields()) {
        const std::string* text = row.Text(info.field);
        if (!text) continue;
        const std::string field = std::string("Field '") + info.name + "'";
        if (info.required && text->empty()) return field + " must have a value";
        if (CharacterCount(*text) > kMaxUserTextLength)
            return field + " is longer than " + std::to_string(kMaxUserTextLength) + " characters";
        if (HasControlCharacter(*text)) return field + " contains a control character";
    }
    return {};
}

void TableEngine::RequireActive() const {
    if (Active()) return;
    if (openFailure_.empty()) throw EDatabaseError("The user table is closed");
    throw EDatabaseError("The user table " + File().filename().string() +
                         " could not be opened: " + openFailure_);
}

const UserRecord* TableEngine::CurrentRow() const {
    if (onPendingRow_) return &pending_;
    if (rows_.empty()) return nullptr;
    return &rows_[cursor_];
}

// Writing a field of a browsed row starts editing it; a row already being
// edited or inserted takes the write wherever the cursor is.
UserRecord& TableEngine::RowToWrite() {
    if (state_ == TableState::Browsing) Edit();
    return pending_;
}

void TableEngine::LeavePendingRow() {
    onPendingRow_ = false;
}

void TableEngine::Reload(std::int64_t currentRowId) {
    rows_ = database_.LoadAll();
    const auto found = std::find_if(rows_.begin(), rows_.end(), [currentRowId](const UserRecord& row) {
        return row.rowId == currentRowId;
    });
    cursor_ = found == rows_.end() ? 0 : static_cast<std::size_t>(found - rows_.begin());
    eof_ = rows_.empty();
    NotifyDataChanged();
}

std::int64_t TableEngine::CurrentRowId() const {
    return rows_.empty() ? 0 : rows_[cursor_].rowId;
}

void TableEngine::NotifyDataChanged() const {
    if (OnDataChanged) OnDataChanged();
}

}  // namespace qlk
