#pragma once
// Every text the engine shows the user: its closing message, its refusals and its own failure texts.
#include <string>

namespace dedupe::text {

inline constexpr const char* kDone = "Done.";
inline constexpr const char* kAlreadyRunning = "Rowsifter is already creating a table; wait until it has finished.";
inline constexpr const char* kNoOutputName = "Please type a name for the new table.";

std::string outputIsChosenTable(const std::string& output, const std::string& table);
std::string outputIsWorkTable(const std::string& output);
std::string internalName(const std::string& name);
std::string chosenIsWorkTable(const std::string& table);
std::string removedTableNameTaken(const std::string& removed);
std::string cannotTellRowsApart(const std::string& identifier, const std::string& table);
std::string notCreated(const std::string& what);
// Neither the temporary folder nor the database's own folder has room for the work table.
std::string notEnoughRoom(const std::string& table, long long needed, const std::string& tempFolder,
                          long long tempAvailable, const std::string& fileFolder, long long fileAvailable);

// What a run that stopped kept: the chosen table always; the output's old table, or no new table. A work
// table an earlier run left in the file and this run dropped (`droppedLeftover` not empty) is named: the
// file did change by that.
std::string keptAfterFailure(const std::string& table, const std::string& output, bool outputExisted,
                             const std::string& droppedLeftover);

} // namespace dedupe::text
