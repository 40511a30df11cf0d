#include "dedupe/engine_inputs.h"
#include "db/sql_quote.h"

namespace dedupe {

namespace {
void appendSeparated(std::string& list, const std::string& quoted) {
    if (!list.empty())
        list += ", ";
    list += quoted;
}
} // namespace

void appendBracketed(std::string& list, std::string_view name) {
    appendSeparated(list, db::quoteBracket(name));
}

void appendBackquoted(std::string& list, std::string_view name) {
    appendSeparated(list, db::quoteBackquote(name));
}

std::string survivorOrder(const RunOptions& options) {
    std::string order;
    for (const OrderKey& key : options.orderBy)
        order += db::quoteBackquote(key.field) + (key.descending != options.keepLast ? " DESC" : "") + " NULLS LAST, ";
    return order;
}

EngineInputs makeEngineInputs(std::string connectionString, std::string table,
                              const std::vector<std::string>& tableFields, const std::vector<std::string>& chosenFields) {
    EngineInputs inputs;
    inputs.connectionString = std::move(connectionString);
    inputs.TableName = std::move(table);
    for (const std::string& name : tableFields)
        appendBracketed(inputs.TableFieldList, name);
    for (const std::string& name : chosenFields)
        appendBackquoted(inputs.ChosenFieldList, name);
    return inputs;
}

} // namespace dedupe
