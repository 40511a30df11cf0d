#include "dedupe/dry_run.h"

#include "db/connection.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "dedupe/groups.h"
#include "dedupe/key_set.h"
#include "dedupe/row_key.h"

namespace dedupe {

namespace {

// The column a run tells the rows apart by: the table's last whole-number column; empty when it has none
// (a run then numbers the rows in stored order).
std::string identifierOf(const db::Connection& connection, const EngineInputs& inputs) {
    db::Recordset rows;
    rows.Open("SELECT * FROM " + db::quoteBracket(inputs.TableName), connection, db::adOpenDynamic, db::adLockReadOnly);
    std::string found;
    for (int i = 0; i < rows.fieldCount(); ++i)
        if (rows.field(i).Type == db::adInteger)
            found = rows.field(i).Name;
    rows.Close();
    return found;
}

// In the order of a run's scan: the order given (if any), then the identifier, turned round for --keep
// last, so the first row of each group is the one the run keeps. Without an identifier, in stored order
// (or in the order given, ties in stored order).
void openRows(db::Recordset& rows, const db::Connection& connection, const EngineInputs& inputs,
              const std::string& identifier) {
    std::string order = survivorOrder(inputs.options);
    if (!identifier.empty())
        order += db::quoteBackquote(identifier) + (inputs.options.keepLast ? " DESC" : "") + ", ";
    if (!order.empty())
        order = " ORDER BY " + order.substr(0, order.size() - 2);
    rows.Open("SELECT " + inputs.ChosenFieldList + " FROM " + db::quoteBracket(inputs.TableName) + order, connection,
              db::adOpenForwardOnly, db::adLockReadOnly);
}

// The chosen values of the rows at the given places of the scan, as stored, joined by ", ".
std::vector<std::string> valuesAt(const db::Connection& connection, const EngineInputs& inputs,
                                  const std::string& identifier, const std::vector<long long>& places) {
    std::vector<std::string> found(places.size());
    db::Recordset rows;
    openRows(rows, connection, inputs, identifier);
    long long place = 0;
    for (; !rows.EOF_(); rows.MoveNext(), ++place)
        for (std::size_t i = 0; i < places.size(); ++i)
            if (places[i] == place)
                for (int k = 0; k < rows.fieldCount(); ++k)
                    found[i] += (k ? ", " : "") + rows[k].toText();
    return found;
}

} // namespace

DryRunResult countRepeats(const EngineInputs& inputs) {
    db::Connection connection;
    connection.Mode = db::adModeRead;
    connection.Open(inputs.connectionString);
    const std::string identifier = inputs.options.groupsInto.empty() ? std::string() : identifierOf(connection, inputs);
    db::Recordset rows;
    openRows(rows, connection, inputs, identifier);
    GroupCounter groups;
    std::uint32_t ordinal = 0;
    const KeyRules& rules = inputs.options.rules;
    const int columns = rows.fieldCount();
    KeySet seen;
    DryRunResult result;
    std::string key;
    for (; !rows.EOF_(); rows.MoveNext()) {
        key.clear();
        bool empty = true;
        for (int k = 0; k < columns; ++k)
            empty = appendRuledKeyPart(key, rows[k], rules) && empty;
        ++result.rowsRead;
        if (empty && inputs.options.emptyKeysDistinct)
            continue;
        if (!seen.insert(key, &ordinal))
            ++result.rowsRemoved;
        groups.add(ordinal, result.rowsRead - 1);
    }
    rows.Close();
    result.groups = groups.groups();
    result.largestGroup = groups.largest();
    if (!inputs.options.groupsInto.empty()) {
        // The survivor: the first row of its group in the order read; without an identifier or an order,
        // with --keep last, the last.
        const bool last = inputs.options.keepLast && inputs.options.orderBy.empty() && identifier.empty();
        std::vector<long long> places;
        for (const GroupCounter::Group& group : groups.largestGroups(5)) {
            places.push_back(last ? group.lastRow : group.firstRow);
            result.largest.push_back({{}, group.size});
        }
        const std::vector<std::string> values = valuesAt(connection, inputs, identifier, places);
        for (std::size_t i = 0; i < values.size(); ++i)
            result.largest[i].values = values[i];
    }
    return result;
}

} // namespace dedupe
