#pragma once
// What a file is, judged from its first bytes: an SQLite database, an Access file, a file of some other
// known kind, or one whose first page looks as random as an encrypted database's does.
#include <cstdint>
#include <string>
#include <string_view>

namespace db {

enum class FileKind {
    Empty,          // no bytes at all: SQLite reads it as an empty database
    Sqlite,         // the plain SQLite header
    Access,         // a real Access file
    Other,          // a known non-database format; `what` names it
    NoFormat,       // plainly not an encrypted database either (structured content, or not whole pages)
    MaybeEncrypted, // neither plainly structured nor random: an encrypted database or something else
    LooksEncrypted, // the first page looks random, as an encrypted database's does
};

struct FileClass {
    FileKind kind = FileKind::NoFormat;
    std::string what;                // for Other: "a tar archive", ...
    std::uint32_t writerVersion = 0; // for Sqlite: the SQLite version that last wrote the file (3040001)
};

// How many leading bytes classifyFile wants to see.
inline constexpr std::size_t kFileHeadBytes = 4096;

// `head` is the file's first bytes (up to kFileHeadBytes), `size` its whole size.
FileClass classifyFile(std::string_view head, std::uint64_t size);

// 3040001 -> "3.40.1".
std::string sqliteVersionText(std::uint32_t versionNumber);

} // namespace db
