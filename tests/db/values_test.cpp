#include "db/error.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "db/value.h"
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(Value, TextFormsAreExactAndDistinguishKinds) {
    EXPECT_EQ(db::Value().toText(), "");
    EXPECT_EQ(db::Value(std::int64_t{-9223372036854775807LL - 1}).toText(), "-9223372036854775808");
    EXPECT_EQ(db::Value(0.1).toText(), "0.1");
    EXPECT_EQ(db::Value(2.0).toText(), "2");
    EXPECT_EQ(db::Value(db::Blob{{0x00, 0xAB, 0x7F}}).toText(), "00AB7F");
    EXPECT_EQ(db::Value("").toText(), db::Value().toText()); // Null and empty text read the same
}

// Numbers as people write them, the same text in the grids and the duplicate keys.
TEST(Value, NumbersReadAsPeopleWriteThem) {
    const std::pair<db::Value, const char*> cases[] = {
        {db::Value(std::int64_t{12345678901234567}), "12345678901234567"}, // integers keep every digit
        {db::Value(100000.0), "100000"},
        {db::Value(2000000.0), "2000000"},
        {db::Value(-0.0), "0"},
        {db::Value(-42.0), "-42"},
        {db::Value(999999999999999.0), "999999999999999"},
        {db::Value(1e15), "1E+15"},
        {db::Value(0.1 + 0.2), "0.3"},
        {db::Value(0.30000000000000004), "0.3"},
        {db::Value(2.5), "2.5"},
        {db::Value(-1.0 / 3.0), "-0.333333333333333"},
        {db::Value(123456.789), "123456.789"},
        {db::Value(0.0001), "0.0001"},
        {db::Value(0.00001), "1E-05"},
        {db::Value(1e300), "1E+300"},
        {db::Value(12345678901234567.0), "1.23456789012346E+16"},
        {db::Value(std::numeric_limits<double>::infinity()), "Inf"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(value.toText(), text) << text;
    // Integers that differ in the last digit stay apart, though their nearest doubles would not.
    EXPECT_NE(db::Value(std::int64_t{12345678901234567}).toText(), db::Value(std::int64_t{12345678901234568}).toText());
}

TEST(Value, AccessorsRefuseAnotherKind) {
    EXPECT_EQ(db::Value(5).asInteger(), 5);
    EXPECT_THROW(db::Value("5").asInteger(), db::Error);
    EXPECT_THROW(db::Value().asText(), db::Error);
    EXPECT_THROW(db::Value(1.5).asBlob(), db::Error);
    EXPECT_EQ(db::ValueOrDefault(db::Value(), db::Value("-")), db::Value("-"));
    EXPECT_EQ(db::ValueOrDefault(db::Value(""), db::Value("-")), db::Value(""));
    EXPECT_EQ(db::ValueOrDefault(db::Value(0), db::Value(7)), db::Value(0));
}

TEST(DataType, FromDeclaredTypeByLeadingWord) {
    const std::pair<const char*, int> cases[] = {
        {"INTEGER", db::adInteger},
        {"integer primary key", db::adInteger},
        {"Long", db::adInteger},
        {"COUNTER", db::adInteger},
        {"int", db::adInteger},
        {"SMALLINT", db::adSmallInt},
        {"short", db::adSmallInt},
        {"TINYINT", db::adUnsignedTinyInt},
        {"BYTE", db::adUnsignedTinyInt},
        {"BIGINT", db::adBigInt},
        {"SINGLE", db::adSingle},
        {"REAL", db::adDouble},
        {"double precision", db::adDouble},
        {"FLOAT", db::adDouble},
        {"CURRENCY", db::adCurrency},
        {"money", db::adCurrency},
        {"DATETIME", db::adDate},
        {"date", db::adDate},
        {"TIMESTAMP", db::adDate},
        {"BIT", db::adBoolean},
        {"YESNO", db::adBoolean},
        {"DECIMAL(10,2)", db::adNumeric},
        {"NUMERIC", db::adNumeric},
        {"GUID", db::adGUID},
        {"TEXT(50)", db::adVarWChar},
        {"varchar(255)", db::adVarWChar},
        {"CHAR", db::adVarWChar},
        {"MEMO", db::adLongVarWChar},
        {"LONGTEXT", db::adLongVarWChar},
        {"BLOB", db::adLongVarBinary},
        {"OLEOBJECT", db::adLongVarBinary},
        {"", db::adVariant},
        {"  ", db::adVariant},
        // Unfamiliar words follow SQLite's affinity rules.
        {"UNSIGNED BIG INT", db::adInteger},
        {"NATIVE CHARACTER(70)", db::adVarWChar},
        {"WHATEVER", db::adNumeric},
    };
    for (const auto& [declared, code] : cases)
        EXPECT_EQ(db::dataTypeFromDeclared(declared), code) << declared;
}

TEST(SqlQuote, DoublesTheClosingCharacterOnly) {
    EXPECT_EQ(db::quoteBracket("a]b[c"), "[a]]b[c]");
    EXPECT_EQ(db::quoteBackquote("it`s"), "`it``s`");
    EXPECT_EQ(db::quoteIdentifier("say \"hi\""), "\"say \"\"hi\"\"\"");
}

} // namespace
