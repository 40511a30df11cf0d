#include "db/testing/fault_vfs.h"
#include "db/sqlite/sqlite_api.h"
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace db::testing {

namespace {

constexpr const char* kVfsName = "rowsifter-fault";

std::mutex g_mutex;
Faults g_faults;
std::int64_t g_written = 0;
bool g_active = false;

Faults currentFaults() {
    std::lock_guard lock(g_mutex);
    return g_active ? g_faults : Faults{};
}

// Our file: SQLite's view of it, then the default VFS's own file object right behind it.
struct FaultFile {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* real(sqlite3_file* f) {
    return reinterpret_cast<FaultFile*>(f)->real;
}

int xClose(sqlite3_file* f) {
    sqlite3_file* r = real(f);
    return r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
}
int xRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
    return real(f)->pMethods->xRead(real(f), buffer, amount, offset);
}
int xWrite(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
    {
        std::lock_guard lock(g_mutex);
        if (g_active && g_faults.writeLimit >= 0 && g_written + amount > g_faults.writeLimit)
            return SQLITE_FULL;
        g_written += amount;
    }
    return real(f)->pMethods->xWrite(real(f), buffer, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return real(f)->pMethods->xTruncate(real(f), size);
}
int xSync(sqlite3_file* f, int flags) {
    if (currentFaults().syncFails)
        return SQLITE_IOERR_FSYNC;
    return real(f)->pMethods->xSync(real(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return real(f)->pMethods->xFileSize(real(f), size);
}
int xLock(sqlite3_file* f, int level) {
    const LockLevel busy = currentFaults().busyFromLock;
    if (busy != LockLevel::None && level >= static_cast<int>(busy))
        return SQLITE_BUSY;
    return real(f)->pMethods->xLock(real(f), level);
}
int xUnlock(sqlite3_file* f, int level) {
    return real(f)->pMethods->xUnlock(real(f), level);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return real(f)->pMethods->xCheckReservedLock(real(f), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    return real(f)->pMethods->xFileControl(real(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return real(f)->pMethods->xSectorSize(real(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return real(f)->pMethods->xDeviceCharacteristics(real(f));
}
int xShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out) {
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, out);
}
int xShmLock(sqlite3_file* f, int offset, int n, int flags) {
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void xShmBarrier(sqlite3_file* f) {
    real(f)->pMethods->xShmBarrier(real(f));
}
int xShmUnmap(sqlite3_file* f, int deleteFlag) {
    return real(f)->pMethods->xShmUnmap(real(f), deleteFlag);
}
int xFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
    return real(f)->pMethods->xFetch(real(f), offset, amount, out);
}
int xUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
    return real(f)->pMethods->xUnfetch(real(f), offset, page);
}

// Version 3 methods, for files whose own methods are version 3 (the unix VFS's are); the version 1
// subset for any other, so SQLite never calls past what the real file offers.
const sqlite3_io_methods kMethods[] = {
    {1, xClose, xRead, xWrite, xTruncate, xSync, xFileSize, xLock, xUnlock, xCheckReservedLock, xFileControl,
     xSectorSize, xDeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {3, xClose, xRead, xWrite, xTruncate, xSync, xFileSize, xLock, xUnlock, xCheckReservedLock, xFileControl,
     xSectorSize, xDeviceCharacteristics, xShmMap, xShmLock, xShmBarrier, xShmUnmap, xFetch, xUnfetch},
};

sqlite3_vfs* below(sqlite3_vfs* vfs) {
    return static_cast<sqlite3_vfs*>(vfs->pAppData);
}

int xOpen(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* ours = reinterpret_cast<FaultFile*>(file);
    ours->base.pMethods = nullptr;
    ours->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + sizeof(FaultFile));
    ours->real->pMethods = nullptr;
    if (currentFaults().readOnly && (flags & SQLITE_OPEN_MAIN_DB))
        flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
    const int rc = below(vfs)->xOpen(below(vfs), name, ours->real, flags, outFlags);
    if (ours->real->pMethods)
        ours->base.pMethods = &kMethods[ours->real->pMethods->iVersion >= 3 ? 1 : 0];
    return rc;
}
int xDelete(sqlite3_vfs* vfs, const char* name, int syncDir) {
    return below(vfs)->xDelete(below(vfs), name, syncDir);
}
int xAccess(sqlite3_vfs* vfs, const char* name, int flags, int* out) {
    return below(vfs)->xAccess(below(vfs), name, flags, out);
}
int xFullPathname(sqlite3_vfs* vfs, const char* name, int size, char* out) {
    return below(vfs)->xFullPathname(below(vfs), name, size, out);
}
int xRandomness(sqlite3_vfs* vfs, int size, char* out) {
    return below(vfs)->xRandomness(below(vfs), size, out);
}
int xSleep(sqlite3_vfs* vfs, int microseconds) {
    return below(vfs)->xSleep(below(vfs), microseconds);
}
int xCurrentTime(sqlite3_vfs* vfs, double* out) {
    return below(vfs)->xCurrentTime(below(vfs), out);
}
int xGetLastError(sqlite3_vfs* vfs, int size, char* out) {
    return below(vfs)->xGetLastError(below(vfs), size, out);
}
int xCurrentTimeInt64(sqlite3_vfs* vfs, sqlite3_int64* out) {
    return below(vfs)->xCurrentTimeInt64(below(vfs), out);
}

// One fault VFS per library, made once over that library's default VFS and kept for the process's life:
// a connection opened through it may outlive every FaultVfs object.
sqlite3_vfs* faultVfsOf(const sqlite::Api& api) {
    struct Made {
        const sqlite::Api* api = nullptr;
        sqlite3_vfs vfs{};
    };
    static Made made[2]; // SQLCipher and the system's SQLite
    for (Made& m : made)
        if (m.api == &api)
            return &m.vfs;
    for (Made& m : made) {
        if (m.api)
            continue;
        sqlite3_vfs* base = api.vfsFind(nullptr);
        if (!base)
            throw std::runtime_error("the SQLite library has no default VFS");
        sqlite3_vfs& vfs = m.vfs;
        vfs = *base; // keeps the dynamic-library entries
        vfs.iVersion = base->iVersion < 2 ? base->iVersion : 2;
        vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + base->szOsFile;
        vfs.pNext = nullptr;
        vfs.zName = kVfsName;
        vfs.pAppData = base;
        vfs.xOpen = xOpen;
        vfs.xDelete = xDelete;
        vfs.xAccess = xAccess;
        vfs.xFullPathname = xFullPathname;
        vfs.xRandomness = xRandomness;
        vfs.xSleep = xSleep;
        vfs.xCurrentTime = xCurrentTime;
        vfs.xGetLastError = xGetLastError;
        vfs.xCurrentTimeInt64 = base->iVersion >= 2 ? xCurrentTimeInt64 : nullptr;
        m.api = &api;
        return &vfs;
    }
    throw std::logic_error("more SQLite libraries than the fault VFS knows");
}

std::vector<const sqlite::Api*> everyLibrary() {
    std::vector<const sqlite::Api*> out{&sqlite::cipherLibrary()};
    if (const sqlite::Api* system = sqlite::loadedSystemLibrary())
        out.push_back(system);
    return out;
}

} // namespace

FaultVfs::FaultVfs(const Faults& faults) {
    {
        std::lock_guard lock(g_mutex);
        if (g_active)
            throw std::logic_error("only one FaultVfs at a time");
        g_active = true;
        g_faults = faults;
        g_written = 0;
    }
    for (const sqlite::Api* api : everyLibrary()) {
        api->vfsRegister(faultVfsOf(*api), 1);
        ++m_libraries;
    }
}

FaultVfs::~FaultVfs() {
    for (const sqlite::Api* api : everyLibrary())
        api->vfsUnregister(faultVfsOf(*api));
    std::lock_guard lock(g_mutex);
    g_active = false;
    g_faults = Faults{};
}

void FaultVfs::set(const Faults& faults) {
    std::lock_guard lock(g_mutex);
    g_faults = faults;
    g_written = 0;
}

std::int64_t FaultVfs::bytesWritten() const {
    std::lock_guard lock(g_mutex);
    return g_written;
}

} // namespace db::testing
