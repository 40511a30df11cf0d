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
#include "dedupe/engine_inputs.h"
#include "wizard/catalogue_ui.h"
#include "wizard/db_names.h"
#include "wizard/field_page_fill.h"
#include "wizard/form1.h"
#include "wizard/form3.h"
#include "wizard/forms.h"
#include "wizard/list_utils.h"
#include "wizard/messages.h"
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
        trap.run(176, [&] { showMessage(text::kSelectTable); });
        return;
    }
    trap.run(108, [&] { app::setPointer(this, core::PointerBusy); });

    // The connection and the record set live on in the field page's grid; this handler only drops its
    // references.
    std::optional<db::Connection> connection;
    db::Recordset preview;
    trap.run(110, [&] {
        connection.emplace();
        connection->Mode = db::adModeReadWrite;
    });
    const bool open = connection && trap.run(112, [&] { connection->Open(BuildConnectionString()); });
    WizardSelections& chosen = selections();
    trap.run(114, [&] { chosen.TableName = nameBytes(List1->item(row)); });
    Form3& fields = form3(); // its load reports its own failures
    FieldPageSource source;
    source.connection = open ? &*connection : nullptr;
    source.preview = &preview;
    source.previewSql = "SELECT * FROM " + db::quoteBracket(chosen.TableName) + ";";
    source.tableFieldList = &chosen.TableFieldList;
    fillFieldPage(fields, trap, source,
                  {.show = 116, .clearList = 118, .unbindGrid = 120, .cursorLocation = 122, .openPreview = 124,
                   .bindPreview = 126, .clearTableFields = 128, .openNames = 0, .fieldCount = 128, .yield = 130,
                   .addName = 132, .appendTableField = 134, .pruneChosen = 140,
                   .availableStates = 142, .chosenStates = 152,
                   .selectFirst = 166, .closeNames = 0, .focusGrid = 168});
    trap.run(170, [&] { RemoveItemsPresentInList(fields.List1, fields.List2); });
    trap.run(172, [&] { hide(); });
    trap.run(174, [&] { app::setPointer(this, core::PointerDefault); });
}

} // namespace wizard
