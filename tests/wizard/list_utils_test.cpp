#include "wizard/list_utils.h"

#include <QListWidget>
#include <gtest/gtest.h>

using wizard::positionsPresentIn;
using wizard::RemoveItemsPresentInList;
using wizard::UniqueArrayValues;

namespace {

void noYield() {}

struct UniqueCase {
    std::vector<int> input;
    std::vector<int> expected;
};

void fill(QListWidget& list, const QStringList& texts) {
    list.clear();
    list.addItems(texts);
}

} // namespace

TEST(UniqueArrayValues, KeepsEachValueAtItsLastOccurrence) {
    const UniqueCase cases[] = {
        {{3, 5, 3, 7, 5}, {3, 7, 5}},
        {{}, {}},
        {{4}, {4}},
        {{2, 2, 2}, {2}},
        {{1, 2, 3}, {1, 2, 3}},
        {{9, 1, 9, 1}, {9, 1}},
        {{0, 0, 1, 1}, {0, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UniqueArrayValues(c.input, noYield), c.expected) << "input size " << c.input.size();
}

TEST(PositionsPresentIn, ComparesExactlyAndCollectsEachPositionOnce) {
    struct Case {
        QStringList first, second;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{"A", "B", "C"}, {}, {}},
        {{"A", "B", "C"}, {"B"}, {1}},
        {{"A", "B", "C"}, {"B", "B"}, {1}}, // a text chosen twice removes one entry once
        {{"A", "B", "A"}, {"A"}, {0, 2}},   // a text listed twice goes twice
        {{"Name"}, {"name"}, {}},           // letter case counts
        {{"Name "}, {"Name"}, {}},          // blanks count
        {{"C", "A", "B"}, {"B", "C", "A"}, {0, 1, 2}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(positionsPresentIn(c.first, c.second, noYield), c.expected) << c.first.join(",").toStdString();
}

TEST(RemoveItemsPresentInList, RemovesChosenEntriesAndKeepsTheRestInOrder) {
    QListWidget first, second;
    fill(first, {"ID", "Name", "City", "Name", "Zip"});
    fill(second, {"Name", "Zip", "Zip", "Country"});
    RemoveItemsPresentInList(&first, &second, noYield);
    EXPECT_EQ(wizard::listTexts(&first), (QStringList{"ID", "City"}));
    EXPECT_EQ(wizard::listTexts(&second), (QStringList{"Name", "Zip", "Zip", "Country"}));
}

TEST(RemoveItemsPresentInList, EmptyListsAreHandled) {
    QListWidget first, second;
    fill(first, {"A", "B"});
    RemoveItemsPresentInList(&first, &second, noYield);
    EXPECT_EQ(wizard::listTexts(&first), (QStringList{"A", "B"}));

    fill(first, {});
    fill(second, {"A"});
    RemoveItemsPresentInList(&first, &second, noYield);
    EXPECT_EQ(first.count(), 0);
}
