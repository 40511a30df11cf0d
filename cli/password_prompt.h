#pragma once
// The password of an encrypted database: from ROWSIFTER_PASSWORD, or typed without echo at a terminal.
#include <string>

namespace cli {

// Empty when neither gives one (standard input is not a terminal and the variable is not set).
std::string readPassword(const std::string& database);

} // namespace cli
