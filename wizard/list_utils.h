#pragma once
// Keeping the field page's two lists apart: after the available list is refilled from the table, the
// fields the user already chose leave it again.
#include <QStringList>
#include <functional>
#include <vector>

class QListWidget;

namespace wizard {

// Called at every comparison so that long lists keep the windows responsive. The default lets Qt
// process pending events; tests pass their own.
using Yield = std::function<void()>;
void processPendingEvents();

// Each distinct value once, at the place of its last occurrence: 3, 5, 3, 7, 5 gives 3, 7, 5.
std::vector<int> UniqueArrayValues(const std::vector<int>& values, const Yield& yield = processPendingEvents);

// Positions in `first` whose text equals (exactly: case and blanks count) some entry of `second`,
// ascending, each position once.
std::vector<int> positionsPresentIn(const QStringList& first, const QStringList& second,
                                    const Yield& yield = processPendingEvents);

// Removes from `first` every entry whose text equals an entry of `second`; `second` is not changed and
// the remaining entries keep their order.
void RemoveItemsPresentInList(QListWidget* first, QListWidget* second, const Yield& yield = processPendingEvents);

// No entry selected or current, as after the selected entry was removed.
void clearSelectionAndCurrent(QListWidget* list);

// The entries' texts, top to bottom.
QStringList listTexts(const QListWidget* list);

} // namespace wizard
