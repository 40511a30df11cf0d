// Single values: stored dates, stored text, and the values the copy writes.
#include "access/copy_writer.h"
#include "access/date_time.h"
#include "access/text_decoder.h"
#include "db/bulk_writer.h"
#include "db/recordset.h"
#include "tests/support/test_support.h"
#include <cmath>
#include <limits>

namespace {

using accessdb::ColumnType;

TEST(DateTimeText, ReadsStoredDaysAsAccessDoes) {
    const struct {
        double stored;
        const char* text;
    } cases[] = {
        {0, "1899-12-30 00:00:00"},
        {2.5, "1900-01-01 12:00:00"},
        {60, "1900-02-28 00:00:00"}, // 1900 has no 29 February
        {61, "1900-03-01 00:00:00"},
        {-1.25, "1899-12-29 06:00:00"}, // whole days back, the fraction still forward from midnight
        {-0.5, "1899-12-30 12:00:00"},
        {-1.9999999, "1899-12-30 00:00:00"},
        {44532.650103831016, "2021-12-02 15:36:09"},
        {36526.999999, "2000-01-02 00:00:00"}, // 23:59:59.91 rounds into the next day
        {-657434, "0100-01-01 00:00:00"},
        {2958465.999988426, "9999-12-31 23:59:59"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(accessdb::dateTimeText(c.stored).value_or("none"), c.text) << c.stored;
    for (double outside : {-657435.0, 2958466.0, 2958465.999999999, std::nan(""), HUGE_VAL})
        EXPECT_FALSE(accessdb::dateTimeText(outside)) << outside;
}

TEST(TextDecoder, StoredTextBecomesUtf8) {
    const struct {
        bool unicode;
        int codePage;
        std::string stored;
        std::string text;
    } cases[] = {
        {true, 0, "\377\376Caf\351", "Café"},                  // compressed: a byte a character
        {true, 0, std::string("\377\376A\0:\4\0B", 8), "AкB"}, // 0x00 switches to pairs and back
        {true, 0, std::string("h\0i\0", 4), "hi"},
        {true, 0, std::string("=\330\0\336", 4), "\360\237\230\200"}, // a surrogate pair
        {true, 0, std::string("\0\330a\0", 4), "\357\277\275a"},      // half a pair
        {false, 1252, "K\366nig \200", "König €"},
        {false, 1252, "a\201b", "a\357\277\275b"}, // a byte the code page leaves undefined
        {false, 1251, "\352", "к"},
        {false, 0, "\351", "é"},
    };
    for (const auto& c : cases) {
        const accessdb::TextDecoder decoder(c.unicode, c.codePage);
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.stored.data());
        EXPECT_EQ(decoder.decode(bytes, c.stored.size()), c.text);
    }
}

class StoredValueTest : public testsupport::TempDirTest {};

TEST_F(StoredValueTest, ValuesComeBackFromSqliteAsRead) {
    const double third = 1.0 / 3;
    const struct {
        ColumnType type;
        db::Value read;     // as the reader gives it
        db::Value expected; // as the copy gives it back
    } cases[] = {
        {ColumnType::Double, third, third},
        {ColumnType::Double, 461.5543635824869, 461.5543635824869}, // SQLite misreads its shortest form
        {ColumnType::Double, -6.02214076e-23, -6.02214076e-23},
        {ColumnType::Double, std::numeric_limits<double>::max(), std::numeric_limits<double>::max()},
        {ColumnType::Double, HUGE_VAL, HUGE_VAL},
        {ColumnType::Double, std::nan(""), db::Value()},
        {ColumnType::Single, static_cast<double>(0.1f), 0.1},
        {ColumnType::Currency, "14.4", 14.4},
        {ColumnType::Currency, "18", 18},
        {ColumnType::Currency, "-0.0001", -0.0001},
        {ColumnType::Currency, "-922337203685477.5808", -922337203685477.5808},
        {ColumnType::Memo, "007", "007"},
        {ColumnType::Text, "it's", "it's"},
        {ColumnType::Text, std::string("a\0b", 3), std::string("a\0b", 3)},
        {ColumnType::Memo, "line\r\nnext", "line\r\nnext"},
        {ColumnType::OleObject, db::Blob{{0, 0x27, 0xFF}}, db::Blob{{0, 0x27, 0xFF}}},
        {ColumnType::DateTime, "0100-01-01 00:00:00", "0100-01-01 00:00:00"},
        {ColumnType::Guid, "{6B29FC40-CA47-1067-B31D-00DD010662DA}", "{6B29FC40-CA47-1067-B31D-00DD010662DA}"},
    };
    accessdb::Table table{"t", {}, {}, 0};
    std::vector<db::Value> values;
    for (const auto& c : cases) {
        table.columns.push_back({"c" + std::to_string(table.columns.size()), c.type, 0, 0, 0, false});
        values.push_back(accessdb::storedValue(c.type, c.read));
    }
    const std::string path = file("values.db");
    db::BulkWriter writer(path, "", accessdb::createTableSql(table));
    writer.insert(writer.prepareInsert("t", values.size()), values);
    writer.finish();
    db::Recordset rs;
    rs.Open("SELECT * FROM t", testsupport::openConnection(path), db::adOpenStatic, db::adLockReadOnly);
    for (int i = 0; i < rs.fieldCount(); ++i)
        EXPECT_EQ(rs[i], cases[i].expected) << "column " << i << ": " << rs[i].toText();
}

} // namespace
