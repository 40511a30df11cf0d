#pragma once
// What the pages hand on to each other. The database path and password are not here: every connection
// is built from the current text of the database page's two boxes.
#include <string>

namespace wizard {

struct WizardSelections {
    std::string TableName;       // the chosen table, exactly as listed
    std::string TableFieldList;  // every field in column order: [A], [B], [C]
    std::string ChosenFieldList; // the chosen fields in chosen order: `C`, `A`, `B`
};

// The one set of selections of the running wizard.
WizardSelections& selections();

} // namespace wizard
