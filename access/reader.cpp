#include "access/reader.h"
#include "access/date_time.h"
#include "access/text_decoder.h"
#include "db/ascii.h"
#include "db/error.h"
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mdbtools.h>
#include <optional>
#include <unordered_set>

namespace accessdb {

static_assert(std::endian::native == std::endian::little, "values are copied from little-endian pages as they are");

namespace {

constexpr int kRowOffsetMask = 0x1FFF;         // row offsets carry flags in their top bits
constexpr std::size_t kLongValueHeader = 12;   // MDB_MEMO_OVERHEAD: length with flags, page and row, unused
constexpr std::uint32_t kInline = 0x80000000;  // the value follows its header in the row
constexpr std::uint32_t kOnePage = 0x40000000; // the value is one row of a long-value page
constexpr std::uint32_t kLengthMask = 0x3FFFFFFF;

struct FreeTableDef {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using TableDefPtr = std::unique_ptr<MdbTableDef, FreeTableDef>;

template <class T> T load(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

MdbColumn* columnAt(MdbTableDef* t, unsigned i) {
    return static_cast<MdbColumn*>(t->columns->pdata[i]);
}

std::optional<ColumnType> columnType(int mdbType) {
    switch (mdbType) {
    case MDB_BOOL:
        return ColumnType::Boolean;
    case MDB_BYTE:
        return ColumnType::Byte;
    case MDB_INT:
        return ColumnType::Integer;
    case MDB_LONGINT:
        return ColumnType::LongInteger;
    case MDB_MONEY:
        return ColumnType::Currency;
    case MDB_FLOAT:
        return ColumnType::Single;
    case MDB_DOUBLE:
        return ColumnType::Double;
    case MDB_DATETIME:
        return ColumnType::DateTime;
    case MDB_BINARY:
        return ColumnType::Binary;
    case MDB_TEXT:
        return ColumnType::Text;
    case MDB_OLE:
        return ColumnType::OleObject;
    case MDB_MEMO:
        return ColumnType::Memo;
    case MDB_REPID:
        return ColumnType::Guid;
    case MDB_NUMERIC:
        return ColumnType::Numeric;
    case MDB_COMPLEX:
        return ColumnType::Complex;
    default:
        return std::nullopt;
    }
}

// The stored 64-bit integer scaled by 10^4, as decimal text without trailing zeros.
std::string currencyText(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    if (std::uint64_t fraction = magnitude % 10000) {
        std::string digits = std::to_string(fraction + 10000).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

std::string guidText(const unsigned char* b) {
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

db::Blob blobOf(const unsigned char* p, std::size_t size) {
    db::Blob b;
    b.bytes.assign(p, p + size);
    return b;
}

} // namespace

struct Reader::State {
    std::string path;
    Header header;
    bool passwordProtected = false;
    MdbHandle* mdb = nullptr;
    std::unique_ptr<TextDecoder> text;
    std::vector<std::string> names;
    std::vector<MdbCatalogEntry*> entries; // parallel to names; owned by mdb's catalogue

    ~State() {
        if (mdb)
            mdb_close(mdb);
    }

    [[noreturn]] void fail(const std::string& table, const std::string& why) const {
        throw db::Error(db::err::EngineError,
                        "Table '" + table + "' of the Access file '" + path + "' cannot be read: " + why + ".");
    }

    TableDefPtr open(const std::string& name) const {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] != name)
                continue;
            TableDefPtr t(mdb_read_table(entries[i]));
            if (!t)
                fail(name, "its definition is damaged");
            if (!mdb_read_columns(t.get()) || t->num_cols != t->columns->len)
                fail(name, "its columns cannot be read");
            return t;
        }
        throw db::Error(db::err::NoSuchTable, "Table '" + name + "' does not exist in the Access file '" + path + "'.");
    }

    std::vector<unsigned char> longValue(const std::string& table, const MdbColumn* col, const MdbField& f) const;
    db::Value value(const std::string& table, const MdbColumn* col, ColumnType type, const MdbField& f) const;
};

Reader::Reader(const std::string& path, const std::string& password) : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.path = path;
    s.passwordProtected = requirePassword(path, password); // reads the header; nothing else before it passes
    s.header = readHeader(path);
    s.text = std::make_unique<TextDecoder>(s.header.format != FileFormat::Jet3, s.header.codePage);

