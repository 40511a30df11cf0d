#include "wizard/list_utils.h"

#include <QCoreApplication>
#include <QListWidget>

namespace wizard {

void processPendingEvents() {
    QCoreApplication::processEvents();
}

std::vector<int> UniqueArrayValues(const std::vector<int>& values, const Yield& yield) {
    std::vector<int> result;
    const std::size_t count = values.size();
    for (std::size_t i = 0; i < count; ++i) {
        bool repeatedLater = false;
        for (std::size_t j = i + 1; j < count; ++j) {
            yield();
            if (values[j] == values[i]) {
                repeatedLater = true;
                break;
            }
        }
        if (!repeatedLater)
            result.push_back(values[i]);
    }
    return result;
}

std::vector<int> positionsPresentIn(const QStringList& first, const QStringList& second, const Yield& yield) {
    std::vector<int> matches;
    const qsizetype firstCount = first.size();
    for (qsizetype i = 0; i < firstCount; ++i) {
        const qsizetype secondCount = second.size();
        for (qsizetype j = 0; j < secondCount; ++j) {
            yield();
            if (first[i] == second[j])
                matches.push_back(static_cast<int>(i));
        }
    }
    return UniqueArrayValues(matches, yield);
}

QStringList listTexts(const QListWidget* list) {
    QStringList texts;
    texts.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

void RemoveItemsPresentInList(QListWidget* first, QListWidget* second, const Yield& yield) {
    // The texts are taken before comparing: the yields let other events run, and positions are only
    // meaningful against the list as it stood when the comparison began.
    const QStringList firstTexts = listTexts(first);
    const std::vector<int> positions = positionsPresentIn(firstTexts, listTexts(second), yield);
    // Highest position first, so the positions still to be removed stay valid.
    bool selectedRemoved = false;
    for (auto it = positions.rbegin(); it != positions.rend(); ++it) {
        if (*it < first->count() && first->item(*it)->text() == firstTexts[*it]) {
            selectedRemoved = selectedRemoved || first->item(*it)->isSelected();
            delete first->takeItem(*it);
        }
    }
    // A removed selected entry leaves the list without a selection; it does not pass to a neighbour.
    if (selectedRemoved)
        clearSelectionAndCurrent(first);
}

void clearSelectionAndCurrent(QListWidget* list) {
    list->setCurrentItem(nullptr);
    list->clearSelection();
}

} // namespace wizard
