#pragma once
// Every text the engine shows the user: its closing message, its refusals and its own failure texts.
#include <string>

namespace dedupe::text {

inline constexpr const char* kDone = "Done.";
inline constexpr const char* kAlreadyRunning = "Rowsifter is already creating a table; wait until it has finished.";

std::string outputIsChosenTable(const std::string& output, const std::string& table);
std::string outputIsWorkTable(const std::string& output);
std::string chosenIsWorkTable(const std::string& table);
std::string cannotTellRowsApart(const std::string& identifier, const std::string& table);
std::string notCreated(const std::string& what);

} // namespace dedupe::text
