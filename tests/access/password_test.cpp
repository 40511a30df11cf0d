// Database passwords, put into copies of the real files the way the file format keeps them.
#include "access/sqlite_copy.h"
#include "access_test_support.h"

namespace {

using namespace accesstest;
using accessdb::PasswordCheck;
using testsupport::errorOf;

class PasswordTest : public testsupport::TempDirTest {
protected:
    // A copy of an unprotected file holding `field` as its password field. That field of an unprotected
    // file reads as zeros once unmasked, so XORing the bytes in stores exactly them.
    std::string protectedCopy(const std::filesystem::path& source, const std::string& field) {
        std::string bytes = readAll(source.string());
        for (std::size_t i = 0; i < field.size(); ++i)
            bytes[0x42 + i] = static_cast<char>(bytes[0x42 + i] ^ field[i]);
        const std::string path = file("protected-" + source.filename().string());
        writeAll(path, bytes);
        return path;
    }
};

TEST_F(PasswordTest, TheTypedPasswordMustMatchBeforeAnythingIsRead) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    struct Case {
        const char* file;
        std::string field; // as stored: code page bytes in Jet 3, UTF-16LE later
        std::string password;
    };
    const Case cases[] = {
        {"nwind.mdb", "K\xE4se-97", "Käse-97"},
        {"DateTestDatabase.mdb", std::string("P\0\xE4\0s\0s\0!\0", 10), "Päss!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(accessdb::checkPassword((data / c.file).string(), "anything"), PasswordCheck::NotProtected);
        const std::string path = protectedCopy(data / c.file, c.field);
        EXPECT_EQ(accessdb::checkPassword(path, c.password), PasswordCheck::Matches);
        for (const std::string& wrong : {std::string(), std::string("käse-97"), c.password + "x", c.password.substr(1)})
            EXPECT_EQ(accessdb::checkPassword(path, wrong), PasswordCheck::Wrong) << wrong;

        // libmdb itself ignores the password: a wrong one has to stop the copy before it reads anything.
        const std::string target = file("copy.db");
        EXPECT_EQ(errorOf([&] { accessdb::copyAccessToSqlite(path, target, {}, "wrong"); }).number(),
                  db::err::WrongPassword);
        EXPECT_EQ(errorOf([&] { accessdb::Reader(path, ""); }).number(), db::err::WrongPassword);
        EXPECT_FALSE(std::filesystem::exists(target));

        // The right one gives a copy encrypted with the same password.
        accessdb::copyAccessToSqlite(path, target, {}, c.password);
        EXPECT_EQ(errorOf([&] { testsupport::openConnection(target); }).number(), db::err::WrongPassword);
        EXPECT_EQ(testsupport::tableNames(target, c.password), accessdb::Reader(path, c.password).tableNames());
        std::filesystem::remove(target);
    }
}

TEST_F(PasswordTest, AceProtectionIsRefusedAndAnUnprotectedFileIgnoresAPassword) {
    ROWSIFTER_REQUIRE_ACCESS_DATA(data);
    const std::string ace = (data / "ASampleDatabase.accdb").string();
    const std::string path = protectedCopy(ace, std::string("s\0e\0c\0r\0e\0t\0", 12));
    EXPECT_EQ(accessdb::checkPassword(path, "secret"), PasswordCheck::CannotCheck);
    const db::Error e = errorOf([&] { accessdb::Reader(path, "secret"); });
    EXPECT_NE(e.description().find("cannot check"), std::string::npos) << e.description();

    const std::string target = file("plain.db");
    accessdb::copyAccessToSqlite(ace, target, {}, "typed anyway");
    EXPECT_EQ(testsupport::tableNames(target), std::vector<std::string>{"Asset Items"});
}

} // namespace
