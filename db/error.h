#pragma once
// The one failure type of the database layer: a number and a description the user reads.
#include <stdexcept>
#include <string>

namespace db {

// Numbers follow the designed program's provider where one exists; the rest are our own.
namespace err {
constexpr int ProviderNotFound = 3706; // "Provider cannot be found. It may not be properly installed."
constexpr int ItemNotFound = 3265;     // no such field or property
constexpr int ObjectClosed = 3704;     // operation on a closed connection or record set
constexpr int ObjectOpen = 3705;       // Open on a connection or record set that is already open
constexpr int NoCurrentRecord = 3021;  // EOF or BOF
constexpr int FileNotFound = 3024;     // no such database file
constexpr int NotADatabase = 3343;     // unrecognised database format
constexpr int AccessFile = 3344;       // a real Access file: cannot be opened here
constexpr int WrongPassword = 3031;    // not a valid password
constexpr int FileLocked = 3045;       // file in use by another process
constexpr int SyntaxError = 3000;      // statement not in the dialect
constexpr int NoSuchTable = 3078;      // input table or query not found
constexpr int NoSuchColumn = 3265;     // column not found (same as item not found)
constexpr int TableExists = 3010;      // table already exists
constexpr int EngineError = 3146;      // anything else the engine reported
constexpr int DiskFull = 3035;         // disk or memory full
constexpr int ReadOnly = 3051;         // file cannot be written
constexpr int TypeMismatch = 13;       // a value read as a kind it does not hold
} // namespace err

class Error : public std::runtime_error {
public:
    Error(int number, std::string description)
        : std::runtime_error(description), m_number(number), m_description(std::move(description)) {}
    int number() const { return m_number; }
    const std::string& description() const { return m_description; }

private:
    int m_number;
    std::string m_description;
};

} // namespace db
