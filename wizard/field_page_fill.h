#pragma once
// Filling the field page from a table: the preview grid bound to the whole table, the available list
// filled with the table's field names, and the buttons and selection following the list. The table
// page's "Next >" and the output page's "< Back" both do it, each under its own statement numbers.
#include <string>

namespace core {
class Trap;
}
namespace db {
class Connection;
class Recordset;
} // namespace db

namespace wizard {

class Form3;

// Statement numbers of one caller; 0 where that caller has no such step.
struct FieldPageFillSteps {
    int show;
    int clearList;
    int unbindGrid;
    int cursorLocation;
    int openPreview;
    int bindPreview;
    int clearTableFields; // the table's field list is rebuilt while the names are read
    int openNames;        // the names come from a record set of their own; 0: from the preview
    int fieldCount;
    int yield;
    int addName;
    int appendTableField;
    int pruneChosen; // chosen fields the table does not have leave the chosen list; 0: kept as they are
    int availableStates; // setFieldButtonStates' two blocks
    int chosenStates;
    int selectFirst;
    int closeNames;
    int focusGrid;
};

struct FieldPageSource {
    db::Connection* connection = nullptr; // nullptr: it could not be opened (and that was reported)
    db::Recordset* preview = nullptr;     // nullptr: it could not be created
    db::Recordset* names = nullptr;       // used when steps.openNames is not 0
    std::string previewSql;
    std::string namesSql;
    std::string* tableFieldList = nullptr; // rebuilt when steps.clearTableFields is not 0
};

// Steps that need a connection or record set that could not be opened are skipped: the failure to open
// was reported, and the outcome (empty list, empty preview) is the same.
void fillFieldPage(Form3& page, core::Trap& trap, const FieldPageSource& source, const FieldPageFillSteps& at);

} // namespace wizard
