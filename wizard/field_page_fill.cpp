#include "wizard/field_page_fill.h"
#include "wizard/db_names.h"

#include "core/trap.h"
#include "db/connection.h"
#include "db/recordset.h"
#include "dedupe/engine_inputs.h"
#include "wizard/form3.h"
#include "wizard/list_utils.h"
#include "wizard/page_steps.h"
#include "wizard/recordset_model.h"

#include <QListWidget>
#include <QTableView>

namespace wizard {

namespace {

// Removes from `chosen` every entry that `available` does not hold (exact comparison).
void keepOnlyListed(QListWidget* chosen, const QListWidget* available) {
    for (int row = chosen->count() - 1; row >= 0; --row) {
        if (available->findItems(chosen->item(row)->text(), Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty())
            delete chosen->takeItem(row);
    }
}

} // namespace

void fillFieldPage(Form3& page, core::Trap& trap, const FieldPageSource& source, const FieldPageFillSteps& at) {
    trap.run(at.show, [&] { page.show(); });
    trap.run(at.clearList, [&] { page.List1->clear(); });
    trap.run(at.unbindGrid, [&] { unbindGrid(page.DataGrid1); });
    bool previewOpen = false;
    bool namesOpen = false;
    if (source.connection) {
        trap.run(at.cursorLocation, [&] { source.connection->CursorLocation = db::adUseClient; });
        previewOpen = source.preview && trap.run(at.openPreview, [&] {
            source.preview->Open(source.previewSql, *source.connection, db::adOpenDynamic, db::adLockOptimistic);
        });
        if (previewOpen)
            trap.run(at.bindPreview, [&] { bindGrid(page.DataGrid1, *source.preview); });
        if (at.openNames)
            namesOpen = source.names && trap.run(at.openNames, [&] {
                source.names->Open(source.namesSql, *source.connection, db::adOpenDynamic, db::adLockOptimistic);
            });
    }
    if (at.clearTableFields)
        trap.run(at.clearTableFields, [&] { source.tableFieldList->clear(); });
    db::Recordset* names = at.openNames ? (namesOpen ? source.names : nullptr) : (previewOpen ? source.preview : nullptr);
    if (names) {
        const int count = trap.value(at.fieldCount, 0, [&] { return names->fieldCount(); });
        for (int i = 0; i < count; ++i) {
            trap.run(at.yield, [&] { processPendingEvents(); });
            std::string name;
            trap.run(at.addName, [&] {
                name = names->field(i).Name;
                addName(page.List1, name);
            });
            if (at.appendTableField)
                trap.run(at.appendTableField, [&] { dedupe::appendBracketed(*source.tableFieldList, name); });
        }
    }
    // Fields chosen for another table that this one does not have would make the scan fail: they leave the
    // chosen list, before the buttons follow the lists, so "Next >" is disabled when none is left.
    if (at.pruneChosen && names)
        trap.run(at.pruneChosen, [&] { keepOnlyListed(page.List2, page.List1); });
    // The states and the selection follow the refilled list before the chosen fields leave it.
    setFieldButtonStates(page, &trap, at.availableStates, at.chosenStates);
    if (trap.test(at.selectFirst, [&] { return page.List1->count() >= 1; }))
        trap.run(at.selectFirst, [&] { selectFirst(page.List1); });
    if (at.openNames && namesOpen)
        trap.run(at.closeNames, [&] { source.names->Close(); });
    trap.run(at.focusGrid, [&] { page.DataGrid1->setFocus(); });
}

} // namespace wizard
