// The looser keys and the rule for empty keys, each checked against groups written by hand from the rule:
// for every row, the identifier of the first row of its group. The cases run once per back-end.
#include "cli_fixture.h"
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

using dedupe_test::Outcome;

// Names written in the ways people write the same name: accents precomposed and decomposed (19), blanks
// doubled and tabs, punctuation, the words in another order, apostrophes; and empty keys (14 to 16).
// CHR(n) stands for the character of code point n: SQLite's char(n), a server's chr(n).
const char* const kNames = R"(
CREATE TABLE "Names" (id INTEGER PRIMARY KEY, name TEXT, city TEXT);
INSERT INTO "Names" VALUES (1, 'Élise Dupont', 'Lyon'), (2, 'Elise Dupont', 'Nice'), (3, 'Elise  Dupont', 'Metz'),
    (4, 'Elise-Dupont', 'Lyon'), (5, 'Dupont, Élise', 'Nice'), (6, 'dupont elise', 'Metz'),
    (7, ' Elise' || CHR(9) || 'Dupont ', 'Lyon'), (8, 'O''Brien', 'Cork'), (9, 'OBrien', 'Cork'),
    (10, 'O Brien', 'Cork'), (11, 'Smith, John', 'Oslo'), (12, 'john smith', 'Oslo'), (13, 'John Smith John', 'Oslo'),
    (14, NULL, 'Rome'), (15, '', 'Rome'), (16, '...', 'Rome'), (17, 'Ärger!', 'Bonn'), (18, 'Arger', 'Bonn'),
    (19, 'E' || CHR(769) || 'lise Dupont', 'Lyon'), (20, '¿Qué?', 'Lima');
)";

std::string names(bool server) {
    std::string sql = kNames;
    for (std::size_t at = sql.find("CHR("); at != std::string::npos; at = sql.find("CHR(", at))
        sql.replace(at, 3, server ? "chr" : "char");
    return sql;
}

struct LooseCase {
    const char* name;
    std::vector<std::string> options;
    std::vector<int> firstOfGroup; // for rows 1..20, the identifier of the first row of the row's group
};

void PrintTo(const LooseCase& c, std::ostream* os) {
    *os << c.name;
}

class CliLooseKeys : public dedupe_test::PerBackendCase<LooseCase> {
protected:
    void SetUp() override {
        PerBackendCase::SetUp();
        if (ready())
            script(names(server.has_value()));
    }

    // The identifiers that survive when of each hand-written group the first (or the last) row stays.
    std::string survivors(bool last) const {
        std::map<int, int> kept; // group -> surviving identifier
        const auto& groups = param().firstOfGroup;
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const int id = static_cast<int>(i) + 1;
            auto [at, added] = kept.emplace(groups[i], id);
            if (!added && last)
                at->second = id;
        }
        std::string list;
        for (const auto& [group, id] : kept)
            list += (list.empty() ? "" : ", ") + std::to_string(id);
        return list;
    }
};

