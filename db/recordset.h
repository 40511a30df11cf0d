#pragma once
// Recordset: the rows of one SELECT of the dialect (or a schema rowset).
//
// A static cursor (adOpenStatic) is a snapshot: rows are read when it opens, later changes on the
// same connection do not alter it, and RecordCount is exact. Other cursor types read lazily, a block
// of rows at a time, so a grid can show the first screen of a huge table without reading the rest.
#include "db/connection.h"
#include "db/field.h"
#include "db/types.h"
#include "db/value.h"
#include <memory>
#include <string>
#include <vector>

namespace db {

class RecordSource; // what a back-end reads the rows from (db/record_source.h)

class Recordset {
public:
    Recordset(); // a new, closed record set

    int CursorLocation = 2; // adUseServer

    void Open(const std::string& sql, const Connection& connection, int cursorType, int lockType);
    void Close();
    bool isOpen() const;

    // Column metadata and the current row's values.
    int fieldCount() const;
    Field field(int index) const;               // throws 3265 when out of range
    Field field(const std::string& name) const; // by name, exact; throws 3265 when absent
    Value value(int index) const;               // current row's value; Null at EOF; throws 3265 out of range
    Value operator[](int index) const { return value(index); }

    bool EOF_() const; // true after the last row (and at once for an empty result)
    void MoveNext();   // throws 3021 at EOF
    void MoveFirst();
    long long RecordCount() const; // exact

    // Random access for grids: value at a 0-based row and column. Lazy cursors fetch the block that
    // holds the row and keep a bounded number of blocks in memory.
    Value valueAt(long long row, int column) const;

    // Constructs an in-memory record set (schema rowsets).
    static Recordset fromRows(std::vector<Field> columns, std::vector<std::vector<Value>> rows);

private:
    std::shared_ptr<RecordSource> m_source;
    long long m_position = 0;
};

} // namespace db
