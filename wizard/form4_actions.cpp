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
#include "wizard/field_page_fill.h"
#include "wizard/form3.h"
#include "wizard/form4_host.h"
#include "wizard/forms.h"
#include "wizard/list_utils.h"
#include "wizard/messages.h"
#include "wizard/page_steps.h"
#include "wizard/recordset_model.h"
#include "wizard/wizard_selections.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <optional>

namespace wizard {

void Form4::PushButton1_Click() {
    core::Trap trap{core::location("Form4.PushButton1_Click"), app::reporter()};
    trap.run(100, [&] {
        showMessage(text::kOutputHelp);
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
    FieldPageSource source;
    source.connection = open ? &*connection : nullptr;
    source.preview = preview ? &*preview : nullptr;
    source.names = names ? &*names : nullptr;
    source.previewSql = "SELECT * FROM " + db::quoteBackquote(table) + ";";
    source.namesSql = "select * from " + db::quoteBackquote(table) + ";";
    fillFieldPage(form3(), trap, source,
                  {.show = 110, .clearList = 112, .unbindGrid = 114, .cursorLocation = 116, .openPreview = 118,
                   .bindPreview = 120, .clearTableFields = 0, .openNames = 122, .fieldCount = 124, .yield = 126,
                   .addName = 128, .appendTableField = 0, .pruneChosen = 0,
                   .availableStates = 132, .chosenStates = 142,
                   .selectFirst = 156, .closeNames = 158, .focusGrid = 160});
    trap.run(162, [&] { hide(); });
    trap.run(164, [&] { RemoveItemsPresentInList(form3().List1, form3().List2); });
}

void Form4::PushButton4_Click() {
    if (busy())
        return;
    // While the run lets events through, neither a second run nor a way back can start: the buttons are
    // disabled for the run, and every page's handlers stand still while it lasts.
    // The output name is read afresh during the run, so it must not change meanwhile.
    PushButton4->setEnabled(false);
    PushButton2->setEnabled(false);
    Text1->setReadOnly(true);
    const WizardSelections& chosen = selections();
    dedupe::EngineInputs inputs;
    inputs.connectionString = BuildConnectionString();
    inputs.TableName = chosen.TableName;
    inputs.TableFieldList = chosen.TableFieldList;
    inputs.ChosenFieldList = chosen.ChosenFieldList;
    Form4Host host(*this);
    dedupe::CreateTableWithoutDuplicates(inputs, host);
    host.flush();
    PushButton4->setEnabled(true);
    PushButton2->setEnabled(true);
    Text1->setReadOnly(false);
}

} // namespace wizard
