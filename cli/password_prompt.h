#pragma once
// The password of an encrypted database: from ROWSIFTER_PASSWORD, or typed without echo at a terminal.
#include <string>

namespace cli {

// Empty when neither gives one (standard input is not a terminal and the variable is not set).
// `askAlways` false: only ROWSIFTER_PASSWORD, no prompt (a server's own sources come first).
std::string readPassword(const std::string& database, bool askAlways = true);

} // namespace cli
