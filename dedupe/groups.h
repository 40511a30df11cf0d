#pragma once
// The groups of rows that share a key, counted during a scan: how many rows each key has, which groups
// hold two or more rows, and the largest of them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dedupe {

// The columns the table of groups adds to the chosen table's, in this order.
inline constexpr const char* kGroupNumberColumn = "group_number";
inline constexpr const char* kGroupSizeColumn = "group_size";
inline constexpr const char* kSurvivorColumn = "survivor";

// Whether a field of the chosen table would clash with one of those columns, names compared as the
// database compares them: ASCII letters without regard to case in a file, exactly on a server (which
// tells quoted names apart by case).
bool isGroupColumnName(std::string_view name, bool exactly = false);

class GroupCounter {
public:
    // Whether the scan places of each key's first and last rows are kept, for largestGroups: 16 bytes a
    // key, which a run that only counts its groups need not hold.
    enum class Places { Kept, NotKept };
    explicit GroupCounter(Places places = Places::Kept) : m_places(places == Places::Kept) {}

    // One more row with the key numbered `ordinal` (as the key set numbers keys: a new key is the next
    // number). `row` is the row's place in the scan.
    void add(std::uint32_t ordinal, long long row);

    long long groups() const { return m_groups; } // groups of two or more rows
    std::uint32_t size(std::uint32_t ordinal) const;
    long long largest() const { return m_largest; } // rows of the largest such group; 0 when none

    // The `count` largest groups of two or more rows, largest first, of equal size the one first seen
    // first: the key's ordinal, its size and the scan places of its first and last rows (-1 when the
    // places are not kept).
    struct Group {
        std::uint32_t ordinal;
        std::uint32_t size;
        long long firstRow;
        long long lastRow;
    };
    std::vector<Group> largestGroups(std::size_t count) const;

private:
    // A key's size in one byte, in chunks that are never moved: a size of kLarge or more is kept in
    // m_largeSizes instead, and a group that large is rare.
    static constexpr unsigned kChunkBits = 16;
    static constexpr std::uint8_t kLarge = 0xFF;

    bool m_places;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_sizes;          // by ordinal
    std::uint32_t m_keys = 0;                                      // ordinals below it have a size
    std::unordered_map<std::uint32_t, std::uint32_t> m_largeSizes; // by ordinal
    std::vector<long long> m_firstRow;                             // by ordinal
    std::vector<long long> m_lastRow;                              // by ordinal
    long long m_groups = 0;
    long long m_largest = 0;
};

// Every row of a scan with its group, for the table of groups: the work copy of the table is turned into
// it by statements of the dialect (three columns added, each grouped row's filled, every other row deleted).
class GroupRows {
public:
    static constexpr std::uint32_t kAlone = 0xFFFFFFFFu; // a row that belongs to no group (an empty key)

    void add(std::int64_t identifier, std::uint32_t ordinal, bool survivor);

    // Passes each statement to `execute`, in order. Groups are numbered 1, 2, ... by their lowest
    // identifier.
    void writeStatements(const GroupCounter& counter, const std::string& table, const std::string& identifier,
                         const std::function<void(const std::string&)>& execute) const;

private:
    struct Row {
        std::int64_t identifier;
        std::uint32_t ordinal;
        bool survivor;
    };
    std::vector<Row> m_rows;
};

} // namespace dedupe
