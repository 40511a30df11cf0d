#include "dedupe/groups.h"

#include <algorithm>

namespace dedupe {

bool isGroupColumnName(std::string_view name) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (const std::string_view column : {kGroupNumberColumn, kGroupSizeColumn, kSurvivorColumn})
        if (column.size() == name.size() &&
            std::equal(column.begin(), column.end(), name.begin(), [&](char a, char b) { return a == lower(b); }))
            return true;
    return false;
}

void GroupCounter::add(std::uint32_t ordinal, long long row) {
    if (ordinal >= m_sizes.size()) {
        m_sizes.resize(ordinal + std::size_t{1}, 0);
        m_firstRow.resize(ordinal + std::size_t{1}, row);
        m_lastRow.resize(ordinal + std::size_t{1}, row);
    }
    const std::uint32_t size = ++m_sizes[ordinal];
    m_lastRow[ordinal] = row;
    if (size == 2)
        ++m_groups;
    m_largest = std::max<long long>(m_largest, size >= 2 ? size : 0);
}

std::vector<GroupCounter::Group> GroupCounter::largestGroups(std::size_t count) const {
    std::vector<Group> found;
    for (std::uint32_t ordinal = 0; ordinal < m_sizes.size(); ++ordinal)
        if (m_sizes[ordinal] >= 2)
            found.push_back(Group{ordinal, m_sizes[ordinal], m_firstRow[ordinal], m_lastRow[ordinal]});
    const auto larger = [](const Group& a, const Group& b) {
        return a.size != b.size ? a.size > b.size : a.ordinal < b.ordinal;
    };
    const std::size_t kept = std::min(count, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(kept), found.end(), larger);
    found.resize(kept);
    return found;
}

} // namespace dedupe
