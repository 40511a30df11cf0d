// Opening a file: each kind of file is recognised by its content and each failure says what is wrong.
#include "db_test_support.h"
#include <chrono>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

using dbtest::errorOf;

class OpenTest : public dbtest::TempDir {
protected:
    std::string writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(file(name), std::ios::binary) << bytes;
        return file(name);
    }
    static std::string readAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void expectFailure(const std::string& path, const std::string& password, int number,
                              const std::string& words) {
        const db::Error e = errorOf([&] { open(path, password); });
        EXPECT_EQ(e.number(), number) << e.description();
        EXPECT_NE(e.description().find(words), std::string::npos) << e.description();
        EXPECT_NE(e.description().find(path), std::string::npos) << "the message names the file: " << e.description();
    }
};

TEST_F(OpenTest, EachUnusableFileGetsItsOwnMessage) {
    expectFailure(file("missing.mdb"), "", db::err::FileNotFound, "does not exist");
    expectFailure(folder().string(), "", db::err::NotADatabase, "is a folder");
    // An empty file is an empty database now, as sqlite3 treats it (file_kind_test.cpp).
    expectFailure(writeFile("notes.mdb", "These are my notes, not a database.\n"), "", db::err::NotADatabase,
                  "not a database");
    // A damaged file that still carries the SQLite header.
    expectFailure(writeFile("damaged.mdb", std::string("SQLite format 3\0", 16) + std::string(2048, 'x')), "",
                  db::err::NotADatabase, "not a database");
}

TEST_F(OpenTest, RealAccessFilesAreRefusedAndLeftUntouched) {
    const std::string folder = ROWSIFTER_ACCESS_TESTDATA;
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << "no Access test files at " << folder;
    for (const char* name : {"nwind.mdb", "DateTestDatabase.mdb", "ASampleDatabase.accdb"}) {
        const std::string path = folder + "/" + name;
        if (!std::filesystem::exists(path))
            continue;
        const std::string before = readAll(path);
        const auto mtime = std::filesystem::last_write_time(path);
        for (const char* password : {"", "secret"})
            expectFailure(path, password, db::err::AccessFile, "Microsoft Access");
        const db::Error e = errorOf([&] { open(path); });
        EXPECT_NE(e.description().find("SQLite"), std::string::npos) << "says what to convert it to";
        EXPECT_EQ(readAll(path), before) << name;
        EXPECT_EQ(std::filesystem::last_write_time(path), mtime) << name;
    }
}

TEST_F(OpenTest, AnAccessHeaderIsRecognisedWhateverTheName) {
    std::string header(2048, '\0');
    header.replace(4, 15, "Standard ACE DB");
    const std::string path = writeFile("renamed.db", header);
    expectFailure(path, "", db::err::AccessFile, "Microsoft Access");
    EXPECT_EQ(readAll(path), header);
}

TEST_F(OpenTest, PlainFileOpensWithOrWithoutAPassword) {
    const std::string path = makeDb("plain.mdb", "CREATE TABLE t(a); INSERT INTO t VALUES (1);");
    for (const char* password : {"", "any password"}) {
        auto c = open(path, password);
        EXPECT_EQ(rows(c, "SELECT * FROM [t];"), std::vector<std::string>{"1"});
    }
    // The extension plays no part: an .accdb name reaches the same engine.
    const std::string other = makeDb("plain.accdb", "CREATE TABLE t(a);");
    EXPECT_NO_THROW(open(other));
}

TEST_F(OpenTest, EncryptedFileNeedsItsPassword) {
    const std::string path = makeDb("locked.mdb", "CREATE TABLE t(a); INSERT INTO t VALUES ('hidden');", "Tr0ub4dor&3");
    EXPECT_EQ(readAll(path).find("hidden"), std::string::npos) << "the content is encrypted on disk";
    expectFailure(path, "", db::err::WrongPassword, "protected by a password");
    expectFailure(path, "wrong", db::err::WrongPassword, "Not a valid password");
    auto c = open(path, "Tr0ub4dor&3");
    EXPECT_EQ(rows(c, "SELECT * FROM [t];"), std::vector<std::string>{"hidden"});
    // A password holding ';' survives the connection string.
    const std::string semi = makeDb("semi.mdb", "CREATE TABLE t(a);", "a;Data Source=/etc/passwd");
    EXPECT_NO_THROW(open(semi, "a;Data Source=/etc/passwd"));
}

