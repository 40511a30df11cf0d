// The registry of open files and their libraries (see file_registry.h).
#include "db/sqlite/file_registry.h"
#include "db/error.h"
#include <fstream>
#include <map>

namespace db::sqlite {

namespace {

std::mutex g_filesMutex;
std::map<FileId, OpenFile> g_files;

} // namespace

std::unique_lock<std::mutex> lockFileRegistry() {
    return std::unique_lock(g_filesMutex);
}

const OpenFile* findOpenFile(FileId id) {
    const auto it = g_files.find(id);
    return it == g_files.end() ? nullptr : &it->second;
}

FileClaim::FileClaim(FileId id, const Api& api, const FileClass& fileClass) : m_id(id) {
    OpenFile& f = g_files[id];
    if (f.users++ == 0) {
        f.api = &api;
        f.fileClass = fileClass;
    }
}

FileClaim::~FileClaim() {
    std::lock_guard lock(g_filesMutex);
    if (auto it = g_files.find(m_id); it != g_files.end() && --it->second.users == 0)
        g_files.erase(it);
}

std::string readHead(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error(err::ReadOnly, "The database file '" + path + "' cannot be read (no permission).");
    std::string head(kFileHeadBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

} // namespace db::sqlite
