#pragma once
// "Next >" on a real Access file: nothing writes Access files safely here, so the page offers to copy its
// tables into a new SQLite database and to go on with the copy.
#include <optional>
#include <string>

class QWidget;

namespace core {
class Trap;
}

namespace wizard {

// Asks the user, makes the copy with the busy pointer and the table being copied in the title, and returns
// the path to go on with; nothing when the user declined or a failure was reported (under `statement`).
// The typed password must match a protected Access file before anything is read.
std::optional<std::string> offerSqliteCopy(QWidget& page, core::Trap& trap, int statement,
                                           const std::string& accessPath, const std::string& password);

} // namespace wizard
