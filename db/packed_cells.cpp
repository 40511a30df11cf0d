#include "db/packed_cells.h"
#include "db/error.h"
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace db {

// The file side of a store whose older blocks went to disk. Blocks go in the order they were made, so the
// blocks before `inMemoryFrom` are in the file, one after another, and the rest in memory; the places of
// those blocks' rows are dropped, but every kAnchorRows-th row's is kept, so that one row is found by
// reading at most that many rows' bytes.
struct PackedCells::Spill {
    static constexpr long long kAnchorRows = 16;
    static constexpr std::size_t kCachedBlocks = 2;

    std::size_t budget = 0;
    std::string folder;
    int columns = 0;
    std::string what;

    int fd = -1;
    std::uint64_t fileEnd = 0;
    std::size_t inMemoryFrom = 0;          // the first block still in memory
    std::vector<std::uint64_t> filePlaces; // per block in the file, where it starts there
    std::vector<std::uint32_t> sizes;      // and its bytes
    std::deque<std::uint32_t> anchors;     // per kAnchorRows rows, the first one's place in its block

    // Blocks read back whole, with their rows' places, for rows read in order.
    struct Cached {
        std::size_t block = SIZE_MAX;
        std::vector<unsigned char> bytes;
        std::vector<std::uint32_t> places;
    };
    mutable std::array<Cached, kCachedBlocks> cache;
    mutable std::size_t nextVictim = 0;
    mutable long long lastRow = -1;   // the last row read from the file, however
    mutable long long streamRow = -1; // the last row read from a whole block
    // The bytes read for a row read on its own (from its anchor on), and where the row starts in them.
    mutable long long spanRow = -1;
    mutable std::size_t spanAt = 0;
    mutable std::vector<unsigned char> span;

    Spill(std::size_t budget_, std::string folder_, int columns_, std::string what_)
        : budget(budget_), folder(std::move(folder_)), columns(columns_), what(std::move(what_)) {}
    ~Spill() {
        if (fd >= 0)
            ::close(fd);
    }
    Spill(const Spill&) = delete;
    Spill& operator=(const Spill&) = delete;

    [[noreturn]] void fail(const std::string& doing, int error) const {
        throw Error(error == ENOSPC || error == EDQUOT || error == EFBIG ? err::DiskFull : err::EngineError,
                    "Could not " + doing + " the temporary folder '" + folder + "' (" + std::strerror(error) +
                        ") for " + what + ".");
    }

    void open() {
        // Unnamed from the start where the file system allows it; else named and unlinked at once.
#ifdef O_TMPFILE
        fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return;
#endif
        std::string name = folder + "/rowsifter-rows-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0)
            fail("make a file in", errno);
        ::unlink(name.c_str());
    }

    void write(const unsigned char* data, std::size_t bytes) {
        if (fd < 0)
            open();
        std::uint64_t at = fileEnd;
        while (bytes > 0) {
            const ssize_t n = ::pwrite(fd, data, bytes, static_cast<off_t>(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail("write to a file in", n < 0 ? errno : ENOSPC);
            data += n;
            bytes -= static_cast<std::size_t>(n);
            at += static_cast<std::uint64_t>(n);
        }
        fileEnd = at;
    }

    void read(unsigned char* data, std::size_t bytes, std::uint64_t at) const {
        while (bytes > 0) {
            const ssize_t n = ::pread(fd, data, bytes, static_cast<off_t>(at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail("read back a file in", n < 0 ? errno : EIO);
            data += n;
            bytes -= static_cast<std::size_t>(n);
            at += static_cast<std::uint64_t>(n);
        }
    }
};

PackedCells::PackedCells() = default;
PackedCells::~PackedCells() = default;
PackedCells::PackedCells(PackedCells&&) noexcept = default;
PackedCells& PackedCells::operator=(PackedCells&&) noexcept = default;

void PackedCells::spillPast(std::size_t budget, std::string folder, int columns, std::string what) {
    m_spill = std::make_unique<Spill>(budget, std::move(folder), columns, std::move(what));
    for (long long r = 0; r < rows(); r += Spill::kAnchorRows)
        m_spill->anchors.push_back(m_offsets[static_cast<std::size_t>(r - m_placesFrom)]);
}

std::uint64_t PackedCells::spilledBytes() const {
    return m_spill ? m_spill->fileEnd : 0;
}

void PackedCells::addBlock(std::vector<unsigned char> block, long long firstRow) {
    m_memoryBytes += block.capacity();
    m_blocks.push_back(std::move(block));
    m_firstRows.push_back(firstRow);
    if (m_spill)
        spillBlocks();
}

void PackedCells::spillBlocks() {
    // The last block is the one being filled; the ones before it are full and never change again.
    Spill& s = *m_spill;
    while (m_memoryBytes > s.budget && s.inMemoryFrom + 1 < m_blocks.size()) {
        const std::size_t b = s.inMemoryFrom;
        std::vector<unsigned char>& block = m_blocks[b];
        s.filePlaces.push_back(s.fileEnd);
        s.sizes.push_back(static_cast<std::uint32_t>(block.size()));
        s.write(block.data(), block.size());
        m_memoryBytes -= block.capacity();
        std::vector<unsigned char>().swap(block);
        const long long end = m_firstRows[b + 1]; // the row after the block's own
        m_offsets.erase(m_offsets.begin(), m_offsets.begin() + static_cast<std::ptrdiff_t>(end - m_placesFrom));
        m_placesFrom = end;
        ++s.inMemoryFrom;
    }
}

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
        m_offsets.back() = 0; // (a moved row's anchor goes stale, unread: a block's first row is at 0)
    }
    addBlock(std::move(block), rowBegun ? rows() - 1 : rows());
}

void PackedCells::beginRow() {
    // A full block is left as it is: the rows before stay where they are.
    if (m_blocks.empty() || m_blocks.back().size() == m_blocks.back().capacity()) {
        std::vector<unsigned char> block;
        block.reserve(nextBlockBytes());
        addBlock(std::move(block), rows());
    }
    if (rows() % kRunRows == 0)
        m_runBlocks.push_back(m_blocks.size() - 1);
    const auto at = static_cast<std::uint32_t>(m_blocks.back().size());
    if (m_spill && rows() % Spill::kAnchorRows == 0)
        m_spill->anchors.push_back(at);
    m_offsets.push_back(at);
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
    m_placesFrom = 0;
    m_memoryBytes = 0;
    if (m_spill) // a new file when one is needed again
        m_spill = std::make_unique<Spill>(m_spill->budget, m_spill->folder, m_spill->columns, m_spill->what);
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

void PackedCells::skipCell(const unsigned char* data, std::size_t& at) {
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

const unsigned char* PackedCells::cellAt(long long row, int column, std::size_t& at) const {
    const std::size_t block = blockOf(row);
    const unsigned char* data = nullptr;
    if (!m_spill || block >= m_spill->inMemoryFrom) {
        data = m_blocks[block].data();
        at = m_offsets[static_cast<std::size_t>(row - m_placesFrom)];
    } else {
        data = spilledRow(block, row, at);
    }
    for (int c = 0; c < column; ++c)
        skipCell(data, at);
    return data;
}

const unsigned char* PackedCells::spilledRow(std::size_t block, long long row, std::size_t& at) const {
    const Spill& s = *m_spill;
    const long long first = m_firstRows[block];
    const long long end = m_firstRows[block + 1]; // a block in the file is never the last
    const auto skipRows = [&s](const unsigned char* data, std::size_t& place, long long count) {
        for (; count > 0; --count)
            for (int c = 0; c < s.columns; ++c)
                skipCell(data, place);
    };
    for (const Spill::Cached& cached : s.cache)
        if (cached.block == block) {
            s.lastRow = s.streamRow = row;
            at = cached.places[static_cast<std::size_t>(row - first)];
            return cached.bytes.data();
        }
    if (row == s.spanRow) {
        at = s.spanAt;
        return s.span.data();
    }
    if (row == s.streamRow + 1 || row == s.lastRow + 1) {
        // Read in order: the whole block, and the places of its rows.
        Spill::Cached& cached = s.cache[s.nextVictim];
        s.nextVictim = (s.nextVictim + 1) % s.cache.size();
        cached.block = SIZE_MAX;
        cached.bytes.resize(s.sizes[block]);
        s.read(cached.bytes.data(), cached.bytes.size(), s.filePlaces[block]);
        cached.places.clear();
        std::size_t place = 0;
        for (long long r = first; r < end; ++r) {
            cached.places.push_back(static_cast<std::uint32_t>(place));
            skipRows(cached.bytes.data(), place, 1);
        }
        cached.block = block;
        s.lastRow = s.streamRow = row;
        at = cached.places[static_cast<std::size_t>(row - first)];
        return cached.bytes.data();
    }
    // A row on its own: the bytes from the nearest anchor (or the block's start) up to the next anchor.
    const long long anchor = row - row % Spill::kAnchorRows;
    const long long from = std::max(anchor, first);
    const std::size_t fromPlace = from == first ? 0 : s.anchors[static_cast<std::size_t>(from / Spill::kAnchorRows)];
    const long long next = anchor + Spill::kAnchorRows;
    const std::size_t toPlace =
        next < end ? s.anchors[static_cast<std::size_t>(next / Spill::kAnchorRows)] : s.sizes[block];
    s.spanRow = -1;
    s.span.resize(toPlace - fromPlace);
    s.read(s.span.data(), s.span.size(), s.filePlaces[block] + fromPlace);
    std::size_t place = 0;
    skipRows(s.span.data(), place, row - from);
    s.spanRow = s.lastRow = row;
    s.spanAt = at = place;
    return s.span.data();
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

std::uint64_t PackedCells::getVarint(const unsigned char* data, std::size_t& at) {
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
