#pragma once
// Rows of cells packed one after another in one buffer: a tag byte per cell, whole numbers as zig-zag
// varints, reals as their 8 bytes, text and blobs with a varint length. A million-row scan then costs tens
// of bytes per row, not hundreds, and reading one cell makes no value of the others. Each back-end adds
// its own way of appending a row (from its client library's cells) on top of this.
#include "db/value.h"
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace db {

class PackedCells {
public:
    PackedCells();
    ~PackedCells();
    PackedCells(PackedCells&&) noexcept;
    PackedCells& operator=(PackedCells&&) noexcept;

    // Past `budget` bytes of blocks in memory, the oldest full blocks go to an unnamed temporary file in
    // `folder` (made at the first such block, mode 0600, gone with the process however it ends) and are read
    // back from it when asked for: a whole block for rows read in order, the few bytes of one row for a row
    // read on its own. Every row must then hold `columns` cells. Making, writing or reading the file throws
    // db::Error naming the folder and `what` ("the rows of 'x'"); after a failed write the rows are not to
    // be used. Set before the first row; kept through clear().
    void spillPast(std::size_t budget, std::string folder, int columns, std::string what);
    // Bytes written to the temporary file so far.
    std::uint64_t spilledBytes() const;
    // Bytes the blocks kept in memory take.
    std::size_t memoryBytes() const { return m_memoryBytes; }

    void beginRow();
    void appendNull() { put(kNull); }
    void appendInteger(std::int64_t v);
    void appendReal(double d);
    void appendText(const void* bytes, std::size_t length) { appendBytes(kText, bytes, length); }
    void appendBlob(const void* bytes, std::size_t length) { appendBytes(kBlob, bytes, length); }
    // Room for a blob of `length` bytes that the caller fills in at once.
    unsigned char* appendBlobSpace(std::size_t length);

    void finish() {}
    void clear();
    long long rows() const { return m_placesFrom + static_cast<long long>(m_offsets.size()); }

    // The cell of a row that exists; a column past the row's end is Null.
    Value value(long long row, int column, int columns) const;
    // The cell when it holds a whole number, without making a value of it.
    std::optional<std::int64_t> integer(long long row, int column, int columns) const;

private:
    enum : unsigned char { kNull, kInteger, kReal, kText, kBlob };
    // The cells are kept in blocks that never move once made (growing one buffer would copy all of it
    // every time it doubles, and hold both copies meanwhile); a row lies within one block.
    // The first block is small and each next one twice the size of the last, up to kBlockBytes: a few
    // rows (a grid's block of them) take a few kilobytes, not a megabyte each.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
    static constexpr std::size_t kFirstBlockBytes = std::size_t{1} << 12;
    std::size_t nextBlockBytes() const {
        return m_blocks.empty() ? kFirstBlockBytes : std::min(kBlockBytes, 2 * m_blocks.back().capacity());
    }
    void addBlock(std::vector<unsigned char> block, long long firstRow);
    void appendBytes(unsigned char tag, const void* bytes, std::size_t length);
    void put(unsigned char byte) {
        room(1);
        m_blocks.back().push_back(byte);
    }
    void putVarint(std::uint64_t v);
    // Makes room for `bytes` more in the last block, moving the row begun so far to a new block if needed.
    void room(std::size_t bytes);
    static std::uint64_t getVarint(const unsigned char* data, std::size_t& at);
    static void skipCell(const unsigned char* data, std::size_t& at);
    // The bytes of a row's block (or of a copy of the row's part of it) and where its cell `column` starts
    // (at its tag).
    const unsigned char* cellAt(long long row, int column, std::size_t& at) const;

    // The block a row lies in: the last whose first row is not after it, looked for only among the
    // blocks of the row's run of kRunRows rows (usually one or two).
    static constexpr long long kRunRows = 4096;
    std::size_t blockOf(long long row) const;

    std::vector<std::vector<unsigned char>> m_blocks;
    std::vector<long long> m_firstRows;   // per block, the first row that begins in it
    std::vector<std::size_t> m_runBlocks; // per run of kRunRows rows, the block of its first row
    std::deque<std::uint32_t> m_offsets;  // per row from m_placesFrom on, its place in its block (a deque:
                                          // growing never copies, and the front goes with spilled blocks)
    long long m_placesFrom = 0;
    std::size_t m_memoryBytes = 0; // what the blocks in memory reserve

    // The temporary file's side (packed_cells.cpp); null while every block stays in memory.
    struct Spill;
    std::unique_ptr<Spill> m_spill;
    void spillBlocks();
    const unsigned char* spilledRow(std::size_t block, long long row, std::size_t& at) const;
};

} // namespace db
