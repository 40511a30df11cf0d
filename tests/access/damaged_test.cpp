// Damaged Access files, as recipes applied at run time to copies of the real files: which file, then
// bytes written at an offset or the length it is cut to. Each is copied with rowsifter-cli --sqlite-copy
// --json, as a user would, under a short progress deadline: the copy must be refused with a message naming
// the file (and what was found), or be whole; standard output holds exactly one JSON object; nothing is
// left under the copy's name or hidden beside it.
#include "access/sqlite_copy.h"
#include "access_test_support.h"
#include "db/recordset.h"
#include <algorithm>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace {

using namespace accesstest;

struct Recipe {
    const char* kind; // what libmdb, or the reader before it knew better, made of it
    const char* file;
    std::vector<std::pair<long long, std::string>> writes; // bytes written at an offset
    long long cut = -1;                                    // the length the file is cut to
    const char* outcome;                                   // words of the refusal; nullptr: the copy must be whole
    // The helper's limits: a short deadline, unless the recipe is about memory.
    const char* limits = "ROWSIFTER_ACCESS_DEADLINE=3 ROWSIFTER_ACCESS_MEMORY_MB=768";
    bool needsMemoryLimit = false; // only the helper's address-space limit ends it
    bool crashes = false;          // libmdb crashes on it
};

// A build with the address sanitizer runs the helper without its address-space limit (the sanitizer's
// shadow memory needs the space), so a recipe that only that limit ends cannot run there; and the
// sanitizer turns a crash into a plain failing exit, which the refusal calls damage all the same.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryLimited = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryLimited = false;
#else
constexpr bool kMemoryLimited = true;
#endif
#else
constexpr bool kMemoryLimited = true;
#endif

std::string zeros(std::size_t n) {
    return std::string(n, '\0');
}

std::string hexBytes(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

constexpr long long kJet3Page = 2048; // nwind.mdb; the other two files have pages of 4096 bytes

const Recipe kRecipes[] = {
    {"a hang printing warnings without end",
     "nwind.mdb",
     {{736 * kJet3Page, zeros(kJet3Page)}},
     -1,
     "made no progress"},
    {"a hang on a file cut at a page boundary", "nwind.mdb", {}, 736 * kJet3Page, "made no progress"},
    {"a hang in another file", "ASampleDatabase.accdb", {{107 * 4096, zeros(4096)}}, -1, "made no progress"},
    {"memory growth without end, silently: a catalogue row's long value misplaced",
     "DateTestDatabase.mdb",
     {{71262, hexBytes("6464")}},
     -1,
     "needed more than 128 MB of memory",
     "ROWSIFTER_ACCESS_DEADLINE=60 ROWSIFTER_ACCESS_MEMORY_MB=128",
     true},
    {"a crash inside libmdb: the catalogue's definition names a usage map out of the file",
     "DateTestDatabase.mdb",
     {{8247, hexBytes("b93e")}},
     -1,
     "reading it failed",
     "ROWSIFTER_ACCESS_DEADLINE=3 ROWSIFTER_ACCESS_MEMORY_MB=768",
     false,
     true},
    {"0 tables: the catalogue's pages are cut off", "nwind.mdb", {}, 12288, "list of tables cannot be read whole"},
    {"0 tables: the catalogue's pages are cut off",
     "DateTestDatabase.mdb",
     {},
     24576,
     "list of tables cannot be read whole"},
    {"missing tables: the catalogue's page with its own row, and another, zeroed",
     "nwind.mdb",
     {{18 * kJet3Page, zeros(kJet3Page)}, {713 * kJet3Page, zeros(kJet3Page)}},
     -1,
     "list of tables cannot be read whole"},
    {"a missing table: the catalogue row of Categories reads as Nulls",
     "nwind.mdb",
     {{1461726, hexBytes("14")}},
     -1,
     "an entry of its list of tables cannot be read"},
    {"empty names: the catalogue's definition misplaces its name column",
     "nwind.mdb",
     {{4118, hexBytes("ff00")}},
     -1,
     "a table in its list has no name"},
    {"an extra row: a data page claims one row more",
     "ASampleDatabase.accdb",
     {{180236, hexBytes("1f00")}},
     -1,
     "hold more rows than the 65 it records"},
    {"a hex dump on standard output",
     "nwind.mdb",
     {{1484800, hexBytes("ead7424d09e15d024c5848f23d1fa6f7361d7f618d1532e70e20e2a6668de7f47e8467e546d53ec8e2a1257bdb2"
                         "56c9b3e4fbb498146ef7030cbf9537252dcce")}},
     -1,
     nullptr},
};

// rowsifter-cli, which the build lays beside this test.
std::string cliPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "rowsifter-cli").string();
}

class DamagedFileTest : public testsupport::TempDirTest {
protected:
    // Table and row counts of a copy.
    static std::map<std::string, long long> counts(const std::string& copy) {
        std::map<std::string, long long> out;
        const db::Connection connection = testsupport::openConnection(copy);
        for (const std::string& table : testsupport::tableNames(copy)) {
            db::Recordset rs;
            rs.Open("SELECT * FROM [" + table + "]", connection, db::adOpenStatic, db::adLockReadOnly);
            out[table] = rs.RecordCount();
        }
        return out;
    }
};

TEST_F(DamagedFileTest, EachRecipeIsRefusedOrCopiedWholeAndLeavesNothing) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    std::map<std::string, std::map<std::string, long long>> whole;
    for (const Recipe& r : kRecipes) {
        SCOPED_TRACE(std::string(r.file) + ": " + r.kind);
        if (r.needsMemoryLimit && !kMemoryLimited)
            continue;
        const std::filesystem::path work = folder() / "work";
        std::filesystem::create_directory(work);
        std::string bytes = readAll((data / r.file).string());
        if (r.cut >= 0)
            bytes.resize(static_cast<std::size_t>(r.cut));
        for (const auto& [offset, written] : r.writes)
            bytes.replace(static_cast<std::size_t>(offset), written.size(), written);
        const std::string damaged = (work / ("damaged" + std::filesystem::path(r.file).extension().string())).string();
        writeAll(damaged, bytes);
        const std::string copy = (work / "copy.sqlite").string();

        const std::string out = output(std::string(r.limits) + " " + shellQuoted(cliPath()) + " -q --json -d " +
                                       shellQuoted(damaged) + " --sqlite-copy " + shellQuoted(copy) + " 2>/dev/null");
        ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out.substr(0, 2000);
        ASSERT_EQ(out.front(), '{') << out.substr(0, 2000);
        if (r.outcome) {
            EXPECT_NE(out.find("\"ok\": false"), std::string::npos) << out;
            EXPECT_NE(out.find("'" + damaged + "'"), std::string::npos) << out;
            EXPECT_NE(out.find(r.crashes && !kMemoryLimited ? "is damaged" : r.outcome), std::string::npos) << out;
            std::filesystem::remove(damaged);
            EXPECT_TRUE(std::filesystem::is_empty(work))
                << "left: " << std::filesystem::directory_iterator(work)->path();
        } else {
            ASSERT_NE(out.find("\"ok\": true"), std::string::npos) << out;
            if (!whole.count(r.file)) {
                const std::string reference = file(std::string(r.file) + ".sqlite");
                accessdb::copyAccessToSqlite((data / r.file).string(), reference);
                whole[r.file] = counts(reference);
            }
            EXPECT_EQ(counts(copy), whole[r.file]);
        }
        std::filesystem::remove_all(work);
    }
}

} // namespace
