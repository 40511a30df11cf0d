// What the field page's buttons and double-clicks do.
#include "wizard/form3.h"

#include "app/desktop_reporter.h"
#include "core/program.h"
#include "core/trap.h"
#include "dedupe/engine_inputs.h"
#include "wizard/db_names.h"
#include "wizard/form2.h"
#include "wizard/form4.h"
#include "wizard/forms.h"
#include "wizard/list_utils.h"
#include "wizard/messages.h"
#include "wizard/page_steps.h"
#include "wizard/wizard_selections.h"

#include <QListWidget>

namespace wizard {

namespace {

std::string location(const char* procedure) {
    return core::location(std::string("Form3.") + procedure);
}

// The selected entry goes to the end of the other list; the source is left without a selection.
void moveEntry(QListWidget* source, QListWidget* target, int row) {
    target->addItem(source->item(row)->clone());
    delete source->takeItem(row);
    clearSelectionAndCurrent(source);
}

// ">" and "<": the selected entry, or a message when there is none.
void moveSelected(Form3& page, QListWidget* source, QListWidget* target, const char* procedure) {
    if (busy())
        return;
    core::Trap trap{location(procedure), app::reporter()};
    const int row = selectedRow(source);
    if (!trap.test(100, [&] { return row >= 0; })) {
        trap.run(130, [&] { showMessage(text::kSelectField); });
        return;
    }
    trap.run(102, [&] { target->addItem(source->item(row)->clone()); });
    trap.run(104, [&] {
        delete source->takeItem(row);
        clearSelectionAndCurrent(source);
    });
    setFieldButtonStates(page, &trap, 106, 116);
}

// ">>" and "<<": every entry, in order, after those the target holds.
void moveAll(Form3& page, QListWidget* source, QListWidget* target, const char* procedure) {
    if (busy())
        return;
    core::Trap trap{location(procedure), app::reporter()};
    const int count = trap.value(100, 0, [&] { return source->count(); });
    for (int i = 0; i < count; ++i)
        trap.run(102, [&] { target->addItem(source->item(i)->clone()); });
    const int remaining = trap.value(106, 0, [&] { return source->count(); });
    for (int i = remaining - 1; i >= 0; --i)
        trap.run(108, [&] { delete source->takeItem(i); });
    setFieldButtonStates(page, &trap, 112, 122);
}

// A double-click moves without a message and without a trap.
void moveByDoubleClick(Form3& page, QListWidget* source, QListWidget* target) {
    if (busy())
        return;
    const int row = selectedRow(source);
    if (row < 0)
        return;
    moveEntry(source, target, row);
    setFieldButtonStates(page, nullptr, 106, 116);
}

} // namespace

void Form3::PushButton2_Click() {
    if (busy())
        return;
    core::Trap trap{location("PushButton2_Click"), app::reporter()};
    trap.run(100, [&] { form2().show(); });
    trap.run(102, [&] { hide(); });
}

void Form3::PushButton3_Click() {
    if (busy())
        return;
    BusyScope working;
    core::Trap trap{location("PushButton3_Click"), app::reporter()};
    std::string& handOver = selections().ChosenFieldList;
    trap.run(106, [&] { handOver.clear(); });
    const int count = trap.value(108, 0, [&] { return List2->count(); });
    for (int i = 0; i < count; ++i) {
        trap.run(110, [&] { processPendingEvents(); });
        trap.run(112, [&] { dedupe::appendBackquoted(handOver, nameBytes(List2->item(i))); });
    }
    // (116) The joined list has no trailing separator to cut.
    trap.run(118, [&] { form4().show(); });
    trap.run(120, [&] { hide(); });
}

void Form3::PushButton4_Click() {
    core::Trap trap{location("PushButton4_Click"), app::reporter()};
    trap.run(100, [&] {
        showMessage(text::kFieldHelp);
    });
}

void Form3::PushButton5_Click() {
    moveSelected(*this, List1, List2, "PushButton5_Click");
}

void Form3::PushButton6_Click() {
    moveAll(*this, List1, List2, "PushButton6_Click");
}

void Form3::PushButton7_Click() {
    moveSelected(*this, List2, List1, "PushButton7_Click");
}

void Form3::PushButton8_Click() {
    moveAll(*this, List2, List1, "PushButton8_Click");
}

void Form3::List1_DblClick() {
    moveByDoubleClick(*this, List1, List2);
}

void Form3::List2_DblClick() {
    moveByDoubleClick(*this, List2, List1);
}

} // namespace wizard
