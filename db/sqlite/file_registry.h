#pragma once
// The registry of the files this process has open, and the library that holds each. A file is opened
// through one library at a time: two libraries keep separate lock tables and would not see each other's
// locks. And a file's first bytes are read only while the process holds no connection to it: closing any
// descriptor of a file drops every POSIX lock the process holds on it.
#include "db/sqlite/file_kind.h"
#include "db/sqlite/sqlite_api.h"
#include <mutex>
#include <string>
#include <sys/types.h>
#include <utility>

namespace db::sqlite {

using FileId = std::pair<dev_t, ino_t>;

struct OpenFile {
    const Api* api = nullptr;
    FileClass fileClass;
    int users = 0;
};

// Held while a file is looked up and claimed, so that two opens of one file agree on its library.
std::unique_lock<std::mutex> lockFileRegistry();

// The entry of a file this process has open; null when it has none. Call with the registry locked.
const OpenFile* findOpenFile(FileId id);

// One connection's hold on a file's entry; the entry goes with the last hold.
class FileClaim {
public:
    // Call with the registry locked.
    FileClaim(FileId id, const Api& api, const FileClass& fileClass);
    ~FileClaim();
    FileClaim(const FileClaim&) = delete;
    FileClaim& operator=(const FileClaim&) = delete;

private:
    FileId m_id;
};

// The file's first bytes, as many as classifyFile wants; throws db::Error when it cannot be read.
std::string readHead(const std::string& path);

} // namespace db::sqlite
