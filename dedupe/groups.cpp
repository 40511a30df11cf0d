#include "dedupe/groups.h"

#include "db/sql_quote.h"
#include <algorithm>
#include <limits>

namespace dedupe {

bool isGroupColumnName(std::string_view name, bool exactly) {
    const auto lower = [&](char c) { return !exactly && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (const std::string_view column : {kGroupNumberColumn, kGroupSizeColumn, kSurvivorColumn})
        if (column.size() == name.size() &&
            std::equal(column.begin(), column.end(), name.begin(), [&](char a, char b) { return a == lower(b); }))
            return true;
    return false;
}

void GroupCounter::add(std::uint32_t ordinal, long long row) {
    if (ordinal >= m_keys) {
        while ((std::size_t{ordinal} >> kChunkBits) >= m_sizes.size())
            m_sizes.push_back(std::make_unique<std::uint8_t[]>(std::size_t{1} << kChunkBits)); // zeroed
        m_keys = ordinal + 1;
        if (m_places) {
            m_firstRow.resize(ordinal + std::size_t{1}, row);
            m_lastRow.resize(ordinal + std::size_t{1}, row);
        }
    }
    std::uint8_t& small = m_sizes[ordinal >> kChunkBits][ordinal & ((1u << kChunkBits) - 1)];
    std::uint32_t size;
    if (small + 1 < kLarge) {
        size = ++small;
    } else if (small + 1 == kLarge) {
        small = kLarge;
        size = m_largeSizes[ordinal] = kLarge;
    } else {
        size = ++m_largeSizes[ordinal];
    }
    if (m_places)
        m_lastRow[ordinal] = row;
    if (size == 2)
        ++m_groups;
    m_largest = std::max<long long>(m_largest, size >= 2 ? size : 0);
}

std::uint32_t GroupCounter::size(std::uint32_t ordinal) const {
    if (ordinal >= m_keys)
        return 0;
    const std::uint8_t small = m_sizes[ordinal >> kChunkBits][ordinal & ((1u << kChunkBits) - 1)];
    return small < kLarge ? small : m_largeSizes.at(ordinal);
}

void GroupRows::add(std::int64_t identifier, std::uint32_t ordinal, bool survivor) {
    m_rows.push_back(Row{identifier, ordinal, survivor});
}

void GroupRows::writeStatements(const GroupCounter& counter, const std::string& table, const std::string& identifier,
                                const std::function<void(const std::string&)>& execute) const {
    // The lowest identifier of each group decides its number.
    std::vector<std::int64_t> lowest;
    for (const Row& row : m_rows) {
        if (row.ordinal == kAlone || counter.size(row.ordinal) < 2)
            continue;
        if (row.ordinal >= lowest.size())
            lowest.resize(row.ordinal + std::size_t{1}, std::numeric_limits<std::int64_t>::max());
        lowest[row.ordinal] = std::min(lowest[row.ordinal], row.identifier);
    }
    std::vector<std::uint32_t> order;
    for (std::uint32_t ordinal = 0; ordinal < lowest.size(); ++ordinal)
        if (lowest[ordinal] != std::numeric_limits<std::int64_t>::max())
            order.push_back(ordinal);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return lowest[a] < lowest[b]; });
    std::vector<std::uint32_t> number(lowest.size(), 0);
    for (std::size_t i = 0; i < order.size(); ++i)
        number[order[i]] = static_cast<std::uint32_t>(i + 1);

    const std::string quoted = db::quoteBracket(table);
    for (const char* column : {kGroupNumberColumn, kGroupSizeColumn, kSurvivorColumn})
        execute("ALTER TABLE " + quoted + " ADD COLUMN " + db::quoteBracket(column) + " LONG");
    const std::string where = " WHERE " + db::quoteBracket(identifier) + " = ";
    const std::string set = "UPDATE " + quoted + " SET " + db::quoteBracket(kGroupNumberColumn) + " = ";
    for (const Row& row : m_rows) {
        const bool grouped = row.ordinal != kAlone && counter.size(row.ordinal) >= 2;
        if (!grouped) {
            execute("DELETE FROM " + quoted + where + std::to_string(row.identifier));
            continue;
        }
        execute(set + std::to_string(number[row.ordinal]) + ", " + db::quoteBracket(kGroupSizeColumn) + " = " +
                std::to_string(counter.size(row.ordinal)) + ", " + db::quoteBracket(kSurvivorColumn) + " = " +
                (row.survivor ? "1" : "0") + where + std::to_string(row.identifier));
    }
}

std::vector<GroupCounter::Group> GroupCounter::largestGroups(std::size_t count) const {
    std::vector<Group> found;
    for (std::uint32_t ordinal = 0; ordinal < m_keys; ++ordinal)
        if (const std::uint32_t rows = size(ordinal); rows >= 2)
            found.push_back(
                Group{ordinal, rows, m_places ? m_firstRow[ordinal] : -1, m_places ? m_lastRow[ordinal] : -1});
    const auto larger = [](const Group& a, const Group& b) {
        return a.size != b.size ? a.size > b.size : a.ordinal < b.ordinal;
    };
    const std::size_t kept = std::min(count, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(kept), found.end(), larger);
    found.resize(kept);
    return found;
}

} // namespace dedupe
