#include "db/packed_cells.h"
#include <algorithm>
#include <cstring>

namespace db {

void PackedCells::room(std::size_t bytes) {
    if (!m_blocks.empty() && m_blocks.back().capacity() - m_blocks.back().size() >= bytes)
        return;
    // The row begun (it is always in the last block) moves along, so that it lies in one block.
    const bool rowBegun = !m_blocks.empty() && !m_offsets.empty() && m_firstRows.back() < rows();
    const std::size_t from = rowBegun ? m_offsets.back() : 0;
    const std::size_t begun = rowBegun ? m_blocks.back().size() - from : 0;
    std::vector<unsigned char> block;
    block.reserve(std::max(nextBlockBytes(), begun + bytes));
    if (rowBegun) {
        std::vector<unsigned char>& last = m_blocks.back();
        block.insert(block.end(), last.begin() + static_cast<std::ptrdiff_t>(from), last.end());
        last.resize(from);
        m_offsets.back() = 0;
    }
    m_blocks.push_back(std::move(block));
    m_firstRows.push_back(rowBegun ? rows() - 1 : rows());
}

void PackedCells::beginRow() {
    // A full block is left as it is: the rows before stay where they are.
    if (m_blocks.empty() || m_blocks.back().size() == m_blocks.back().capacity()) {
        const std::size_t bytes = nextBlockBytes();
        m_blocks.emplace_back().reserve(bytes);
        m_firstRows.push_back(rows());
    }
    if (rows() % kRunRows == 0)
        m_runBlocks.push_back(m_blocks.size() - 1);
    m_offsets.push_back(static_cast<std::uint32_t>(m_blocks.back().size()));
}

void PackedCells::appendInteger(std::int64_t i) {
    put(kInteger);
    putVarint((static_cast<std::uint64_t>(i) << 1) ^ (i < 0 ? ~std::uint64_t{0} : 0));
}

void PackedCells::appendReal(double d) {
    room(1 + sizeof d);
    unsigned char bytes[sizeof d];
    std::memcpy(bytes, &d, sizeof d);
    m_blocks.back().push_back(kReal);
    m_blocks.back().insert(m_blocks.back().end(), bytes, bytes + sizeof d);
}

void PackedCells::appendBytes(unsigned char tag, const void* bytes, std::size_t length) {
    room(1 + 10 + length);
    put(tag);
    putVarint(length);
    const auto* p = static_cast<const unsigned char*>(bytes);
    if (length)
        m_blocks.back().insert(m_blocks.back().end(), p, p + length);
}

unsigned char* PackedCells::appendBlobSpace(std::size_t length) {
    room(1 + 10 + length);
    put(kBlob);
    putVarint(length);
    std::vector<unsigned char>& block = m_blocks.back();
    const std::size_t at = block.size();
    block.resize(at + length);
    return block.data() + at;
}

void PackedCells::clear() {
    m_blocks.clear();
    m_firstRows.clear();
    m_runBlocks.clear();
    m_offsets.clear();
}

std::size_t PackedCells::blockOf(long long row) const {
    // Blocks a moved row left without a row of their own share its first row with the next: the later counts.
    // A run's block may be the one its first row moved out of, which is never past the row's own.
    const auto run = static_cast<std::size_t>(row / kRunRows);
    const auto from = m_firstRows.begin() + static_cast<std::ptrdiff_t>(m_runBlocks[run]);
    const auto to = run + 1 < m_runBlocks.size()
                        ? m_firstRows.begin() + static_cast<std::ptrdiff_t>(m_runBlocks[run + 1] + 1)
                        : m_firstRows.end();
    return static_cast<std::size_t>(std::upper_bound(from, to, row) - m_firstRows.begin()) - 1;
}

const unsigned char* PackedCells::cellAt(long long row, int column, std::size_t& at) const {
    const unsigned char* data = m_blocks[blockOf(row)].data();
    at = m_offsets[static_cast<std::size_t>(row)];
    for (int c = 0; c < column; ++c) {
        switch (data[at++]) {
        case kInteger:
            getVarint(data, at);
            break;
        case kReal:
            at += sizeof(double);
            break;
        case kText:
        case kBlob:
            at += static_cast<std::size_t>(getVarint(data, at));
            break;
        default:
            break;
        }
    }
    return data;
}

Value PackedCells::value(long long row, int column, int columns) const {
    if (column < 0 || column >= columns)
        return Value();
    std::size_t at = 0;
    const unsigned char* data = cellAt(row, column, at);
    switch (data[at++]) {
    case kInteger: {
        const std::uint64_t z = getVarint(data, at);
        return Value(static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1)));
    }
    case kReal: {
        double d;
        std::memcpy(&d, data + at, sizeof d);
        return Value(d);
    }
    case kText: {
        const auto len = static_cast<std::size_t>(getVarint(data, at));
        return Value(std::string(reinterpret_cast<const char*>(data + at), len));
    }
    case kBlob: {
        const auto len = static_cast<std::size_t>(getVarint(data, at));
        Blob b;
        b.bytes.assign(data + at, data + at + len);
        return Value(std::move(b));
    }
    default:
        return Value();
    }
}

std::optional<std::int64_t> PackedCells::integer(long long row, int column, int columns) const {
    if (column < 0 || column >= columns)
        return std::nullopt;
    std::size_t at = 0;
    const unsigned char* data = cellAt(row, column, at);
    if (data[at++] != kInteger)
        return std::nullopt;
    const std::uint64_t z = getVarint(data, at);
    return static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1));
}

void PackedCells::putVarint(std::uint64_t v) {
    room(10);
    std::vector<unsigned char>& block = m_blocks.back();
    while (v >= 0x80) {
        block.push_back(static_cast<unsigned char>(v | 0x80));
        v >>= 7;
    }
    block.push_back(static_cast<unsigned char>(v));
}

std::uint64_t PackedCells::getVarint(const unsigned char* data, std::size_t& at) const {
    std::uint64_t v = 0;
    int shift = 0;
    while (true) {
        const unsigned char b = data[at++];
        v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return v;
        shift += 7;
    }
}

} // namespace db
