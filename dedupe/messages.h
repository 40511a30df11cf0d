#pragma once
// Every text the engine shows the user: its closing message, its refusals and its own failure texts.
#include <string>

namespace dedupe::text {

inline constexpr const char* kDone = "Done.";
inline constexpr const char* kAlreadyRunning = "Rowsifter is already creating a table; wait until it has finished.";

std::string outputIsChosenTable(const std::string& output, const std::string& table);
std::string outputIsWorkTable(const std::string& output);
std::string chosenIsWorkTable(const std::string& table);
std::string removedTableNameTaken(const std::string& removed);
std::string groupsTableNameTaken(const std::string& groups);
std::string cannotTellRowsApart(const std::string& identifier, const std::string& table);
std::string notCreated(const std::string& what);
std::string notEnoughRoom(const std::string& table, const std::string& folder, long long needed, long long available);

// What a run that stopped kept: the chosen table always; the output's old table, or no new table; and
// the work table when it could not be removed (empty `workTable`: it was).
std::string keptAfterFailure(const std::string& table, const std::string& output, bool outputExisted,
                             const std::string& workTable);
// Said with the failure to drop the work table after the output was written completely.
std::string workTableLeft(const std::string& workTable, const std::string& output);

} // namespace dedupe::text
