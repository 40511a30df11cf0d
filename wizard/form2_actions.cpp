// What the table page's buttons do.
#include "wizard/form2.h"

#include "app/desktop_reporter.h"
#include "app/pointer.h"
#include "core/program.h"
#include "core/trap.h"
#include "db/connection.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "wizard/catalogue_ui.h"
#include "wizard/form1.h"
#include "wizard/form3.h"
#include "wizard/forms.h"
#include "wizard/list_utils.h"
#include "wizard/page_steps.h"
#include "wizard/recordset_model.h"
#include "wizard/wizard_selections.h"

#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <optional>

namespace wizard {

void Form2::PushButton2_Click() {
    if (busy())
        return;
    core::Trap trap{core::location("Form2.PushButton2_Click"), app::reporter()};
    trap.run(100, [&] { form1().show(); });
    trap.run(102, [&] { hide(); });
}

void Form2::PushButton3_Click() {
    if (busy())
        return;
    BusyScope working;
    core::Trap trap{core::location("Form2.PushButton3_Click"), app::reporter()};
    const int row = selectedRow(List1);
    if (!trap.test(106, [&] { return row >= 0; })) {
        trap.run(176, [&] { showMessage("Please select a table"); });
        return;
    }
    trap.run(108, [&] { app::setPointer(this, core::PointerBusy); });

    // The connection and the record set live on in the field page's grid; this handler only drops its
    // references. Steps that need a connection or record set that could not be opened are skipped: the
    // failure to open was reported, and the outcome (empty list, empty preview) is the same.
    std::optional<db::Connection> connection;
    std::optional<db::Recordset> preview;
    trap.run(110, [&] {
        connection.emplace();
        connection->Mode = db::adModeReadWrite;
    });
    const bool open = connection && trap.run(112, [&] { connection->Open(BuildConnectionString()); });
    WizardSelections& chosen = selections();
    trap.run(114, [&] { chosen.TableName = List1->item(row)->text().toStdString(); });
    Form3& fields = form3(); // its load reports its own failures
    trap.run(116, [&] { fields.show(); });
    trap.run(118, [&] { fields.List1->clear(); });
    trap.run(120, [&] { unbindGrid(fields.DataGrid1); });
    if (open) {
        trap.run(122, [&] { connection->CursorLocation = db::adUseClient; });
        trap.run(124, [&] {
            db::Recordset recordset;
            recordset.Open("SELECT * FROM " + db::quoteBracket(chosen.TableName) + ";", *connection, db::adOpenDynamic,
                           db::adLockOptimistic);
            preview = std::move(recordset);
        });
    }
    if (preview)
        trap.run(126, [&] { bindGrid(fields.DataGrid1, *preview); });
    trap.run(128, [&] { chosen.TableFieldList.clear(); });
    if (preview) {
        const int count = trap.value(128, 0, [&] { return preview->fieldCount(); });
        for (int i = 0; i < count; ++i) {
            trap.run(130, [&] { processPendingEvents(); });
            std::string name;
            trap.run(132, [&] {
                name = preview->field(i).Name;
                fields.List1->addItem(QString::fromStdString(name));
            });
            trap.run(134, [&] { appendBracketed(chosen.TableFieldList, name); });
        }
    }
    // The states and the selection follow the refilled list before the chosen fields leave it.
    setFieldButtonStates(fields, &trap, 142, 152);
    if (trap.test(166, [&] { return fields.List1->count() >= 1; }))
        trap.run(166, [&] { selectFirst(fields.List1); });
    trap.run(168, [&] { fields.DataGrid1->setFocus(); });
    trap.run(170, [&] { RemoveItemsPresentInList(fields.List1, fields.List2); });
    trap.run(172, [&] { hide(); });
    trap.run(174, [&] { app::setPointer(this, core::PointerDefault); });
}

} // namespace wizard
