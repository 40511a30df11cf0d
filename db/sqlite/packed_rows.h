#pragma once
// PackedRows: rows read from SQLite, packed one after another in one buffer.
#include "db/sqlite/sqlite_api.h"
#include "db/value.h"
#include <cstdint>
#include <cstring>
#include <vector>

namespace db::sqlite {

// Rows packed one after another in one buffer: a tag byte per cell, integers as zig-zag varints, text
// and blobs with a varint length. A million-row scan then costs tens of bytes per row, not hundreds, and
// reading one cell makes no value of the others.
class PackedRows {
public:
    void append(const Api& api, sqlite3_stmt* stmt, int columns) {
        m_offsets.push_back(m_data.size());
        for (int c = 0; c < columns; ++c) {
            switch (api.columnType(stmt, c)) {
            case SQLITE_INTEGER: {
                const auto i = api.columnInt64(stmt, c);
                const auto v = static_cast<std::uint64_t>(i);
                m_data.push_back(kInteger);
                putVarint((v << 1) ^ (i < 0 ? ~std::uint64_t{0} : 0));
                break;
            }
            case SQLITE_FLOAT: {
                const double d = api.columnDouble(stmt, c);
                unsigned char bytes[sizeof d];
                std::memcpy(bytes, &d, sizeof d);
                m_data.push_back(kReal);
                m_data.insert(m_data.end(), bytes, bytes + sizeof d);
                break;
            }
            case SQLITE_TEXT: {
                const auto* p = api.columnText(stmt, c);
                const auto len = static_cast<std::size_t>(api.columnBytes(stmt, c));
                m_data.push_back(kText);
                putVarint(len);
                m_data.insert(m_data.end(), p, p + len);
                break;
            }
            case SQLITE_BLOB: {
                const auto* p = static_cast<const unsigned char*>(api.columnBlob(stmt, c));
                const auto len = static_cast<std::size_t>(api.columnBytes(stmt, c));
                m_data.push_back(kBlob);
                putVarint(len);
                if (len)
                    m_data.insert(m_data.end(), p, p + len);
                break;
            }
            default:
                m_data.push_back(kNull);
            }
        }
    }

    void finish() {
        m_data.shrink_to_fit();
        m_offsets.shrink_to_fit();
    }

    long long rows() const { return static_cast<long long>(m_offsets.size()); }

    // The cell of a row that exists; a column past the row's end is Null.
    Value value(long long row, int column, int columns) const {
        if (column < 0 || column >= columns)
            return Value();
        std::size_t at = m_offsets[static_cast<std::size_t>(row)];
        for (int c = 0; c < column; ++c)
            skip(at);
        switch (m_data[at++]) {
        case kInteger: {
            const std::uint64_t z = getVarint(at);
            return Value(static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1)));
        }
        case kReal: {
            double d;
            std::memcpy(&d, m_data.data() + at, sizeof d);
            return Value(d);
        }
        case kText: {
            const auto len = static_cast<std::size_t>(getVarint(at));
            return Value(std::string(reinterpret_cast<const char*>(m_data.data() + at), len));
        }
        case kBlob: {
            const auto len = static_cast<std::size_t>(getVarint(at));
            Blob b;
            b.bytes.assign(m_data.begin() + static_cast<std::ptrdiff_t>(at),
                           m_data.begin() + static_cast<std::ptrdiff_t>(at + len));
            return Value(std::move(b));
        }
        default:
            return Value();
        }
    }

private:
    enum : unsigned char { kNull, kInteger, kReal, kText, kBlob };

    void putVarint(std::uint64_t v) {
        while (v >= 0x80) {
            m_data.push_back(static_cast<unsigned char>(v | 0x80));
            v >>= 7;
        }
        m_data.push_back(static_cast<unsigned char>(v));
    }

    std::uint64_t getVarint(std::size_t& at) const {
        std::uint64_t v = 0;
        int shift = 0;
        while (true) {
            const unsigned char b = m_data[at++];
            v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                return v;
            shift += 7;
        }
    }

    void skip(std::size_t& at) const {
        switch (m_data[at++]) {
        case kInteger:
            getVarint(at);
            break;
        case kReal:
            at += sizeof(double);
            break;
        case kText:
        case kBlob:
            at += static_cast<std::size_t>(getVarint(at));
            break;
        default:
            break;
        }
    }

    std::vector<unsigned char> m_data;
    std::vector<std::size_t> m_offsets;
};

} // namespace db::sqlite
