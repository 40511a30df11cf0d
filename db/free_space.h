#pragma once
// FreeSpace: where a connection keeps its work tables, and the room left there.
#include <string>

namespace db {

struct FreeSpace {
    std::string folder;   // empty: in memory
    long long bytes = -1; // -1: unknown
};

} // namespace db
