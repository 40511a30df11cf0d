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

// In stored order, or in the order that decides the survivor when one is given.
void openRows(db::Recordset& rows, const db::Connection& connection, const EngineInputs& inputs) {
    std::string order = survivorOrder(inputs.options);
    if (!order.empty())
        order = " ORDER BY " + order.substr(0, order.size() - 2);
    rows.Open("SELECT " + inputs.ChosenFieldList + " FROM " + db::quoteBracket(inputs.TableName) + order, connection,
              db::adOpenForwardOnly, db::adLockReadOnly);
}

// The chosen values of the rows at the given places of the scan, as stored, joined by ", ".
std::vector<std::string> valuesAt(const db::Connection& connection, const EngineInputs& inputs,
                                  const std::vector<long long>& places) {
    std::vector<std::string> found(places.size());
    db::Recordset rows;
    openRows(rows, connection, inputs);
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
    db::Recordset rows;
    openRows(rows, connection, inputs);
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
        // The survivor: the first row of its group in the stored order, or the last with --keep last; in
        // the order given, the first (that order is already turned round for --keep last).
        const bool last = inputs.options.keepLast && inputs.options.orderBy.empty();
        std::vector<long long> places;
        for (const GroupCounter::Group& group : groups.largestGroups(5)) {
            places.push_back(last ? group.lastRow : group.firstRow);
            result.largest.push_back({{}, group.size});
        }
        const std::vector<std::string> values = valuesAt(connection, inputs, places);
        for (std::size_t i = 0; i < values.size(); ++i)
            result.largest[i].values = values[i];
    }
    return result;
}

} // namespace dedupe
