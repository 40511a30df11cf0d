#pragma once
// The groups of rows that share a key, counted during a scan: how many rows each key has, which groups
// hold two or more rows, and the largest of them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dedupe {

// The columns the table of groups adds to the chosen table's, in this order.
inline constexpr const char* kGroupNumberColumn = "group_number";
inline constexpr const char* kGroupSizeColumn = "group_size";
inline constexpr const char* kSurvivorColumn = "survivor";

// Whether a field of the chosen table would clash with one of those columns (ASCII letters compared
// without regard to case, as the database compares names).
bool isGroupColumnName(std::string_view name);

class GroupCounter {
public:
    // One more row with the key numbered `ordinal` (as the key set numbers keys: a new key is the next
    // number). `row` is the row's place in the scan.
    void add(std::uint32_t ordinal, long long row);

    long long groups() const { return m_groups; } // groups of two or more rows
    std::uint32_t size(std::uint32_t ordinal) const { return ordinal < m_keys.size() ? m_keys[ordinal].size : 0; }
    long long largest() const { return m_largest; } // rows of the largest such group; 0 when none

    // The `count` largest groups of two or more rows, largest first, of equal size the one first seen
    // first: the key's ordinal, its size and the scan places of its first and last rows.
    struct Group {
        std::uint32_t ordinal;
        std::uint32_t size;
        long long firstRow;
        long long lastRow;
    };
    std::vector<Group> largestGroups(std::size_t count) const;

private:
    // By ordinal, 12 bytes a key (a scan of ten million rows may have millions of keys): rows as the key
    // set counts them, below 2^32.
    struct Key {
        std::uint32_t size;
        std::uint32_t firstRow;
        std::uint32_t lastRow;
    };
    std::vector<Key> m_keys;
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
