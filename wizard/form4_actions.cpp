// What the output page's buttons do.
#include "wizard/form4.h"

#include "app/desktop_reporter.h"
#include "core/program.h"
#include "core/trap.h"
#include "db/connection.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "dedupe/engine.h"
#include "wizard/catalogue_ui.h"
#include "wizard/form3.h"
#include "wizard/form4_host.h"
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

void Form4::PushButton1_Click() {
    core::Trap trap{core::location("Form4.PushButton1_Click"), app::reporter()};
    trap.run(100, [&] {
        showMessage("You are about to create a new table with duplicates records (rows) removed except for the "
                    "first. Please choose a name for this table.");
    });
}

void Form4::PushButton2_Click() {
    if (busy())
        return;
    BusyScope working;
    core::Trap trap{core::location("Form4.PushButton2_Click"), app::reporter()};
    const std::string& table = selections().TableName;
    // As on the table page, a step whose connection or record set could not be opened is skipped once
    // that failure has been reported.
    std::optional<db::Connection> connection;
    std::optional<db::Recordset> preview;
    std::optional<db::Recordset> names;
    trap.run(100, [&] { connection.emplace(); });
    trap.run(102, [&] { preview.emplace(); });
    trap.run(104, [&] { names.emplace(); });
    if (connection)
        trap.run(106, [&] { connection->Mode = db::adModeReadWrite; });
    const bool open = connection && trap.run(108, [&] { connection->Open(BuildConnectionString()); });
    Form3& fields = form3();
    trap.run(110, [&] { fields.show(); });
    trap.run(112, [&] { fields.List1->clear(); });
    trap.run(114, [&] { unbindGrid(fields.DataGrid1); });
    bool previewOpen = false;
    bool namesOpen = false;
    if (open) {
        trap.run(116, [&] { connection->CursorLocation = db::adUseClient; });
        previewOpen = preview && trap.run(118, [&] {
            preview->Open("SELECT * FROM " + db::quoteBackquote(table) + ";", *connection, db::adOpenDynamic,
                          db::adLockOptimistic);
        });
        if (previewOpen)
            trap.run(120, [&] { bindGrid(fields.DataGrid1, *preview); });
        namesOpen = names && trap.run(122, [&] {
            names->Open("select * from " + db::quoteBackquote(table) + ";", *connection, db::adOpenDynamic,
                        db::adLockOptimistic);
        });
    }
    if (namesOpen) {
        const int count = trap.value(124, 0, [&] { return names->fieldCount(); });
        for (int i = 0; i < count; ++i) {
            trap.run(126, [&] { processPendingEvents(); });
            trap.run(128, [&] { fields.List1->addItem(QString::fromStdString(names->field(i).Name)); });
        }
    }
    setFieldButtonStates(fields, &trap, 132, 142);
    if (trap.test(156, [&] { return fields.List1->count() >= 1; }))
        trap.run(156, [&] { selectFirst(fields.List1); });
    if (namesOpen)
        trap.run(158, [&] { names->Close(); });
    trap.run(160, [&] { fields.DataGrid1->setFocus(); });
    trap.run(162, [&] { hide(); });
    trap.run(164, [&] { RemoveItemsPresentInList(fields.List1, fields.List2); });
}

void Form4::PushButton4_Click() {
    if (busy())
        return;
    // While the run lets events through, neither a second run nor a way back can start: the buttons are
    // disabled for the run, and every page's handlers stand still while it lasts.
    PushButton4->setEnabled(false);
    PushButton2->setEnabled(false);
    const WizardSelections& chosen = selections();
    const dedupe::EngineInputs inputs{BuildConnectionString(), chosen.TableName, chosen.TableFieldList,
                                      chosen.ChosenFieldList};
    Form4Host host(*this);
    dedupe::CreateTableWithoutDuplicates(inputs, host);
    host.flush();
    PushButton4->setEnabled(true);
    PushButton2->setEnabled(true);
}

} // namespace wizard
