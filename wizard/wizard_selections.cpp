#include "wizard/wizard_selections.h"

#include "db/sql_quote.h"

namespace wizard {

WizardSelections& selections() {
    static WizardSelections s;
    return s;
}

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

} // namespace wizard
