#pragma once
// Tests only: a SQLite VFS over the default one that fails on demand, deterministically, as a full disk,
// a lock held by another program, a failing disk or a read-only file would. The program never links it.
#include <cstdint>

namespace db::testing {

// SQLite's lock levels, for Faults::busyFromLock.
enum class LockLevel : int { None = 0, Shared = 1, Reserved = 2, Pending = 3, Exclusive = 4 };

struct Faults {
    // Writes fail with SQLITE_FULL once the files would hold more than this many newly written bytes
    // (counted over every file from the moment the faults are set); negative: no limit.
    std::int64_t writeLimit = -1;
    // Taking a lock of this level or higher answers SQLITE_BUSY, as when another program holds the file.
    LockLevel busyFromLock = LockLevel::None;
    // Syncing a file to the disk fails with an I/O error.
    bool syncFails = false;
    // Database files opened from now on are opened read-only, as a file the user may not write.
    bool readOnly = false;
};

// While an object lives, the fault VFS is the default VFS of every SQLite library the program uses (the
// linked SQLCipher and the system's SQLite), so connections opened meanwhile go through it. Without
// faults it only passes calls on. Connections outlive the object safely: the VFS stays, without faults.
// One object at a time.
class FaultVfs {
public:
    explicit FaultVfs(const Faults& faults = {});
    ~FaultVfs();
    FaultVfs(const FaultVfs&) = delete;
    FaultVfs& operator=(const FaultVfs&) = delete;

    // New faults from now on; the count of written bytes starts again.
    void set(const Faults& faults);
    // Bytes written through the VFS since the faults were last set.
    std::int64_t bytesWritten() const;
    // How many libraries the VFS is registered in (2 when the system's SQLite could be loaded).
    int libraries() const { return m_libraries; }

private:
    int m_libraries = 0;
};

} // namespace db::testing
