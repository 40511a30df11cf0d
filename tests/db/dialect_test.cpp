#include "db/dialect.h"
#include "db/error.h"
#include <gtest/gtest.h>

namespace {

using namespace db::dialect;

TEST(Dialect, ReadsEveryFormTheProgramSends) {
    {
        const auto s = std::get<Select>(parse("SELECT * FROM [Order Details];"));
        EXPECT_TRUE(s.columns.empty());
        EXPECT_EQ(s.table, "Order Details");
        EXPECT_FALSE(s.into || s.where);
        EXPECT_TRUE(s.orderBy.empty());
    }
    EXPECT_EQ(std::get<Select>(parse("select * from `my table`;")).table, "my table");
    {
        const auto s = std::get<Select>(parse("SELECT * INTO [TEMP_TABLE_CREATED_BY_QUORVANDELL] From [Customers]"));
        EXPECT_EQ(*s.into, "TEMP_TABLE_CREATED_BY_QUORVANDELL");
        EXPECT_EQ(s.table, "Customers");
    }
    {
        const auto a = std::get<AddIdentity>(parse("ALTER TABLE [s] ADD COLUMN [c] LONG IDENTITY(1,1)"));
        EXPECT_EQ(a.table, "s");
        EXPECT_EQ(a.column, "c");
    }
    {
        const auto s = std::get<Select>(parse("SELECT `First Name`, `Last Name`,`ID` FROM `s` order by `ID`"));
        EXPECT_EQ(s.columns, (std::vector<std::string>{"First Name", "Last Name", "ID"}));
        ASSERT_EQ(s.orderBy.size(), 1u);
        EXPECT_EQ(s.orderBy[0].column, "ID");
        EXPECT_FALSE(s.orderBy[0].descending);
    }
    {
        // The scan of the command line's order: several columns, each with its direction, Nulls last.
        const auto s = std::get<Select>(
            parse("SELECT `a`,`ID` FROM `s` ORDER BY `when` DESC NULLS LAST, [b:c] NULLS LAST, `ID` DESC"));
        ASSERT_EQ(s.orderBy.size(), 3u);
        EXPECT_EQ(s.orderBy[0].column, "when");
        EXPECT_TRUE(s.orderBy[0].descending && s.orderBy[0].nullsLast);
        EXPECT_EQ(s.orderBy[1].column, "b:c");
        EXPECT_TRUE(!s.orderBy[1].descending && s.orderBy[1].nullsLast);
        EXPECT_TRUE(s.orderBy[2].descending && !s.orderBy[2].nullsLast);
    }
    {
        const auto d = std::get<Delete>(parse("delete from `s` where `ID`=5"));
        EXPECT_EQ(d.table, "s");
        EXPECT_EQ(d.where.column, "ID");
        EXPECT_EQ(d.where.value, db::Value(5));
    }
    {
        const auto s = std::get<Select>(parse("SELECT [A], [B] INTO [o] FROM [s]"));
        EXPECT_EQ(s.columns, (std::vector<std::string>{"A", "B"}));
        EXPECT_EQ(*s.into, "o");
    }
    EXPECT_EQ(std::get<DropTable>(parse("DROP TABLE [o]")).table, "o");
    {
        const auto a = std::get<AddColumn>(parse("ALTER TABLE [g] ADD COLUMN [group_size] LONG"));
        EXPECT_EQ(a.table, "g");
        EXPECT_EQ(a.column, "group_size");
    }
    {
        const auto u = std::get<Update>(parse("UPDATE [g] SET [n] = 3, [s] = 'x' WHERE `ID` = 7"));
        EXPECT_EQ(u.table, "g");
        ASSERT_EQ(u.set.size(), 2u);
        EXPECT_EQ(u.set[1].column, "s");
        EXPECT_EQ(u.set[1].value, db::Value("x"));
        EXPECT_EQ(u.where.column, "ID");
        EXPECT_EQ(u.where.value, db::Value(7));
    }
    EXPECT_EQ(std::get<DropTable>(parse("  drop\ttable\nPlain_Name1  ;  ")).table, "Plain_Name1");
}

TEST(Dialect, NamesKeepEveryCharacterAndUndoubleTheCloser) {
    EXPECT_EQ(std::get<DropTable>(parse("DROP TABLE [a]]b]")).table, "a]b");
    EXPECT_EQ(std::get<DropTable>(parse("DROP TABLE `a``b`")).table, "a`b");
    EXPECT_EQ(std::get<DropTable>(parse("DROP TABLE [x]]; DROP TABLE y]")).table, "x]; DROP TABLE y");
    EXPECT_EQ(std::get<DropTable>(parse("DROP TABLE [it's \"q\" `b`]")).table, "it's \"q\" `b`");
    EXPECT_EQ(std::get<DropTable>(parse("DROP TABLE `Größe Ärger`")).table, "Größe Ärger");
    EXPECT_EQ(std::get<DropTable>(parse("DROP TABLE Müller")).table, "Müller");
}

TEST(Dialect, LiteralsOfTheWhereClause) {
    auto literalOf = [](const char* sql) { return std::get<Delete>(parse(sql)).where.value; };
    EXPECT_EQ(literalOf("delete from t where c = -12"), db::Value(-12));
    EXPECT_EQ(literalOf("delete from t where c = 1.5"), db::Value(1.5));
    EXPECT_EQ(literalOf("delete from t where c = 2e3"), db::Value(2000.0));
    EXPECT_EQ(literalOf("delete from t where c = 'O''Brien'"), db::Value("O'Brien"));
    EXPECT_EQ(literalOf("delete from t where c = \"say \"\"x\"\"\""), db::Value("say \"x\""));
    EXPECT_EQ(literalOf("delete from t where c = NULL"), db::Value());
    EXPECT_EQ(literalOf("delete from t where c = 9223372036854775807"), db::Value(std::int64_t{9223372036854775807LL}));
    const auto s = std::get<Select>(parse("SELECT a FROM t WHERE b = 'x' ORDER BY a DESC"));
    EXPECT_EQ(s.where->value, db::Value("x"));
    EXPECT_TRUE(s.orderBy.at(0).descending);
}

TEST(Dialect, RefusesAnythingElseWithAClearMessage) {
    const char* bad[] = {
        "SELECT * FROM [x]; DROP TABLE y",     // a second statement
        "SELECT * FROM [x];;",                 // even an empty one
        "DELETE FROM t WHERE id = 1 OR 1 = 1", // more than one condition
        "DELETE FROM t",                       // delete without a condition
        "SELECT * FROM [unclosed",             // quoting not closed
        "SELECT * FROM []",                    // empty name
        "UPDATE t SET a = 1",                  // an update names its row
        "UPDATE t SET a = 1 WHERE b = 2 OR c = 3",
        "ALTER TABLE s ADD COLUMN c TEXT", // only integer columns can be added
        "ALTER TABLE s ADD COLUMN c LONG IDENTITY(5,2)",
        "SELECT a FROM t WHERE b = c", // a name where a literal belongs
        "SELECT a, FROM t",
        "SELECT a FROM t ORDER BY a NULLS FIRST", // Nulls can only be asked to come last
        "",
    };
    for (const char* sql : bad) {
        try {
            parse(sql);
            ADD_FAILURE() << "accepted: " << sql;
        } catch (const db::Error& e) {
            EXPECT_EQ(e.number(), db::err::SyntaxError) << sql;
            EXPECT_NE(e.description().find(sql), std::string::npos) << e.description();
        }
    }
}

} // namespace

