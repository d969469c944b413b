#pragma once

namespace qlk {

// What the user table is doing with its current row.
enum class TableState {
    Inactive,   // closed
    Browsing,   // reading rows
    Editing,    // a stored row has unstored changes
    Inserting,  // a new row has not been stored yet
};

}  // namespace qlk
