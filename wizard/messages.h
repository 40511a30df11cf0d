#pragma once
// Every text the pages show the user in a message box, dialog, tool tip or to assistive technology
// (captions belong to the layouts), and what the program prints before it has windows.
#include "core/version.h"

#include <string>

namespace wizard::text {

inline constexpr const char* kDatabaseHelp =
    "This program compares all rows with one another to find duplicate rows. This program does not find duplicate "
    "columns.";
inline constexpr const char* kBrowseTitle = "Select Access Database";
// The three designed entries, then SQLite files and all files: on Linux a database may have any name.
inline constexpr const char* kBrowseFilter =
    "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|Microsoft 2007 Database "
    "(*.accdb)|*.accdb|SQLite Databases (*.sqlite,*.sqlite3,*.db3)|*.sqlite;*.sqlite3;*.db3|All Files (*)|*|";
inline constexpr const char* kSelectTable = "Please select a table";
inline constexpr const char* kSelectField = "Please select a field first.";
inline constexpr const char* kFieldHelp =
    "If the chosen table contains an ID (autonumber) column already, make sure it starts at 1 and moves forward "
    "consecutively such as 1 2 3 4 5 6... If it does not start at 1, delete this column from the table using Access.";
inline constexpr const char* kOutputHelp = "You are about to create a new table with duplicates records (rows) "
                                           "removed except for the first. Please choose a name for this table.";
inline constexpr const char* kNoDisplay =
    "Rowsifter needs a graphical display and none is available here, so run it on a desktop or use rowsifter-cli, "
    "its command-line version, instead.\n";

inline constexpr const char* kUsage =
    "Usage: rowsifter [--version | --help]\n"
    "\n"
    "Opens the wizard that copies a table of a database file without its duplicate rows. The program\n"
    "needs a graphical display; rowsifter-cli does the same work from the command line.\n"
    "\n"
    "  --version  print the version and exit\n"
    "  --help     print this text and exit\n";
inline std::string version() {
    return std::string("rowsifter ") + core::kVersion + "\n";
}

// What the buttons without words do, for their tool tips and for screen readers.
inline constexpr const char* kBrowseButton = "Browse for the database file";
inline constexpr const char* kChooseField = "Choose the selected field";
inline constexpr const char* kChooseAllFields = "Choose all fields";
inline constexpr const char* kUnchooseField = "Put the selected chosen field back";
inline constexpr const char* kUnchooseAllFields = "Put all chosen fields back";
// Names for screen readers of the boxes whose frame's caption does not say which box it is.
inline constexpr const char* kTables = "Tables of the database";
inline constexpr const char* kAvailableFields = "Fields of the table";
inline constexpr const char* kChosenFields = "Chosen fields";
inline constexpr const char* kNewTableName = "Name of the new table";

// Shown once per run of the program, the first time a change of the boxes cannot be saved.
inline std::string settingsNotSaved(const std::string& path) {
    return "Rowsifter cannot save its settings to \"" + path +
           "\", so the database and password will not be remembered next time.";
}

// "Next >" on a real Access file.
std::string offerAccessCopy(const std::string& accessName, const std::string& copyName, const std::string& folder,
                            bool besideTheFile);
std::string offerEarlierCopy(const std::string& accessName, const std::string& copyPath);
// The title while the Access file is opened, before its first table is copied.
std::string readingAccessFile(const std::string& accessName);
std::string copyingTable(const std::string& table, int number, int count);

} // namespace wizard::text
