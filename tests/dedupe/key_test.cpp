// Row keys and the set of seen keys.
#include "dedupe/groups.h"
#include "dedupe/key_rules.h"
#include "dedupe/key_set.h"
#include "dedupe/row_key.h"
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

std::string keyOf(const std::vector<db::Value>& values) {
    std::string key;
    for (const db::Value& v : values)
        dedupe::appendKeyPart(key, v);
    return key;
}

db::Value blob(const std::string& bytes) {
    return db::Value(db::Blob{{bytes.begin(), bytes.end()}});
}

struct KeyCase {
    const char* name;
    std::vector<db::Value> left;
    std::vector<db::Value> right;
    bool same;
};

void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class RowKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(RowKeyTest, EqualExactlyWhenTheValuesReadTheSame) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(keyOf(c.left) == keyOf(c.right), c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RowKeyTest,
    ::testing::Values(KeyCase{"NullEqualsEmptyText", {db::Value(), "x"}, {"", "x"}, true},
                      KeyCase{"IntegerEqualsItsDigits", {db::Value(12), "x"}, {"12", "x"}, true},
                      KeyCase{"RealEqualsItsShortestText", {db::Value(1.5)}, {"1.5"}, true},
                      KeyCase{"WholeRealEqualsInteger", {db::Value(3.0)}, {db::Value(3)}, true},
                      KeyCase{"LetterCaseDiffers", {"Smith"}, {"smith"}, false},
                      KeyCase{"TrailingBlankDiffers", {"Smith "}, {"Smith"}, false},
                      KeyCase{"LeadingBlankDiffers", {" Smith"}, {"Smith"}, false},
                      // The separator inside a value must not move text from one field into the next.
                      KeyCase{"SeparatorInFirstValue", {"a, b", "c"}, {"a", "b, c"}, false},
                      KeyCase{"EmptyFirstOrSecond", {"", "ab"}, {"ab", ""}, false},
                      KeyCase{"DigitsLikeALength", {"1:", "x"}, {"", "1:x"}, false},
                      KeyCase{"NullAmongOthers", {"Smith", db::Value(), db::Value(12)}, {"Smith", "", "12"}, true},
                      KeyCase{"ColonInValue", {"a:1"}, {"a", "1"}, false},
                      // Numbers as people write them.
                      KeyCase{"IntegerEqualsWholeReal", {db::Value(100000)}, {db::Value(100000.0)}, true},
                      KeyCase{"NearlyEqualRealsLookAlike", {db::Value(0.1 + 0.2)}, {db::Value(0.3)}, true},
                      KeyCase{"ExponentTextIsNotTheNumber", {"1e+05"}, {db::Value(100000.0)}, false},
                      KeyCase{"LargeIntegersKeepTheirLastDigit",
                              {db::Value(std::int64_t{12345678901234567})},
                              {db::Value(std::int64_t{12345678901234568})},
                              false},
                      // Blobs repeat blobs of the same bytes, never a text.
                      KeyCase{"BlobIsNotItsHexDigits", {blob("12")}, {"3132"}, false},
                      KeyCase{"BlobIsNotTextOfTheSameBytes", {blob("12"), "x"}, {"12", "x"}, false},
                      KeyCase{"EmptyBlobIsNotNull", {blob("")}, {db::Value()}, false},
                      KeyCase{
                          "BlobsOfTheSameBytes", {blob(std::string("a\0b", 3))}, {blob(std::string("a\0b", 3))}, true},
                      KeyCase{"BlobsOfOtherBytes", {blob("ab")}, {blob("aB")}, false},
                      KeyCase{"BlobCannotReachIntoTheNextField", {blob("a"), "b"}, {blob("a1:b"), ""}, false}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(KeySetTest, RemembersExactBytes) {
    dedupe::KeySet set;
    EXPECT_TRUE(set.insert("abc"));
    EXPECT_FALSE(set.insert("abc"));
    EXPECT_TRUE(set.insert("ABC"));
    EXPECT_TRUE(set.insert(""));
    EXPECT_FALSE(set.insert(""));
    EXPECT_TRUE(set.insert(std::string("a\0b", 3)));
    EXPECT_TRUE(set.insert(std::string("a\0c", 3)));
    EXPECT_TRUE(set.contains("abc"));
    EXPECT_FALSE(set.contains("ab"));
    EXPECT_EQ(set.size(), 5u);
    set.clear();
    EXPECT_EQ(set.size(), 0u);
    EXPECT_FALSE(set.contains("abc"));
    EXPECT_TRUE(set.insert("abc"));
}

// Many keys of mixed lengths (including some far larger than a storage block), checked against the
// standard set: growth and block handling must never lose or confuse a key.
TEST(KeySetTest, AgreesWithTheStandardSetOnManyKeys) {
    std::mt19937_64 random(7);
    dedupe::KeySet set;
    std::unordered_set<std::string> expected;
    for (int i = 0; i < 200000; ++i) {
        std::string key;
        const auto pick = random() % 1000;
        if (pick == 0)
            key.assign(300000 + random() % 10, static_cast<char>('a' + random() % 3));
        else
            key = std::to_string(random() % 150000) + ":" + std::string(random() % 20, 'x');
        const bool isNew = expected.insert(key).second;
        ASSERT_EQ(set.insert(key), isNew) << "key " << i;
    }
    EXPECT_EQ(set.size(), expected.size());
    for (const std::string& key : expected)
        ASSERT_TRUE(set.contains(key));
    EXPECT_FALSE(set.contains("not-there"));
}

// The compact set of row keys, with its hash forced to collide: a key whose hash matches an earlier one
// is a repeat only when the bytes match, whether the set kept the bytes or must read the earlier row back;
// keys are numbered in the order first seen. The many-keys cases make every part of the table grow many
// times, with the budget running out part way.
struct RowKeyCase {
    const char* name;
    dedupe::RowKeySet::Hash hash;
    std::size_t budget; // bytes of keys the set may keep; 0: every check reads the row back
    int rows;
    unsigned distinct; // keys drawn from this many
};

void PrintTo(const RowKeyCase& c, std::ostream* os) {
    *os << c.name;
}

class RowKeySetTest : public ::testing::TestWithParam<RowKeyCase> {};

TEST_P(RowKeySetTest, AHashCollisionNeverMakesARepeat) {
    const RowKeyCase& c = GetParam();
    std::mt19937_64 random(11);
    std::vector<std::string> rows; // key of each scan row so far
    long long readBack = 0;
    const dedupe::RowKeySet::KeyOfRow keyOfRow = [&](std::uint64_t row) {
        ++readBack;
        return rows.at(row);
    };
    dedupe::RowKeySet set(c.budget, c.hash);
    std::unordered_map<std::string, std::uint32_t> expected; // key: its ordinal
    for (int i = 0; i < c.rows; ++i) {
        // Short keys that differ in one byte, and a few long ones past the length the set keeps.
        std::string key = std::to_string(random() % c.distinct);
        if (i < 1500 && random() % 200 == 0)
            key += std::string(66000, 'k');
        rows.push_back(key);
        const auto [at, isNew] = expected.emplace(key, static_cast<std::uint32_t>(expected.size()));
        std::uint32_t ordinal = 0;
        ASSERT_EQ(set.insert(key, rows.size() - 1, keyOfRow, &ordinal), isNew) << "row " << i;
        ASSERT_EQ(ordinal, at->second) << "row " << i;
    }
    EXPECT_EQ(set.size(), expected.size());
    if (c.budget == 0) {
        EXPECT_GT(readBack, 0) << "the earlier rows were read back";
    }
    set.clear();
    EXPECT_TRUE(set.insert(rows.front(), 0, keyOfRow));
    EXPECT_EQ(set.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RowKeySetTest,
    ::testing::Values(
        RowKeyCase{"OneHashForAllKeysKept", [](std::string_view) { return 7u; }, std::size_t{1} << 24, 1500, 700},
        RowKeyCase{"OneHashForAllReadBack", [](std::string_view) { return 7u; }, 0, 1500, 700},
        RowKeyCase{"HashOfTheLength", [](std::string_view k) { return std::uint32_t(k.size()); }, std::size_t{1} << 21,
                   1500, 700},
        RowKeyCase{"OwnHashSmallBudget", nullptr, std::size_t{1} << 20, 1500, 700},
        RowKeyCase{"OwnHashManyKeys", nullptr, std::size_t{1} << 21, 400000, 250000},
        // 16 bits of hash: many keys share each full hash, spread over every part.
        RowKeyCase{"ShortHashManyKeys",
                   [](std::string_view k) { return std::uint32_t(std::hash<std::string_view>{}(k)&0xFFFF); },
                   std::size_t{1} << 22, 200000, 120000}),
    [](const auto& test) { return std::string(test.param.name); });

// The looser rules on what the command-line test's names do not show: other blanks and apostrophes,
// texts beyond ASCII against the same text in ASCII, numbers, and bytes that are not UTF-8.
struct LooseCase {
    const char* name;
    dedupe::KeyRules rules;
    db::Value left;
    db::Value right;
    bool same;
};

void PrintTo(const LooseCase& c, std::ostream* os) {
    *os << c.name;
}

class LooseKeyTest : public ::testing::TestWithParam<LooseCase> {};

TEST_P(LooseKeyTest, EqualExactlyAsTheRuleSays) {
    const LooseCase& c = GetParam();
    std::string left, right;
    dedupe::appendRuledKeyPart(left, c.left, c.rules);
    dedupe::appendRuledKeyPart(right, c.right, c.rules);
    EXPECT_EQ(left == right, c.same) << left << " | " << right;
}

dedupe::KeyRules rules(bool collapse, bool accents, bool punctuation, bool words) {
    dedupe::KeyRules r;
    r.collapseBlanks = collapse;
    r.foldAccents = accents;
    r.ignorePunctuation = punctuation;
    r.sameWords = words;
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LooseKeyTest,
    ::testing::Values(
        LooseCase{"NoBreakSpaceIsABlank", rules(true, false, false, false), "a\u00a0 b", "a b", true},
        LooseCase{"CollapsedBlankIsStillABlank", rules(true, false, false, false), "a  b", "ab", false},
        LooseCase{"DashesAreOnePunctuation", rules(false, false, true, false), "a\u2013b-c", "abc", true},
        LooseCase{"SymbolsAreNotPunctuation", rules(false, false, true, false), "a+b", "ab", false},
        LooseCase{"AccentsBeyondLatin", rules(false, true, false, false), "\u0391\u0301\u03b8\u03ae\u03bd\u03b1",
                  "\u0386\u03b8\u03b7\u03bd\u03b1", true},
        LooseCase{"AccentsKeepCase", rules(false, true, false, false), "\u00c9", "e", false},
        LooseCase{"TypographicApostropheInsideAWord", rules(false, false, false, true), "O\u2019Brien", "obrien", true},
        LooseCase{"ApostropheAtAWordsEnd", rules(false, false, false, true), "Jones' shop", "shop jones", true},
        LooseCase{"SharpSFoldsToSs", rules(false, false, false, true), "Stra\u00dfe", "STRASSE", true},
        LooseCase{"DigitsAreWords", rules(false, false, false, true), "Flat 2, 10 Main St", "st main 10 flat 2", true},
        LooseCase{"WordsNotLetters", rules(false, false, false, true), "ab c", "a bc", false},
        LooseCase{"NumberReadsAsItsText", rules(false, false, true, false), db::Value(1.5), "15", true},
        LooseCase{"NotUtf8KeepsItsBytes", rules(true, true, true, true), std::string("caf\xe9"), "cafe", false},
        LooseCase{"NotUtf8EqualsItself", rules(true, true, true, true), std::string("x, caf\xe9"),
                  std::string("caf\xe9 X"), true},
        LooseCase{"BlobsAreLeftAlone", rules(true, true, true, true), blob("a b"), blob("a  b"), false}),
    [](const auto& test) { return std::string(test.param.name); });

// The groups a scan's keys make: sizes, the first and last row of each, the largest first (of equal size
// the one seen first), far rows kept exactly; a row past what the counter holds is refused, not wrapped.
TEST(GroupCounterTest, CountsGroupsWithTheirFirstAndLastRows) {
    dedupe::GroupCounter counter;
    const long long far = 4'000'000'000LL; // beyond 31 bits
    const std::pair<std::uint32_t, long long> added[] = {{0, 0}, {1, 1}, {0, 2},   {2, 3},      {1, 4},
                                                         {0, 5}, {3, 6}, {3, far}, {1, far + 1}};
    for (const auto& [ordinal, row] : added)
        counter.add(ordinal, row);
    EXPECT_EQ(counter.groups(), 3);
    EXPECT_EQ(counter.largest(), 3);
    EXPECT_EQ(counter.size(2), 1u);
    EXPECT_EQ(counter.size(9), 0u);
    const auto largest = counter.largestGroups(5);
    ASSERT_EQ(largest.size(), 3u);
    const dedupe::GroupCounter::Group expected[] = {{0, 3, 0, 5}, {1, 3, 1, far + 1}, {3, 2, 6, far}};
    for (std::size_t i = 0; i < largest.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(largest[i].ordinal, expected[i].ordinal);
        EXPECT_EQ(largest[i].size, expected[i].size);
        EXPECT_EQ(largest[i].firstRow, expected[i].firstRow);
        EXPECT_EQ(largest[i].lastRow, expected[i].lastRow);
    }
    // Without the places, the same groups and sizes.
    dedupe::GroupCounter sizesOnly(dedupe::GroupCounter::Places::NotKept);
    for (const auto& [ordinal, row] : added)
        sizesOnly.add(ordinal, row);
    EXPECT_EQ(sizesOnly.groups(), counter.groups());
    EXPECT_EQ(sizesOnly.largest(), counter.largest());
    EXPECT_EQ(sizesOnly.largestGroups(5).size(), largest.size());
}

// Sizes around and past what one byte holds stay exact, for each key, the largest and the order of the
// largest groups.
TEST(GroupCounterTest, LargeGroupsKeepTheirExactSize) {
    const std::uint32_t sizes[] = {1, 254, 2, 255, 256, 1000, 255, 70000};
    dedupe::GroupCounter counter(dedupe::GroupCounter::Places::NotKept);
    // Rows of all keys interleaved, the first row of each key in ordinal order.
    for (std::uint32_t round = 0; round < 70000; ++round)
        for (std::uint32_t ordinal = 0; ordinal < std::size(sizes); ++ordinal)
            if (round < sizes[ordinal])
                counter.add(ordinal, 0);
    // Many more keys, one of them repeated at the end.
    const std::uint32_t keys = 200000;
    for (auto ordinal = static_cast<std::uint32_t>(std::size(sizes)); ordinal < keys; ++ordinal)
        counter.add(ordinal, 0);
    counter.add(keys - 1, 0);
    for (std::uint32_t ordinal = 0; ordinal < std::size(sizes); ++ordinal)
        EXPECT_EQ(counter.size(ordinal), sizes[ordinal]) << ordinal;
    EXPECT_EQ(counter.size(keys / 2), 1u);
    EXPECT_EQ(counter.size(keys - 1), 2u);
    EXPECT_EQ(counter.size(keys), 0u);
    EXPECT_EQ(counter.groups(), 8);
    EXPECT_EQ(counter.largest(), 70000);
    const auto largest = counter.largestGroups(4);
    const std::pair<std::uint32_t, std::uint32_t> expected[] = {{7, 70000}, {5, 1000}, {4, 256}, {3, 255}};
    ASSERT_EQ(largest.size(), std::size(expected));
    for (std::size_t i = 0; i < largest.size(); ++i) {
        EXPECT_EQ(largest[i].ordinal, expected[i].first) << i;
        EXPECT_EQ(largest[i].size, expected[i].second) << i;
    }
}

} // namespace
