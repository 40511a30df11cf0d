#include "dedupe/dry_run.h"

#include "db/connection.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "db/types.h"
#include "dedupe/key_set.h"
#include "dedupe/row_key.h"

namespace dedupe {

DryRunResult countRepeats(const EngineInputs& inputs) {
    db::Connection connection;
    connection.Mode = db::adModeRead;
    connection.Open(inputs.connectionString);
    db::Recordset rows;
    rows.Open("SELECT " + inputs.ChosenFieldList + " FROM " + db::quoteBracket(inputs.TableName), connection,
              db::adOpenForwardOnly, db::adLockReadOnly);
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
        if (!seen.insert(key))
            ++result.rowsRemoved;
    }
    return result;
}

} // namespace dedupe
