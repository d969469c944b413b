#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gateway/TableState.h"
#include "gateway/UserField.h"
#include "gateway/UserRecord.h"
#include "gateway/UsersDatabase.h"

namespace qlk {

// The user table with a cursor, as the window, the form and the transfers use
// it. The stored rows are held in memory while the table is open, so moving
// the cursor and reading fields never touches the disk; every write goes to
// the database at once and the rows are read back from it.
//
// A change (editing or inserting) is kept beside the stored rows until Post
// or Cancel. Field writes always go to that pending row, even when the
// cursor has moved since (the transfers move it while the user form is
// open); field reads see the pending row only until the cursor next moves.
// Navigation neither stores nor drops a pending change.
//
// Operations on a closed table raise EDatabaseError, naming why it could not
// be opened when that is known.
class TableEngine {
public:
    explicit TableEngine(std::filesystem::path file);

    void Open();  // the cursor goes to the first row
    void Close() noexcept;
    bool Active() const { return state_ != TableState::Inactive; }

    void First();
    void Last();
    void Next();  // from the last row: end of table
    bool Eof() const;
    void MoveTo(int rowNumber);  // 1-based, in stored order
    int RecNo() const;           // 1-based; 0 for an empty table
    int RecordCount() const;

    void Append();  // a new empty row after the last one
    void Edit();    // starts editing the current row
    void Post();
    void Cancel();
    void Delete();
    TableState State() const { return state_; }

    const std::string& AsString(UserField field) const;  // booleans read "True" or "False"
    bool AsBoolean(UserField field) const;
    void SetAsString(UserField field, const std::string& value);
    void SetAsBoolean(UserField field, bool value);

    const std::string& FieldAsString(std::string_view name) const;
    bool FieldAsBoolean(std::string_view name) const;
    void SetFieldAsString(std::string_view name, const std::string& value);
    void SetFieldAsBoolean(std::string_view name, bool value);

    // The stored rows in stored order (what the grid shows).
    const std::vector<UserRecord>& Rows() const { return rows_; }
    // The stored row with this identity; nullptr when there is none.
    const UserRecord* FindRow(std::int64_t rowId) const;

    // Writes ROW by its identity (rowId), wherever the cursor is: a row
    // without one is added after the last row. The cursor stays on the row
    // it was on. Returns the row's identity.
    std::int64_t StoreRow(const UserRecord& row);
    // Removes the row with this identity; the cursor stays on its row, or
    // goes to the next one when that was the row removed.
    void DeleteRow(std::int64_t rowId);
    const std::filesystem::path& File() const { return database_.File(); }

    // The first rule of the table this row breaks, or an empty text: a
    // required field empty, a text over the length limit, a control character.
    static std::string RuleViolation(const UserRecord& row);

    // Called after the stored rows changed: opened, closed, stored, deleted.
    std::function<void()> OnDataChanged;

private:
    void RequireActive() const;
    const UserRecord* CurrentRow() const;
    UserRecord& RowToWrite();
    void LeavePendingRow();
    void Reload(std::int64_t currentRowId);
    std::int64_t CurrentRowId() const;
    void NotifyDataChanged() const;

    UsersDatabase database_;
    std::vector<UserRecord> rows_;
    std::size_t cursor_ = 0;
    bool eof_ = true;
    TableState state_ = TableState::Inactive;
    UserRecord pending_;
    bool onPendingRow_ = false;
    std::string openFailure_;
};

}  // namespace qlk
