#pragma once
// Rows of cells packed one after another in one buffer: a tag byte per cell, whole numbers as zig-zag
// varints, reals as their 8 bytes, text and blobs with a varint length. A million-row scan then costs tens
// of bytes per row, not hundreds, and reading one cell makes no value of the others. Each back-end adds
// its own way of appending a row (from its client library's cells) on top of this.
#include "db/value.h"
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace db {

class PackedCells {
public:
    void beginRow() { m_offsets.push_back(m_data.size()); }
    void appendNull() { m_data.push_back(kNull); }
    void appendInteger(std::int64_t v);
    void appendReal(double d);
    void appendText(const void* bytes, std::size_t length) { appendBytes(kText, bytes, length); }
    void appendBlob(const void* bytes, std::size_t length) { appendBytes(kBlob, bytes, length); }
    // Room for a blob of `length` bytes that the caller fills in at once.
    unsigned char* appendBlobSpace(std::size_t length);

    void finish();
    void clear();
    long long rows() const { return static_cast<long long>(m_offsets.size()); }

    // The cell of a row that exists; a column past the row's end is Null.
    Value value(long long row, int column, int columns) const;
    // The cell when it holds a whole number, without making a value of it.
    std::optional<std::int64_t> integer(long long row, int column, int columns) const;

private:
    enum : unsigned char { kNull, kInteger, kReal, kText, kBlob };
    void appendBytes(unsigned char tag, const void* bytes, std::size_t length);
    void putVarint(std::uint64_t v);
    std::uint64_t getVarint(std::size_t& at) const;
    // Where a cell starts: its tag.
    std::size_t cellAt(long long row, int column) const;

    std::vector<unsigned char> m_data;
    std::vector<std::size_t> m_offsets;
};

} // namespace db
