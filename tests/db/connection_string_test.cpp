#include "db/connection_string.h"
#include "db/error.h"
#include <gtest/gtest.h>

namespace {

struct BuildCase {
    const char* path;
    const char* password;
    const char* expected;
};

TEST(BuildConnectionString, FollowsTheTemplateOfEachProvider) {
    const BuildCase cases[] = {
        // .ACCDB in capitals, empty password: the string ends in "Password=".
        {"C:\\data\\Shop.ACCDB", "",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=C:\\data\\Shop.ACCDB;JET OLEDB:Database Password="},
        {"/home/u/shop.accdb", "s3cret",
         "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/home/u/shop.accdb;JET OLEDB:Database Password=s3cret"},
        {"/home/u/shop.mdb", "pass word",
         "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/home/u/shop.mdb;JET OLEDB:Database Password=pass word"},
        // Fewer than five characters: the whole path is compared, and "ccdb" is not "accdb".
        {"ccdb", "", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=ccdb;JET OLEDB:Database Password="},
        {"accdb", "", "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=accdb;JET OLEDB:Database Password="},
        // A trailing blank or another extension selects Jet.
        {"x.ACCDB ", "", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=x.ACCDB ;JET OLEDB:Database Password="},
        {"shop", "", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=shop;JET OLEDB:Database Password="},
        {"shop.db", "p=q", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=shop.db;JET OLEDB:Database Password=p=q"},
        // Only values that would end their clause early or lose a leading character are quoted.
        {"/tmp/a;b.mdb", "x",
         "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=\"/tmp/a;b.mdb\";JET OLEDB:Database Password=x"},
        {"a.mdb", "pw;Data Source=/etc/other",
         "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;JET OLEDB:Database Password=\"pw;Data "
         "Source=/etc/other\""},
        {"a.mdb", "\"quoted\"",
         "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;JET OLEDB:Database Password=\"\"\"quoted\"\"\""},
        {"a.mdb", " lead", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;JET OLEDB:Database Password=\" lead\""},
        {"a.mdb", "it's", "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;JET OLEDB:Database Password=it's"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(db::BuildConnectionString(c.path, c.password), c.expected) << c.path << " / " << c.password;
}

TEST(ParseConnectionString, ReadsBackWhatWasBuilt) {
    const std::pair<const char*, const char*> values[] = {
        {"/home/u/shop.mdb", ""},       {"/home/u/Shop.ACCDB", "s3cret"}, {"/tmp/a;b;c.mdb", "p;w"},
        {"\"/tmp/q.mdb", "'single"},    {" /tmp/lead.mdb", "  two"},      {"/tmp/trail.mdb ", "trail "},
        {"/tmp/ünïcødé.mdb", "пароль"}, {"/tmp/eq=sign.mdb", "a=b=c"},    {"x.ACCDB ", "\"\""},
    };
    for (const auto& [path, password] : values) {
        const auto cs = db::ParseConnectionString(db::BuildConnectionString(path, password));
        EXPECT_EQ(cs.dataSource, path);
        EXPECT_EQ(cs.password, password);
        EXPECT_TRUE(cs.provider == db::kAceProvider || cs.provider == db::kJetProvider);
    }
}

TEST(ParseConnectionString, KeywordsInAnyCaseQuotesAndUnknownKeywords) {
    const auto cs = db::ParseConnectionString(
        "provider = Microsoft.Jet.OLEDB.4.0 ; data source='C:\\it''s here.mdb';Persist Security Info=False;"
        "jet oledb:database password=\"a\"\"b\"");
    EXPECT_EQ(cs.provider, "Microsoft.Jet.OLEDB.4.0 ");
    EXPECT_EQ(cs.dataSource, "C:\\it's here.mdb");
    EXPECT_EQ(cs.password, "a\"b");
    EXPECT_EQ(cs.all.at("PERSIST SECURITY INFO"), "False");
}

TEST(ParseConnectionString, RejectsBrokenQuoting) {
    for (const char* text : {"Provider=x;Data Source=\"unclosed", "Data Source=\"a\"b;", "Provider"}) {
        EXPECT_THROW(db::ParseConnectionString(text), db::Error) << text;
    }
}

} // namespace
