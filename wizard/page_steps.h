#pragma once
// Steps the page handlers share: list selection as the pages understand it, the field page's button
// states, the pages' own message boxes, and holding back input while a handler lets events run.
#include <string>

class QListWidget;

namespace core {
class Trap;
}

namespace wizard {

class Form3;

// The row of the selected entry, or -1. A list can have a current row without a selected entry (after the
// selected entry was removed); only a selected entry counts.
int selectedRow(const QListWidget* list);
// Selects the first entry.
void selectFirst(QListWidget* list);

// ">" and ">>" are enabled exactly when the available list has entries; "<", "<<" and "Next >" exactly
// when the chosen list has. Each block is an if-statement under its own numbers: the test at `at`, the
// then-branch at at+2.., the else-branch after it. Without a trap the steps run unguarded.
void setFieldButtonStates(Form3& page, core::Trap* trap, int availableAt, int chosenAt);

// A message box with an OK button, no icon and the application title.
void showMessage(const std::string& text);

// True while a page handler that lets events run, or a run of the engine, is in progress. Page buttons
// then do nothing, so no second handler starts on lists or tables that the first is still working on.
bool busy();
class BusyScope {
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

} // namespace wizard
