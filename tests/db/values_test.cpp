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
    EXPECT_EQ(db::Value(1e300).toText(), "1e+300");
    EXPECT_EQ(db::Value(2.0).toText(), "2");
    // Shortest form still reads back to the same double: neighbours keep different texts.
    const double a = 0.30000000000000004, b = 0.3;
    EXPECT_NE(db::Value(a).toText(), db::Value(b).toText());
    EXPECT_EQ(std::stod(db::Value(a).toText()), a);
    EXPECT_EQ(db::Value(db::Blob{{0x00, 0xAB, 0x7F}}).toText(), "00AB7F");
    EXPECT_EQ(db::Value("").toText(), db::Value().toText()); // Null and empty text read the same
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
