// The packed cell format both back-ends keep rows in, and the server's text read into it.
#include "db/packed_cells.h"
#include "db/pg/deleted_rows.h"
#include "db/pg/rows.h"
#include "db/pg/session.h"
#include "tests/support/test_support.h"
#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <sys/resource.h>

namespace {

// One row of `cells`, each appended as the kind of value it is.
void appendCells(db::PackedCells& rows, const std::vector<db::Value>& cells) {
    rows.beginRow();
    for (const db::Value& v : cells) {
        if (v.isNull())
            rows.appendNull();
        else if (v.isInteger())
            rows.appendInteger(v.asInteger());
        else if (v.isReal())
            rows.appendReal(v.asReal());
        else if (v.isBlob())
            rows.appendBlob(v.asBlob().bytes.data(), v.asBlob().bytes.size());
        else
            rows.appendText(v.asText().data(), v.asText().size());
    }
}

// Every kind of cell comes back as it went in, wherever it stands in its row, next to cells of every
// length (varint lengths and zig-zag numbers of one to ten bytes).
TEST(PackedCells, CellsComeBackAsTheyWentIn) {
    const std::string longText(300, 'x');
    const std::vector<db::Value> cells = {
        db::Value(),
        db::Value(std::int64_t{0}),
        db::Value(std::int64_t{-1}),
        db::Value(std::int64_t{63}),
        db::Value(std::int64_t{-64}),
        db::Value(std::int64_t{64}),
        db::Value(std::numeric_limits<std::int64_t>::max()),
        db::Value(std::numeric_limits<std::int64_t>::min()),
        db::Value(-0.5),
        db::Value(std::string()),
        db::Value(std::string("a\0b", 3)),
        db::Value(longText),
        db::Value(db::Blob{}),
        db::Value(db::Blob{{0x00, 0xFF, 0x80}}),
    };
    db::PackedCells rows;
    for (int r = 0; r < 2; ++r) { // the second row in reverse, so every cell follows every kind
        appendCells(rows, r == 0 ? cells : std::vector<db::Value>(cells.rbegin(), cells.rend()));
    }
    rows.finish();
    const int n = static_cast<int>(cells.size());
    ASSERT_EQ(rows.rows(), 2);
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        const db::Value& v = cells[static_cast<std::size_t>(i)];
        EXPECT_EQ(rows.value(0, i, n), v);
        EXPECT_EQ(rows.value(1, n - 1 - i, n), v);
        EXPECT_EQ(rows.integer(0, i, n), v.isInteger() ? std::optional(v.asInteger()) : std::nullopt);
    }
    EXPECT_TRUE(rows.value(0, n, n).isNull()) << "a column past the row's end is Null";
    EXPECT_TRUE(rows.value(0, -1, n).isNull());
}

// Many rows fill many blocks: every row is read back whole, whichever cell of it did not fit where the
// row began, and a row larger than a block as well.
TEST(PackedCells, RowsReadBackAcrossBlocks) {
    const auto textOf = [](int i) {
        return std::string(static_cast<std::size_t>(i % 300), static_cast<char>('a' + i % 26));
    };
    const int n = 40000;
    db::PackedCells rows;
    for (int i = 0; i < n; ++i) {
        rows.beginRow();
        const std::string text = textOf(i);
        rows.appendText(text.data(), text.size());
        rows.appendInteger(std::int64_t{i} << 40);
        const std::size_t blob = i % 10000 == 9999 ? std::size_t{3} << 20 : 0;
        std::fill_n(rows.appendBlobSpace(blob), blob, static_cast<unsigned char>(i));
    }
    ASSERT_EQ(rows.rows(), n);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(rows.value(i, 0, 3).asText(), textOf(i)) << i;
        ASSERT_EQ(rows.integer(i, 1, 3), std::int64_t{i} << 40) << i;
        const db::Value blob = rows.value(i, 2, 3);
        ASSERT_EQ(blob.asBlob().bytes.size(), i % 10000 == 9999 ? std::size_t{3} << 20 : 0) << i;
        if (!blob.asBlob().bytes.empty()) {
            EXPECT_EQ(blob.asBlob().bytes.back(), static_cast<unsigned char>(i));
        }
    }
}

