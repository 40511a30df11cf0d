#pragma once
// Names the program keeps for itself in a user's database.
namespace db {

// Tables whose names begin so are the program's own: never listed, never the user's to write.
inline constexpr const char* kInternalTablePrefix = "rowsifter_internal_";

} // namespace db