// Every open meets the file's own key: a second open of the same file, a file of another salt with the same
// password, and a password that is itself a raw key.
TEST_F(OpenTest, EachOpenOfAnEncryptedFileMeetsItsOwnKey) {
    const std::string raw = "x'" + std::string(64, 'A') + "'";
    for (const auto& [name, password] : {std::pair<std::string, std::string>{"one.db", "shared"},
                                         {"two.db", "shared"}, {"raw.db", raw}}) {
        const std::string path = makeDb(name, "CREATE TABLE t(a); INSERT INTO t VALUES ('" + name + "');", password);
        for (int round = 0; round < 2; ++round) {
            auto c = open(path, password);
            EXPECT_EQ(rows(c, "SELECT * FROM [t];"), std::vector<std::string>{name}) << name << ", open " << round;
        }
        expectFailure(path, password + "0", db::err::WrongPassword, "Not a valid password");
    }
}

// A second open of an encrypted file reads its salt without dropping the locks this process holds on it
// (closing any descriptor of a file would): another process still finds the first connection's write.
TEST_F(OpenTest, OpeningAFileAgainKeepsTheLocksHeldOnIt) {
    const std::string path = makeDb("held.db", "CREATE TABLE t(a); INSERT INTO t VALUES (1);", "pw");
    auto writer = open(path, "pw");
    writer.BeginTrans();
    writer.Execute("UPDATE [t] SET [a] = 2 WHERE [a] = 1;");
    auto reader = open(path, "pw");
    const pid_t child = ::fork();
    if (child == 0) {
        // SQLite's reserved-lock byte: locked while a connection holds a write transaction.
        struct flock probe {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        probe.l_start = 0x40000001;
        probe.l_len = 1;
        const int fd = ::open(path.c_str(), O_RDONLY);
        _exit(fd >= 0 && ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write lock was lost";
}

TEST_F(OpenTest, LockedFileFailsAfterABoundedWait) {
    const std::string path = makeDb("busy.mdb", "CREATE TABLE t(a);");
    auto lock = db::internal::holdExclusiveLock(path, "");
    const auto start = std::chrono::steady_clock::now();
    expectFailure(path, "", db::err::FileLocked, "in use by another program");
    std::cout << "locked-file open gave up after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()
              << " ms\n";
    lock.reset();
    EXPECT_NO_THROW(open(path));
}

TEST_F(OpenTest, ProviderMustBeOneOfTheTwo) {
    const std::string path = makeDb("p.mdb", "CREATE TABLE t(a);");
    for (const std::string& cs : {"Provider=SQLOLEDB;Data Source=" + path, "Data Source=" + path,
                                  "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + path}) {
        db::Connection c;
        const db::Error e = errorOf([&] { c.Open(cs); });
        EXPECT_EQ(e.number(), db::err::ProviderNotFound);
        EXPECT_EQ(e.description(), "Provider cannot be found. It may not be properly installed.");
        EXPECT_FALSE(c.isOpen());
    }
    db::Connection c;
    EXPECT_NO_THROW(c.Open(" provider = microsoft.ace.oledb.12.0 ;DATA SOURCE=" + path));
}

TEST_F(OpenTest, ProviderProbeCanBeMadeToFail) {
    EXPECT_NO_THROW(db::probeProvider());
    db::forceProviderFailureForTesting(true);
    const db::Error e = errorOf([] { db::probeProvider(); });
    db::forceProviderFailureForTesting(false);
    EXPECT_EQ(e.number(), 3706);
    EXPECT_NO_THROW(db::probeProvider());
}

TEST_F(OpenTest, ConnectionStateAndProperties) {
    db::Connection c;
    EXPECT_EQ(errorOf([&] { c.Execute("DROP TABLE [t]"); }).number(), db::err::ObjectClosed);
    const std::string path = makeDb("c.mdb", "CREATE TABLE t(a);");
    c.Open(db::BuildConnectionString(path, ""));
    EXPECT_EQ(errorOf([&] { c.Open(db::BuildConnectionString(path, "")); }).number(), db::err::ObjectOpen);
    c.setProperty("Jet OLEDB:Max Locks Per File", db::Value(1000000000));
    EXPECT_EQ(c.property("JET OLEDB:MAX LOCKS PER FILE"), db::Value(1000000000));
    const db::Error unknown = errorOf([&] { c.setProperty("Jet OLEDB:Page Timeout", db::Value(1)); });
    EXPECT_EQ(unknown.number(), db::err::ItemNotFound);
    EXPECT_NE(unknown.description().find("'Jet OLEDB:Page Timeout'"), std::string::npos);
    db::Connection copy = c; // copies refer to the same connection
    c.Close();
    EXPECT_FALSE(copy.isOpen());
    EXPECT_EQ(errorOf([&] { copy.Execute("DROP TABLE [t]"); }).number(), db::err::ObjectClosed);
}

} // namespace
