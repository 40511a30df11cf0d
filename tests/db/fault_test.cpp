// Faults of the file itself, injected through the test VFS in both SQLite libraries: each is reported
// naming the file, leaves the connection usable, and the layer's transaction state follows SQLite's.
#include "db/internal.h"
#include "db/recordset.h"
#include "db/testing/fault_vfs.h"
#include "tests/support/test_support.h"

namespace {

using db::testing::Faults;
using db::testing::FaultVfs;
using db::testing::LockLevel;
using testsupport::errorOf;
using Rows = std::vector<std::string>;

struct FaultCase {
    const char* name;
    Faults faults;
    int number;
    const char* words;
};

struct Library {
    const char* name;
    const char* password; // a password makes the file encrypted, so SQLCipher reads it
};

const FaultCase kFaults[] = {
    {"DiskFull", Faults{0, LockLevel::None, false, false}, db::err::DiskFull, "the disk is full"},
    {"LockedByAnother", Faults{-1, LockLevel::Reserved, false, false}, db::err::FileLocked, "in use by another"},
    {"SyncFails", Faults{-1, LockLevel::None, true, false}, db::err::EngineError, "disk reported an error"},
    {"ReadOnly", Faults{-1, LockLevel::None, false, true}, db::err::ReadOnly, "read-only"},
};
const Library kLibraries[] = {{"Plain", ""}, {"Encrypted", "pw"}};

class FaultTest : public testsupport::TempDirTest,
                  public ::testing::WithParamInterface<std::tuple<FaultCase, Library>> {};

TEST_P(FaultTest, ReportedNamingTheFileAndTheConnectionCarriesOn) {
    const auto& [fault, library] = GetParam();
    const std::string path = makeDb("f.mdb", "CREATE TABLE t (a); INSERT INTO t VALUES (1), (2);", library.password);
    FaultVfs vfs;
    ASSERT_EQ(vfs.libraries(), 2) << "registered in SQLCipher and in the system's SQLite";
    vfs.set(fault.faults); // read-only applies to files opened from now on
    auto c = testsupport::openConnection(path, library.password);
    const db::Error e = errorOf([&] { c.Execute("SELECT * INTO [copy] FROM [t]"); });
    EXPECT_EQ(e.number(), fault.number) << e.description();
    EXPECT_NE(e.description().find(fault.words), std::string::npos) << e.description();
    EXPECT_NE(e.description().find(path), std::string::npos) << e.description();

    vfs.set({});
    EXPECT_EQ(testsupport::joinedRows(c, "SELECT * FROM [t]", db::adOpenStatic), (Rows{"1", "2"}));
    if (!fault.faults.readOnly) {
        c.Execute("SELECT * INTO [copy] FROM [t]");
        EXPECT_EQ(testsupport::joinedRows(c, "SELECT * FROM [copy]", db::adOpenStatic), (Rows{"1", "2"}));
    }
    EXPECT_NO_THROW(c.Close());
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest,
                         ::testing::Combine(::testing::ValuesIn(kFaults), ::testing::ValuesIn(kLibraries)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).name) + std::get<1>(test.param).name;
                         });

// A full disk in the middle of a batch of deletes: SQLite rolls the batch back by itself. The layer must
// see that, so later deletes open a batch of their own and the final commit finds it.
class BatchTest : public testsupport::TempDirTest, public ::testing::WithParamInterface<Library> {};

TEST_P(BatchTest, AfterAFullDiskTheBatchStateFollowsSqlite) {
    const std::string path = makeDb("b.mdb",
                                    "CREATE TABLE t (id INTEGER PRIMARY KEY, pad TEXT);"
                                    "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 2000)"
                                    "INSERT INTO t SELECT i, printf('%0300d', i) FROM k;",
                                    GetParam().password);
    FaultVfs vfs;
    auto c = testsupport::openConnection(path, GetParam().password);
    c.Execute("DELETE FROM [t] WHERE [id] = 1");
    vfs.set(Faults{0, LockLevel::None, false, false});
    const db::Error e = errorOf([&] { c.Execute("DELETE FROM [t] WHERE [id] = 2000"); }); // another page
    EXPECT_EQ(e.number(), db::err::DiskFull) << e.description();
    EXPECT_NE(e.description().find("were undone"), std::string::npos) << e.description();
    vfs.set({});
    c.Execute("DELETE FROM [t] WHERE [id] = 3");
    EXPECT_NO_THROW(c.Close());

    auto after = testsupport::openConnection(path, GetParam().password);
    EXPECT_EQ(testsupport::joinedRows(after, "SELECT [id] FROM [t] WHERE [id] = 1", db::adOpenStatic), Rows{"1"})
        << "the lost batch is undone";
    EXPECT_TRUE(testsupport::joinedRows(after, "SELECT [id] FROM [t] WHERE [id] = 3", db::adOpenStatic).empty())
        << "the later delete is kept";
}

INSTANTIATE_TEST_SUITE_P(Libraries, BatchTest, ::testing::ValuesIn(kLibraries),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
