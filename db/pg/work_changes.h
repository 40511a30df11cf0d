#pragma once
// Plain columns a run adds to one of its work tables on a server, and the values its UPDATEs give them.
//
// Nothing of this goes to the server as it happens: the columns and values are kept here, and the
// statements that read the work table join them in from array parameters (one per column), so a run that
// marks every row still sends no statement per row and leaves nothing of its own on the server.
#include "db/dialect.h"
#include "db/pg/session.h"
#include <cstdint>
#include <string>
#include <vector>

namespace db::pg {

class WorkChanges {
public:
    bool empty() const { return m_columns.empty(); }
    bool hasColumn(const std::string& name) const;

    // The work table's own columns are `columns` (as read from its source) and, when not empty, its
    // numbering column `numbering`.

    // ALTER TABLE ... ADD ... LONG: a column Null in every row until an update sets it.
    void addColumn(const dialect::AddColumn& a, const std::vector<Column>& columns, const std::string& numbering);

    // UPDATE ... SET added = whole number or Null, ... WHERE column = whole number. Every update names its
    // rows by the same column, one of whole numbers.
    void update(const dialect::Update& u, const std::vector<Column>& columns, const std::string& numbering);

    // The work table's rows `rows` (a subquery aliased "w") with the added columns joined in by the updates'
    // column: again a subquery aliased "w". The arrays are appended to `params`.
    std::string joined(const std::string& rows, std::vector<Param>& params) const;

private:
    // How an update left one column of one row: not named by it, set to Null, or set to a value.
    enum class Set : std::uint8_t { No, Null, Value };

    std::vector<std::string> m_columns; // added, in order
    std::string m_whereColumn;          // the column every update names its rows by
    std::string m_whereType;            // its SQL type, so the server compares without converting a row
    std::vector<std::int64_t> m_rows;   // the identifier each update named, in the order they came
    // By added column, one entry per update.
    std::vector<std::vector<std::int64_t>> m_values;
    std::vector<std::vector<Set>> m_set;
};

} // namespace db::pg
