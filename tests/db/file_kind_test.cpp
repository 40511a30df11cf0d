// What a file is: files of other kinds are named for what they are, only files that may really be
// encrypted get the password messages, and an empty file is an empty database.
#include "db/recordset.h"
#include "tests/support/test_support.h"
#include <fstream>
#include <iterator>
#include <random>

namespace {

using testsupport::errorOf;

std::string randomBytes(std::size_t n, unsigned mask = 0xFF) {
    std::mt19937 random(42);
    std::string out(n, '\0');
    for (char& c : out)
        c = static_cast<char>(random() & mask);
    return out;
}

std::string withBytes(std::string page, std::size_t offset, std::string_view bytes) {
    page.replace(offset, bytes.size(), bytes);
    return page;
}

// The metadata page of a Berkeley DB file: magic number at 12, version at 16, page size at 20, all in
// the writing machine's byte order.
std::string berkeleyDb(std::uint32_t magic, bool bigEndian) {
    auto word = [&](std::uint32_t v) {
        std::string w(4, '\0');
        for (int i = 0; i < 4; ++i)
            w[static_cast<std::size_t>(bigEndian ? 3 - i : i)] = static_cast<char>(v >> (8 * i));
        return w;
    };
    std::string page(4096, '\0');
    page = withBytes(page, 12, word(magic));
    page = withBytes(page, 16, word(9));
    return withBytes(page, 20, word(4096));
}

std::string tarArchive() {
    std::string page(4096, '\0');
    page = withBytes(page, 0, "notes.txt");
    page = withBytes(page, 100, "0000644");
    page = withBytes(page, 124, "00000000013");
    page = withBytes(page, 257,
                     std::string("ustar\0"
                                 "00",
                                 8));
    return withBytes(page, 512, "Some notes.\n");
}

std::string text() {
    std::string out;
    for (int i = 0; out.size() < 4096; ++i)
        out += "Row " + std::to_string(i) + ": Zürich, 12.50 €\n";
    return out.substr(0, 4096);
}

std::string counting() {
    std::string out;
    while (out.size() < 4096)
        out.push_back(static_cast<char>(out.size() % 256));
    return out;
}

struct KindCase {
    const char* name;
    std::string bytes;
    const char* password;
    int number;
    std::vector<std::string> words;
};

void PrintTo(const KindCase& c, std::ostream* os) {
    *os << c.name;
}

class FileKindTest : public testsupport::TempDirTest, public ::testing::WithParamInterface<KindCase> {
protected:
    static std::string readAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST_P(FileKindTest, EachFileGetsTheMessageForWhatItIs) {
    const KindCase& c = GetParam();
    const std::string path = file("file.mdb");
    std::ofstream(path, std::ios::binary) << c.bytes;
    const db::Error e = errorOf([&] { testsupport::openConnection(path, c.password); });
    EXPECT_EQ(e.number(), c.number) << e.description();
    for (const std::string& words : c.words)
        EXPECT_NE(e.description().find(words), std::string::npos) << words << " in: " << e.description();
    EXPECT_NE(e.description().find(path), std::string::npos) << "names the file: " << e.description();
    EXPECT_EQ(readAll(path), c.bytes) << "the file is left as it was";
}

const char* const kCompoundFile = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

INSTANTIATE_TEST_SUITE_P(
    Kinds, FileKindTest,
    ::testing::Values(
        KindCase{"TarArchive", tarArchive(), "", db::err::NotADatabase, {"not a database", "tar archive"}},
        KindCase{"CompoundFile",
                 withBytes(std::string(4096, '\xFF'), 0, kCompoundFile),
                 "secret",
                 db::err::NotADatabase,
                 {"not a database", "compound file", "Thumbs.db"}},
        KindCase{
            "BerkeleyBtreeLittleEndian", berkeleyDb(0x00053162, false), "", db::err::NotADatabase, {"Berkeley DB"}},
        KindCase{"BerkeleyHashBigEndian", berkeleyDb(0x00061561, true), "", db::err::NotADatabase, {"Berkeley DB"}},
        KindCase{"Text", text(), "", db::err::NotADatabase, {"not a database", "text file"}},
        // Compressed content looks random; its signature tells it apart.
        KindCase{"ZipArchive",
                 withBytes(randomBytes(4096), 0, "PK\x03\x04"),
                 "secret",
                 db::err::NotADatabase,
                 {"ZIP archive"}},
        KindCase{"CountingBytes", counting(), "secret", db::err::NotADatabase, {"in no format this program reads"}},
        KindCase{
            "NotWholePages", randomBytes(4000), "secret", db::err::NotADatabase, {"in no format this program reads"}},
        KindCase{"RandomWithoutPassword", randomBytes(4096), "", db::err::WrongPassword, {"protected by a password"}},
        KindCase{"RandomWrongPassword",
                 randomBytes(4096),
                 "secret",
                 db::err::WrongPassword,
                 {"Not a valid password", "newer SQLCipher version"}},
        KindCase{"HalfRandomWithoutPassword",
                 randomBytes(4096, 0x7F),
                 "",
                 db::err::WrongPassword,
                 {"either a database protected by a password or not a database at all"}},
        KindCase{"HalfRandomWrongPassword",
                 randomBytes(4096, 0x7F),
                 "secret",
                 db::err::WrongPassword,
                 {"Not a valid password", "or the file is not a database at all"}}),
    [](const auto& test) { return std::string(test.param.name); });

// As sqlite3 treats it: an empty database, and looking at it writes nothing.
TEST_F(FileKindTest, EmptyFileIsAnEmptyDatabaseLeftUntouched) {
    const std::string path = file("empty.mdb");
    std::ofstream{path};
    const auto earlier = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(path, earlier);
    for (const char* password : {"", "secret"}) {
        EXPECT_EQ(testsupport::tableNames(path, password), std::vector<std::string>{});
        auto c = testsupport::openConnection(path, password);
        db::Recordset schema = c.OpenSchema(db::adSchemaTables);
        EXPECT_EQ(schema.RecordCount(), 1) << "only SQLite's own catalogue";
        c.Close();
    }
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    EXPECT_EQ(std::filesystem::last_write_time(path), earlier);
}

} // namespace