    s.mdb = mdb_open(path.c_str(), MDB_NOFLAGS); // read-only
    if (!s.mdb)
        throw db::Error(db::err::NotADatabase, "The Access file '" + path +
                                                   "' cannot be opened: it is damaged or in a "
                                                   "format this program cannot read.");
    if (!mdb_read_catalog(s.mdb, MDB_ANY))
        throw db::Error(db::err::NotADatabase, "The list of tables of the Access file '" + path +
                                                   "' cannot be read: the file is damaged or encrypted.");
    long long listed = 0; // rows of the catalogue table itself, which libmdb skips quietly when unreadable
    for (unsigned i = 0; i < s.mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(s.mdb->catalog->pdata[i]);
        if (entry->object_type != MDB_TABLE)
            continue; // queries, forms, linked tables ...
        const std::string name = entry->object_name;
        if (name == "MSysObjects") {
            if (TableDefPtr catalogue{mdb_read_table(entry)})
                listed = catalogue->num_rows;
        }
        // System tables carry flags, and Access also hides every MSys name.
        if (mdb_is_user_table(entry) && !db::ascii::startsWithNoCase(name, "MSys")) {
            s.names.push_back(name);
            s.entries.push_back(entry);
        }
    }
    if (listed > static_cast<long long>(s.mdb->num_catalog))
        throw db::Error(db::err::NotADatabase,
                        "The Access file '" + path + "' is damaged: only part of its list of tables can be read.");
}

Reader::~Reader() = default;

const std::string& Reader::path() const {
    return m_state->path;
}
FileFormat Reader::format() const {
    return m_state->header.format;
}
bool Reader::passwordProtected() const {
    return m_state->passwordProtected;
}
const std::vector<std::string>& Reader::tableNames() const {
    return m_state->names;
}

Table Reader::table(const std::string& name) const {
    TableDefPtr t = m_state->open(name);
    Table out;
    out.name = name;
    out.rowCount = t->num_rows;
    for (unsigned i = 0; i < t->num_cols; ++i) {
        const MdbColumn* col = columnAt(t.get(), i);
        Column c;
        c.name = col->name;
        const auto type = columnType(col->col_type);
        if (!type)
            m_state->fail(name, "column '" + c.name + "' has a type (" + std::to_string(col->col_type) +
                                    ") this program does not know");
        c.type = *type;
        c.size = col->col_size;
        if (c.type == ColumnType::Text && m_state->header.format != FileFormat::Jet3)
            c.size /= 2; // two bytes a character
        if (c.type == ColumnType::Numeric) {
            // libmdb's names for these two bytes are the other way round: it prints a value with col_prec
            // decimals, and a Currency column (four decimals) has col_prec 4.
            c.precision = col->col_scale;
            c.scale = col->col_prec;
        }
        c.autoNumber = col->is_long_auto != 0;
        out.columns.push_back(std::move(c));
    }
    mdb_read_indices(t.get()); // fills t->indices; its return value says nothing
    if (t->indices) {
        for (unsigned i = 0; i < t->num_idxs; ++i) {
            const auto* index = static_cast<const MdbIndex*>(t->indices->pdata[i]);
            if (index->index_type != 1) // the primary key
                continue;
            for (unsigned k = 0; k < index->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
                const int column = index->key_col_num[k] - 1;
                if (column < 0 || column >= static_cast<int>(out.columns.size()))
                    m_state->fail(name, "its primary key names a column that does not exist");
                out.primaryKey.push_back(out.columns[static_cast<std::size_t>(column)].name);
            }
            break;
        }
    }
    return out;
}

long long Reader::readRows(const std::string& name, const std::function<bool(const Row&)>& onRow) const {
    const State& s = *m_state;
    TableDefPtr t = s.open(name);
    std::vector<ColumnType> types;
    for (unsigned i = 0; i < t->num_cols; ++i) {
        const auto type = columnType(columnAt(t.get(), i)->col_type);
        if (!type)
            s.fail(name,
                   std::string("column '") + columnAt(t.get(), i)->name + "' has a type this program does not know");
        types.push_back(*type);
    }
    std::vector<MdbField> fields(t->num_cols);
    Row row(t->num_cols);
    long long count = 0;
    bool stopped = false;
    mdb_rewind_table(t.get());
    // libmdb walks the data pages in stored order and skips deleted rows; nothing is bound, so it converts
    // nothing. Each row it stops at is cracked again here for the raw bytes and the Null flags.
    while (mdb_fetch_row(t.get())) {
        int start = 0;
        std::size_t size = 0;
        if (mdb_find_row(s.mdb, static_cast<int>(t->cur_row) - 1, &start, &size) != 0)
            s.fail(name, "a row is out of its page");
        start &= kRowOffsetMask;
        if (mdb_crack_row(t.get(), start, size, fields.data()) < 0)
            s.fail(name, "a row is damaged");
        for (unsigned i = 0; i < t->num_cols; ++i) {
            const MdbField& f = fields[i];
            row[static_cast<std::size_t>(f.colnum)] = s.value(name, columnAt(t.get(), static_cast<unsigned>(f.colnum)),
                                                              types[static_cast<std::size_t>(f.colnum)], f);
        }
        ++count;
        if (!onRow(row)) {
            stopped = true;
            break;
        }
    }
    // libmdb ends a table quietly at a page it cannot read; the count Access keeps tells the difference.
    if (!stopped && count < static_cast<long long>(t->num_rows))
        s.fail(name, "only " + std::to_string(count) + " of its " + std::to_string(t->num_rows) +
                         " rows can be read, so the file is damaged (Access can repair it: Compact and Repair)");
    return count;
}

db::Value Reader::State::value(const std::string& table, const MdbColumn* col, ColumnType type,
                               const MdbField& f) const {
    if (type == ColumnType::Boolean) // the value is the row's null bit itself
        return db::Value(f.is_null ? 0 : 1);
    if (f.is_null)
        return {};
    const auto size = static_cast<std::size_t>(f.siz);
    if (f.siz < 0 || f.start < 0 ||
        static_cast<std::size_t>(f.start) + size > static_cast<std::size_t>(mdb->fmt->pg_size))
        fail(table, "a value of column '" + std::string(col->name) + "' lies outside its page");
    const unsigned char* p = mdb->pg_buf + f.start;
    auto need = [&](std::size_t n) {
        if (size < n)
            fail(table, "a value of column '" + std::string(col->name) + "' is too short");
    };
    switch (type) {
    case ColumnType::Boolean:
        break;
    case ColumnType::Byte:
        need(1);
        return db::Value(static_cast<int>(p[0]));
    case ColumnType::Integer:
        need(2);
        return db::Value(static_cast<int>(load<std::int16_t>(p)));
    case ColumnType::LongInteger:
    case ColumnType::Complex:
        need(4);
        return db::Value(static_cast<std::int64_t>(load<std::int32_t>(p)));
    case ColumnType::Currency:
        need(8);
        return db::Value(currencyText(load<std::int64_t>(p)));
    case ColumnType::Single:
        need(4);
        return db::Value(static_cast<double>(load<float>(p)));
    case ColumnType::Double:
        need(8);
        return db::Value(load<double>(p));
    case ColumnType::DateTime: {
        need(8);
        const double stored = load<double>(p);
        if (auto iso = dateTimeText(stored))
            return db::Value(std::move(*iso));
        return db::Value(stored); // not a date Access could show: keep what is stored
    }
    case ColumnType::Binary:
        return db::Value(blobOf(p, size));
    case ColumnType::Text:
        return db::Value(this->text->decode(p, size));
    case ColumnType::Memo: {
        const std::vector<unsigned char> bytes = longValue(table, col, f);
        return db::Value(text->decode(bytes.data(), bytes.size()));
    }
    case ColumnType::OleObject: {
        const std::vector<unsigned char> bytes = longValue(table, col, f);
        return db::Value(blobOf(bytes.data(), bytes.size()));
    }
    case ColumnType::Guid:
        need(16);
        return db::Value(guidText(p));
    case ColumnType::Numeric: {
        need(17);
        char* digits = mdb_numeric_to_string(mdb, f.start, col->col_scale, col->col_prec); // as libmdb calls it
        std::string decimal = digits ? digits : "";
        g_free(digits);
        return db::Value(std::move(decimal));
    }
    }
    return {};
}

// A memo or OLE value: inline after its header, one row of a long-value page, or a chain of such rows
// each starting with the page and row of the next.
std::vector<unsigned char> Reader::State::longValue(const std::string& table, const MdbColumn* col,
                                                    const MdbField& f) const {
    const auto size = static_cast<std::size_t>(f.siz);
    const unsigned char* p = mdb->pg_buf + f.start;
    if (size < kLongValueHeader)
        return {};
    const auto flags = load<std::uint32_t>(p);
    const std::uint32_t length = flags & kLengthMask;
    if (flags & kInline)
        return {p + kLongValueHeader, p + size};

    auto where = load<std::int32_t>(p + 4);
    auto broken = [&] { fail(table, "the long value of column '" + std::string(col->name) + "' is broken"); };
    std::vector<unsigned char> out;
    if (flags & kOnePage) {
        void* page = nullptr;
        int offset = 0;
        std::size_t rowSize = 0;
        if (mdb_find_pg_row(mdb, where, &page, &offset, &rowSize) != 0)
            broken();
        const auto* row = static_cast<const unsigned char*>(page) + offset;
        out.assign(row, row + std::min<std::size_t>(rowSize, length));
        return out;
    }
    out.reserve(std::min<std::size_t>(length, 1u << 24)); // a damaged length must not allocate a gigabyte
    std::unordered_set<std::int32_t> visited;             // a damaged chain may lead back into itself
    while (where != 0 && out.size() < length) {
        void* page = nullptr;
        int offset = 0;
        std::size_t rowSize = 0;
        if (!visited.insert(where).second || mdb_find_pg_row(mdb, where, &page, &offset, &rowSize) != 0 || rowSize < 4)
            broken();
        const auto* row = static_cast<const unsigned char*>(page) + offset;
        where = load<std::int32_t>(row);
        out.insert(out.end(), row + 4, row + rowSize);
    }
    if (out.size() < length)
        broken();
    out.resize(length);
    return out;
}

} // namespace accessdb