// The output holds each group's surviving row with its values exactly as stored, the removed rows the
// others, with the first row kept and with the last; a dry run counts the same.
TEST_P(CliLooseKeys, GroupsAsTheRuleSays) {
    const LooseCase& c = param();
    ASSERT_EQ(c.firstOfGroup.size(), 20u);
    for (const bool last : {false, true}) {
        const std::string kept = last ? "KeptLast" : "Kept";
        std::vector<std::string> args = {"-d",   path, "-t", "Names",          "-f",
                                         "name", "-o", kept, "--removed-into", kept + "Gone"};
        if (last)
            args.insert(args.end(), {"--keep", "last"});
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome o = cli(args);
        ASSERT_EQ(o.status, 0) << o.err;
        const std::string ids = survivors(last);
        EXPECT_EQ(dump("SELECT * FROM \"" + kept + "\" ORDER BY id;"),
                  dump("SELECT * FROM \"Names\" WHERE id IN (" + ids + ") ORDER BY id;"))
            << (last ? "last" : "first");
        EXPECT_EQ(dump("SELECT * FROM \"" + kept + "Gone\" ORDER BY id;"),
                  dump("SELECT * FROM \"Names\" WHERE id NOT IN (" + ids + ") ORDER BY id;"));
    }
    const std::set<int> groups(c.firstOfGroup.begin(), c.firstOfGroup.end());
    std::vector<std::string> args = {"-d", path, "-t", "Names", "-f", "name", "-o", "Counted", "--dry-run"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome dry = cli(args);
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("remove " + std::to_string(20 - groups.size()) + " repeated rows"), std::string::npos)
        << dry.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliLooseKeys,
    ::testing::Combine(
        ::testing::Values(
            LooseCase{"CollapseBlanks", {"--collapse-blanks"}, {1,  2,  2,  4,  5,  6,  7,  8,  9,  10,
                                                                11, 12, 13, 14, 14, 16, 17, 18, 19, 20}},
            LooseCase{"FoldAccents", {"--fold-accents"}, {1,  1,  3,  4,  5,  6,  7,  8,  9, 10,
                                                          11, 12, 13, 14, 14, 16, 17, 18, 1, 20}},
            LooseCase{"IgnorePunctuation", {"--ignore-punctuation"}, {1,  2,  3,  4,  5,  6,  7,  8,  8,  10,
                                                                      11, 12, 13, 14, 14, 14, 17, 18, 19, 20}},
            LooseCase{
                "SameWords", {"--same-words"}, {1, 1, 1, 1, 1, 1, 1, 8, 8, 10, 11, 11, 11, 14, 14, 14, 17, 17, 1, 20}},
            LooseCase{"AllButWordsTogether",
                      {"--collapse-blanks", "--fold-accents", "--ignore-punctuation", "--ignore-case", "--trim"},
                      {1, 1, 1, 4, 5, 5, 1, 8, 8, 10, 11, 12, 13, 14, 14, 14, 17, 17, 1, 20}},
            LooseCase{"EmptyKeysDistinct",
                      {"--ignore-punctuation", "--empty-keys", "distinct"},
                      {1, 2, 3, 4, 5, 6, 7, 8, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
            LooseCase{"EmptyKeysSameIsTheDefault", {"--empty-keys=same"}, {1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                                           11, 12, 13, 14, 14, 16, 17, 18, 19, 20}}),
        ::testing::Bool()),
    dedupe_test::CaseAndBackendName());

// With distinct empty keys a row is empty only when all its chosen fields are: one SQL statement says
// which rows stay.
class CliEmptyKeys : public dedupe_test::PerBackend {};

INSTANTIATE_TEST_SUITE_P(Backends, CliEmptyKeys, ::testing::Values(false, true),
                         [](const auto& test) { return dedupe_test::backendName(test.param); });

TEST_P(CliEmptyKeys, EmptyKeysDistinctLooksAtAllChosenFields) {
    script("CREATE TABLE \"T\" (id INTEGER PRIMARY KEY, a TEXT, b TEXT);"
           "INSERT INTO \"T\" VALUES (1, NULL, NULL), (2, '', NULL), (3, ' ', ''), (4, NULL, 'x'),"
           "(5, '', 'x'), (6, 'y', NULL), (7, 'y', '');");
    const Outcome o =
        cli({"-d", path, "-t", "T", "-f", "a", "-f", "b", "-o", "K", "--trim", "--empty-keys", "distinct"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(dump("SELECT * FROM \"K\" ORDER BY id;"),
              dump("SELECT * FROM \"T\" WHERE (coalesce(trim(a), '') = '' AND coalesce(trim(b), '') = '') "
                   "OR id IN (SELECT min(id) FROM \"T\" GROUP BY coalesce(trim(a), ''), coalesce(trim(b), '')) "
                   "ORDER BY id;"));
    const Outcome bad = cli({"-d", path, "-t", "T", "-f", "a", "-o", "K2", "--empty-keys", "none"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("same or distinct"), std::string::npos) << bad.err;
}

} // namespace
