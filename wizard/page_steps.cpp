#include "wizard/page_steps.h"

#include "app/desktop.h"
#include "app/program.h"
#include "core/trap.h"
#include "dedupe/engine.h"
#include "wizard/form3.h"

#include <QListWidget>
#include <QPushButton>
#include <initializer_list>

namespace wizard {

int selectedRow(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

void selectFirst(QListWidget* list) {
    list->setCurrentRow(0);
}

namespace {

// One if-statement of the button states: the test, then the buttons one by one in the chosen branch.
void enableWhenFilled(core::Trap* trap, int at, const QListWidget* list, std::initializer_list<QPushButton*> buttons) {
    const auto empty = [&] { return list->count() == 0; };
    const bool isEmpty = trap ? trap->test(at, empty) : empty();
    const int count = static_cast<int>(buttons.size());
    int number = isEmpty ? at + 2 : at + 2 + 2 * count;
    for (QPushButton* button : buttons) {
        const auto step = [&] { button->setEnabled(!isEmpty); };
        if (trap)
            trap->run(number, step);
        else
            step();
        number += 2;
    }
}

int g_busy = 0;

} // namespace

void setFieldButtonStates(Form3& page, core::Trap* trap, int availableAt, int chosenAt) {
    enableWhenFilled(trap, availableAt, page.List1, {page.PushButton5, page.PushButton6});
    enableWhenFilled(trap, chosenAt, page.List2, {page.PushButton7, page.PushButton8, page.PushButton3});
}

void showMessage(const std::string& text) {
    app::desktop().messageBox(text, app::applicationTitle(), app::Buttons::Ok, app::Icon::None);
}

bool busy() {
    return g_busy > 0 || dedupe::isRunning();
}
BusyScope::BusyScope() {
    ++g_busy;
}
BusyScope::~BusyScope() {
    --g_busy;
}

} // namespace wizard