// A row that begins exactly where a block does and then outgrows it moves on, leaving a block without a
// row of its own: the rows before, it and the rows after are still found. Rows of 1 KiB fill any
// power-of-two block exactly, so the row that outgrows one is tried at every power of two.
TEST(PackedCells, ARowMovedOutOfAnEmptiedBlockIsFound) {
    const std::string text(1019, 't'); // with its tag and length, and the empty blob's, 1024 bytes a row
    for (int big = 256; big <= 16384; big *= 2) {
        SCOPED_TRACE(big);
        db::PackedCells rows;
        const int n = big + 3;
        for (int i = 0; i < n; ++i) {
            rows.beginRow();
            rows.appendText(text.data(), text.size());
            const std::size_t blob = i == big ? std::size_t{3} << 20 : 0;
            std::fill_n(rows.appendBlobSpace(blob), blob, static_cast<unsigned char>(i));
        }
        ASSERT_EQ(rows.rows(), n);
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(rows.value(i, 0, 2).asText(), text) << i;
            const db::Value blob = rows.value(i, 1, 2);
            ASSERT_EQ(blob.asBlob().bytes.size(), i == big ? std::size_t{3} << 20 : 0) << i;
            if (i == big) {
                EXPECT_EQ(blob.asBlob().bytes.front(), static_cast<unsigned char>(i));
            }
        }
    }
}

// Row i of the spilling tests: every kind of cell, texts of many lengths, and now and then a blob larger
// than a block, so rows cross and outgrow blocks of every size.
std::vector<db::Value> spillRow(int i) {
    std::vector<db::Value> cells(4);
    if (i % 7 != 0)
        cells[0] = db::Value(std::int64_t{i} * (i % 2 ? -1 : 1) << (i % 50));
    cells[1] = db::Value(i / 3.0);
    cells[2] = db::Value(std::string(static_cast<std::size_t>(i * 37 % 301), static_cast<char>('a' + i % 26)));
    db::Blob blob;
    blob.bytes.assign(i % 5000 == 4999 ? std::size_t{3} << 20 : static_cast<std::size_t>(i % 4),
                      static_cast<unsigned char>(i));
    cells[3] = db::Value(std::move(blob));
    return cells;
}

