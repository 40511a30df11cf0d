#include "db/pg/work_changes.h"
#include "db/error.h"
#include "db/sql_quote.h"
#include <algorithm>
#include <numeric>

namespace db::pg {

namespace {

void appendArray(std::string& text, std::int64_t value, bool first) {
    if (!first)
        text += ',';
    text += std::to_string(value);
}

// The SQL type of a whole-number column of the work table (by the server's type numbers); empty for any
// other column.
std::string wholeNumberType(const std::string& name, const std::vector<Column>& columns, const std::string& numbering) {
    if (name == numbering)
        return "bigint";
    for (const Column& c : columns)
        if (c.name == name)
            switch (c.typeOid) {
            case 20: // int8
                return "bigint";
            case 21: // int2
                return "smallint";
            case 23: // int4
                return "integer";
            case 26:
                return "oid";
            default:
                return "";
            }
    throw Error(err::NoSuchColumn, "No field '" + name + "' in the work table.");
}

} // namespace

bool WorkChanges::hasColumn(const std::string& name) const {
    return std::find(m_columns.begin(), m_columns.end(), name) != m_columns.end();
}

void WorkChanges::addColumn(const dialect::AddColumn& a, const std::vector<Column>& columns,
                            const std::string& numbering) {
    const bool taken = a.column == numbering || hasColumn(a.column) ||
                       std::any_of(columns.begin(), columns.end(), [&](const Column& c) { return c.name == a.column; });
    if (taken)
        throw Error(err::EngineError, "Field '" + a.column + "' already exists in table '" + a.table + "'.");
    m_columns.push_back(a.column);
    // Rows updated before the column came keep it Null.
    m_values.emplace_back(m_rows.size(), 0);
    m_set.emplace_back(m_rows.size(), Set::No);
}

void WorkChanges::update(const dialect::Update& u, const std::vector<Column>& columns, const std::string& numbering) {
    std::vector<std::size_t> places;
    for (const dialect::Condition& c : u.set) {
        const auto at = std::find(m_columns.begin(), m_columns.end(), c.column);
        if (at == m_columns.end())
            throw Error(err::EngineError, "Only a field added by the run itself is changed in the work table '" +
                                              u.table + "', not '" + c.column + "'.");
        if (!c.value.isNull() && !c.value.isInteger())
            throw Error(err::TypeMismatch,
                        "The field '" + c.column + "' of the work table '" + u.table + "' holds whole numbers only.");
        places.push_back(static_cast<std::size_t>(at - m_columns.begin()));
    }
    const std::string whereType = wholeNumberType(u.where.column, columns, numbering);
    if (whereType.empty() || !u.where.value.isInteger())
        throw Error(err::TypeMismatch, "Rows of the work table '" + u.table + "' are changed by a whole number only.");
    if (!m_whereColumn.empty() && m_whereColumn != u.where.column)
        throw Error(err::EngineError,
                    "Rows of the work table '" + u.table + "' are changed by '" + m_whereColumn + "' only.");
    m_whereColumn = u.where.column;
    m_whereType = whereType;
    m_rows.push_back(u.where.value.asInteger());
    for (std::size_t k = 0; k < m_columns.size(); ++k) {
        m_values[k].push_back(0);
        m_set[k].push_back(Set::No);
    }
    for (std::size_t i = 0; i < places.size(); ++i) {
        const dialect::Condition& c = u.set[i];
        m_set[places[i]].back() = c.value.isNull() ? Set::Null : Set::Value;
        if (!c.value.isNull())
            m_values[places[i]].back() = c.value.asInteger();
    }
}

std::string WorkChanges::joined(const std::string& rows, std::vector<Param>& params) const {
    std::string list = "w.*";
    if (m_rows.empty()) {
        // Nothing was set: the added columns are Null in every row.
        for (const std::string& column : m_columns)
            list += ", NULL::bigint AS " + quoteIdentifier(column);
        return "(SELECT " + list + " FROM " + rows + ") AS w";
    }
    // One entry per row named: of several updates of a row, each column keeps the last value set.
    std::vector<std::size_t> order(m_rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return m_rows[a] < m_rows[b]; });
    std::string ids = "{";
    std::vector<std::string> values(m_columns.size(), "{");
    bool first = true;
    for (std::size_t i = 0; i < order.size();) {
        std::size_t end = i;
        while (end < order.size() && m_rows[order[end]] == m_rows[order[i]])
            ++end;
        appendArray(ids, m_rows[order[i]], first);
        for (std::size_t k = 0; k < m_columns.size(); ++k) {
            Set set = Set::Null;
            std::int64_t value = 0;
            for (std::size_t j = i; j < end; ++j)
                if (m_set[k][order[j]] != Set::No) {
                    set = m_set[k][order[j]];
                    value = m_values[k][order[j]];
                }
            if (set == Set::Value)
                appendArray(values[k], value, first);
            else
                values[k] += first ? "NULL" : ",NULL";
        }
        first = false;
        i = end;
    }
    params.emplace_back(ids + "}");
    std::string arrays = "$" + std::to_string(params.size()) + "::" + m_whereType + "[]";
    std::string names = "id";
    for (std::size_t k = 0; k < m_columns.size(); ++k) {
        params.emplace_back(values[k] + "}");
        arrays += ", $" + std::to_string(params.size()) + "::bigint[]";
        names += ", v" + std::to_string(k);
        list += ", c.v" + std::to_string(k) + " AS " + quoteIdentifier(m_columns[k]);
    }
    // The server joins the arrays in by hashing, as it looks up the recorded deletes.
    return "(SELECT " + list + " FROM " + rows + " LEFT JOIN unnest(" + arrays + ") AS c(" + names + ") ON c.id = w." +
           quoteIdentifier(m_whereColumn) + ") AS w";
}

} // namespace db::pg