// A text that differs from the last DELETE only in its closing number takes the kept tree; anything else is
// parsed afresh, so each text gives what parse gives, in any sequence.
TEST(Dialect, ParseCacheGivesWhatParseGives) {
    const char* const texts[] = {
        "delete from `w` where `id`=1",
        "delete from `w` where `id`=1234567",
        "delete from `w` where `id`=0",
        "delete from `w` where `id`=007",                  // a leading zero: parsed afresh
        "delete from `w` where `id`=-5",                   // a sign
        "delete from `w` where `id`=1.5",                  // not a whole number
        "delete from `w` where `id`=1e5",                  // an exponent
        "delete from `w` where `id`=12345678901234567890", // too long for a whole number
        "delete from `w` where `id` = 42",
        "delete from `x` where `id`=42", // another table
        "delete from `w` where `id`=43",
        "delete from `w` where `ids`=44", // another column
        "DELETE FROM [w] WHERE [id] = 'text'",
        "delete from `w` where `id`=45",
    };
    ParseCache cache;
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const auto expected = std::get<Delete>(parse(text));
        const auto got = std::get<Delete>(cache.parse(text));
        EXPECT_EQ(got.table, expected.table);
        EXPECT_EQ(got.where.column, expected.where.column);
        EXPECT_EQ(got.where.value.isInteger(), expected.where.value.isInteger());
        EXPECT_EQ(got.where.value.toText(), expected.where.value.toText());
    }
    EXPECT_THROW(cache.parse("delete from `w` where"), db::Error);
    EXPECT_EQ(std::get<Delete>(cache.parse("delete from `w` where `id`=46")).where.value.asInteger(), 46);
    EXPECT_EQ(std::get<Select>(cache.parse("SELECT * FROM [t] WHERE [id] = 46")).table, "t");
}