// Past its budget the store keeps its full blocks in a temporary file and reads them back: rows in order,
// rows on their own in any order, and the mix of both a scan makes (each row, then an earlier one read
// back). Every cell comes back as it went in, whatever part of the rows stayed in memory.
TEST(PackedCells, RowsKeptInATemporaryFileReadBackAsTheyWentIn) {
    testsupport::TempFolder folder;
    const int n = 12000;
    const int columns = 4;
    const struct {
        const char* name;
        std::size_t budget;
        bool spills;
    } cases[] = {
        {"every full block to the file", 0, true},
        {"past a few blocks", 3 << 20, true},
        {"within the budget", std::size_t{1} << 30, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        db::PackedCells rows;
        rows.spillPast(c.budget, folder.path().string(), columns, "the rows of 't'");
        for (int i = 0; i < n; ++i)
            appendCells(rows, spillRow(i));
        ASSERT_EQ(rows.rows(), n);
        EXPECT_EQ(rows.spilledBytes() > 0, c.spills);
        EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << "the file has no name";

        // Row `row` holds spillRow(`made`).
        const auto expectRow = [&](int row, int made) {
            const std::vector<db::Value> cells = spillRow(made);
            for (int k = 0; k < columns; ++k)
                ASSERT_EQ(rows.value(row, k, columns), cells[static_cast<std::size_t>(k)])
                    << "row " << row << " cell " << k;
            ASSERT_EQ(rows.integer(row, 0, columns),
                      cells[0].isNull() ? std::nullopt : std::optional(cells[0].asInteger()));
        };
        std::mt19937 random(7);
        for (int i = 0; i < n; ++i) {
            expectRow(i, i);
            if (i > 0 && i % 3 == 0) {
                const int earlier = static_cast<int>(random() % static_cast<unsigned>(i));
                expectRow(earlier, earlier);
            }
        }
        std::vector<int> order(n);
        for (int i = 0; i < n; ++i)
            order[static_cast<std::size_t>(i)] = i;
        std::shuffle(order.begin(), order.end(), random);
        for (int i : order)
            expectRow(i, i);
        for (int i = n - 1; i >= 0; i -= 97) // backwards: never the row after the last one read
            expectRow(i, i);

        rows.clear(); // emptied, the store spills again into a file of its own
        for (int i = 0; i < 3000; ++i)
            appendCells(rows, spillRow(n - i));
        ASSERT_EQ(rows.rows(), 3000);
        for (int i = 0; i < 3000; i += 7)
            expectRow(i, n - i);
    }
}

// The file cannot be made, or the disk fills while the rows are written: one error that names the folder
// and what was being kept, never a crash or rows that read back wrong.
TEST(PackedCells, ATemporaryFileThatFailsIsReportedWithItsFolder) {
    testsupport::TempFolder folder;
    const std::string missing = folder.file("gone");
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const struct {
        std::string folder;
        rlim_t fileLimit; // a file size limit stands in for a full disk
        int number;
    } cases[] = {
        {missing, saved.rlim_cur, db::err::EngineError},
        {folder.path().string(), 100000, db::err::DiskFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        struct rlimit limit = saved;
        limit.rlim_cur = c.fileLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const db::Error e = testsupport::errorOf([&] {
            db::PackedCells rows;
            rows.spillPast(0, c.folder, 4, "the rows of 'orders'");
            for (int i = 0; i < 20000; ++i)
                appendCells(rows, spillRow(i % 4000));
        });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(e.number(), c.number);
        EXPECT_NE(e.description().find("'" + c.folder + "'"), std::string::npos) << e.description();
        EXPECT_NE(e.description().find("the rows of 'orders'"), std::string::npos) << e.description();
    }
    std::signal(SIGXFSZ, oldHandler);
}

// Server text becomes the cell its type asks for; text that does not read as that type stays text.
TEST(PackedCells, ServerTextByType) {
    const unsigned int4 = 23, int8 = 20, float8 = 701, bytea = 17, text = 25, numeric = 1700;
    const struct {
        unsigned oid;
        std::string text;
        db::Value expected;
    } cases[] = {
        {int4, "-42", db::Value(std::int64_t{-42})},
        {int8, "9223372036854775807", db::Value(std::numeric_limits<std::int64_t>::max())},
        {int8, "12x", db::Value("12x")},
        {float8, "0.1", db::Value(0.1)},
        {float8, "-Infinity", db::Value(-std::numeric_limits<double>::infinity())},
        {bytea, "\\x00ff41", db::Value(db::Blob{{0x00, 0xFF, 0x41}})},
        {bytea, "\\x", db::Value(db::Blob{})},
        {numeric, "1.50", db::Value("1.50")},
        {text, "\\x41", db::Value("\\x41")},
    };
    class OneCell final : public db::pg::Row {
    public:
        explicit OneCell(std::string_view text) : m_text(text) {}
        int columns() const override { return 1; }
        bool isNull(int) const override { return false; }
        std::string_view text(int) const override { return m_text; }

    private:
        std::string_view m_text;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        db::pg::PackedRows rows;
        rows.append(OneCell(c.text), {c.oid});
        EXPECT_EQ(rows.value(0, 0, 1), c.expected);
        EXPECT_EQ(db::pg::valueFromText(c.oid, c.text), c.expected);
    }
}

// COPY text: cells split at tabs, "\N" is Null, escapes undone only where there are any.
TEST(PackedCells, CopyLinesSplitIntoCells) {
    const struct {
        std::string line;
        std::vector<std::optional<std::string>> cells;
    } cases[] = {
        {"a\tb", {"a", "b"}},
        {"", {""}},
        {"\t", {"", ""}},
        {"\\N\t\\\\N\tx", {std::nullopt, "\\N", "x"}},
        {"tab\\there\\nnew\tocta\\101l\\x41\\\\", {"tab\there\nnew", "octaAlA\\"}},
    };
    db::pg::CopyRow row;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        row.parse(c.line);
        ASSERT_EQ(row.columns(), static_cast<int>(c.cells.size()));
        for (int i = 0; i < row.columns(); ++i) {
            const auto& expected = c.cells[static_cast<std::size_t>(i)];
            EXPECT_EQ(row.isNull(i), !expected);
            if (expected) {
                EXPECT_EQ(row.text(i), *expected);
            }
        }
    }
}

// A row's place as a number that sorts as places do; anything else is refused.
TEST(PackedCells, PlacesReadAsNumbers) {
    EXPECT_EQ(db::pg::placeNumber("(0,1)"), 1);
    EXPECT_EQ(db::pg::placeNumber("(3,291)"), 3 * 65536 + 291);
    EXPECT_LT(*db::pg::placeNumber("(1,65535)"), *db::pg::placeNumber("(2,1)"));
    EXPECT_EQ(db::pg::placeNumber("(4294967295,7)"), 4294967295LL * 65536 + 7);
    for (const char* bad : {"", "(1,2", "1,2)", "(1;2)", "(-1,2)", "(1,65536)", "(a,b)", "(,)"})
        EXPECT_EQ(db::pg::placeNumber(bad), std::nullopt) << bad;
}

// Deleted rows close together go as a bitmap with a clear bit at each end (bit i for first + i, get_bit's
// order: the low bit of each byte first); far apart, or near the ends of the numbers, as an array.
TEST(PackedCells, DeletedRowsAsOneParameter) {
    const long long perBlock = 292;
    const struct {
        std::vector<std::int64_t> deleted;
        long long placesPerBlock;
        bool bitmap;
        std::int64_t first;
        std::vector<std::int64_t> bits; // set, counted from first
    } cases[] = {
        {{5, 7, 12}, 0, true, 4, {1, 3, 8}},
        {{-3, -1}, 0, true, -4, {1, 3}},
        {{(2 << 16) + 1, (0 << 16) + 291}, perBlock, true, -292, {1, 2 * perBlock - 1 + 292}},
        {{1, 1000000000}, 0, false, 0, {}},
        {{std::numeric_limits<std::int64_t>::min() + 1}, 0, false, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deleted.front());
        const db::pg::DeletedSet set = db::pg::deletedSet(c.deleted, c.placesPerBlock);
        ASSERT_EQ(set.bitmap, c.bitmap) << set.text;
        if (!set.bitmap) {
            EXPECT_EQ(set.text.front(), '{');
            continue;
        }
        EXPECT_EQ(set.first, c.first);
        ASSERT_EQ(set.text.substr(0, 2), "\\x");
        std::vector<std::int64_t> bits;
        for (std::size_t i = 2; i + 1 < set.text.size(); i += 2) {
            const int byte = std::stoi(set.text.substr(i, 2), nullptr, 16);
            for (int b = 0; b < 8; ++b)
                if (byte & (1 << b))
                    bits.push_back(static_cast<std::int64_t>((i - 2) / 2 * 8 + static_cast<std::size_t>(b)));
        }
        EXPECT_EQ(bits, c.bits);
        EXPECT_GT(static_cast<std::int64_t>((set.text.size() - 2) * 4), set.last - set.first)
            << "the last bit is there";
    }
}

} // namespace
