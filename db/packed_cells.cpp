#include "db/packed_cells.h"
#include <cstring>

namespace db {

void PackedCells::appendInteger(std::int64_t i) {
    m_data.push_back(kInteger);
    putVarint((static_cast<std::uint64_t>(i) << 1) ^ (i < 0 ? ~std::uint64_t{0} : 0));
}

void PackedCells::appendReal(double d) {
    unsigned char bytes[sizeof d];
    std::memcpy(bytes, &d, sizeof d);
    m_data.push_back(kReal);
    m_data.insert(m_data.end(), bytes, bytes + sizeof d);
}

void PackedCells::appendBytes(unsigned char tag, const void* bytes, std::size_t length) {
    m_data.push_back(tag);
    putVarint(length);
    const auto* p = static_cast<const unsigned char*>(bytes);
    if (length)
        m_data.insert(m_data.end(), p, p + length);
}

unsigned char* PackedCells::appendBlobSpace(std::size_t length) {
    m_data.push_back(kBlob);
    putVarint(length);
    const std::size_t at = m_data.size();
    m_data.resize(at + length);
    return m_data.data() + at;
}

void PackedCells::finish() {
    m_data.shrink_to_fit();
    m_offsets.shrink_to_fit();
}

void PackedCells::clear() {
    m_data.clear();
    m_offsets.clear();
}

std::size_t PackedCells::cellAt(long long row, int column) const {
    std::size_t at = m_offsets[static_cast<std::size_t>(row)];
    for (int c = 0; c < column; ++c) {
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
    return at;
}

Value PackedCells::value(long long row, int column, int columns) const {
    if (column < 0 || column >= columns)
        return Value();
    std::size_t at = cellAt(row, column);
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

std::optional<std::int64_t> PackedCells::integer(long long row, int column, int columns) const {
    if (column < 0 || column >= columns)
        return std::nullopt;
    std::size_t at = cellAt(row, column);
    if (m_data[at++] != kInteger)
        return std::nullopt;
    const std::uint64_t z = getVarint(at);
    return static_cast<std::int64_t>((z >> 1) ^ (~(z & 1) + 1));
}

void PackedCells::putVarint(std::uint64_t v) {
    while (v >= 0x80) {
        m_data.push_back(static_cast<unsigned char>(v | 0x80));
        v >>= 7;
    }
    m_data.push_back(static_cast<unsigned char>(v));
}

std::uint64_t PackedCells::getVarint(std::size_t& at) const {
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

} // namespace db
