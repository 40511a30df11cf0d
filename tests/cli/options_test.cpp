// The command line read in-process: every spelling of one command line means the same, values are taken
// as typed, and each command line that cannot be used is refused with a message naming what is wrong.
#include "cli/options.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Args = std::vector<std::string>;

std::string usageError(const Args& args) {
    try {
        cli::parseOptions(args);
    } catch (const cli::UsageError& error) {
        return error.message;
    }
    ADD_FAILURE() << "accepted: " << ::testing::PrintToString(args);
    return {};
}

TEST(CliOptions, SpellingsOfOneCommandLineReadAlike) {
    const std::vector<Args> spellings = {
        {"-d", "shop.db", "-t", "T", "-f", "a", "-f", "b c", "-o", "Out", "-q"},
        {"--database", "shop.db", "--table", "T", "--field", "a", "--field", "b c", "--output", "Out", "--quiet"},
        {"--database=shop.db", "--table=T", "--field=a", "-fb c", "-oOut", "--quiet"},
        {"-q", "-oOut", "-dshop.db", "-fa", "--field=b c", "-tT"},
    };
    for (const Args& args : spellings) {
        const cli::Options o = cli::parseOptions(args);
        EXPECT_EQ(o.database, "shop.db");
        EXPECT_EQ(o.table, "T");
        EXPECT_EQ(o.fields, (std::vector<std::string>{"a", "b c"})); // in the order given
        EXPECT_EQ(o.output, "Out");
        EXPECT_TRUE(o.quiet);
        EXPECT_FALSE(o.dryRun || o.json || o.replace || o.keepLast || o.rules.ignoreCase || o.rules.trim);
    }
}

// A value is the next argument whatever it looks like, and everything after the first '=' of a long option.
TEST(CliOptions, ValuesAreTakenAsTyped) {
    const cli::Options o =
        cli::parseOptions({"-d", "-odd.db", "-t", "--table", "-f", "=", "--output=a=b", "--keep", "last",
                           "--removed-into", "Gone", "--dry-run", "--json", "--replace", "--ignore-case", "--trim"});
    EXPECT_EQ(o.database, "-odd.db");
    EXPECT_EQ(o.table, "--table");
    EXPECT_EQ(o.fields, std::vector<std::string>{"="});
    EXPECT_EQ(o.output, "a=b");
    EXPECT_EQ(o.removedInto, "Gone");
    EXPECT_TRUE(o.keepLast && o.dryRun && o.json && o.replace && o.rules.ignoreCase && o.rules.trim);
    EXPECT_FALSE(cli::parseOptions({"-d", "x", "-t", "T", "-f", "a", "-o", "o", "--keep=first"}).keepLast);
}

TEST(CliOptions, WhatNeedsNoTable) {
    EXPECT_TRUE(cli::parseOptions({"--help"}).help);
    EXPECT_TRUE(cli::parseOptions({"-h"}).help);
    EXPECT_TRUE(cli::parseOptions({"--version"}).version);
    const cli::Options copy = cli::parseOptions({"-d", "nwind.mdb", "--sqlite-copy", "nwind.sqlite"});
    EXPECT_TRUE(copy.copyOnly());
    EXPECT_EQ(copy.sqliteCopy, "nwind.sqlite");
    // Once a table is named, the rest of a run is wanted too.
    EXPECT_NE(usageError({"-d", "nwind.mdb", "--sqlite-copy", "nwind.sqlite", "-t", "Orders"}).find("--field"),
              std::string::npos);
}

TEST(CliOptions, CommandLinesThatCannotBeUsedSayWhy) {
    const Args run = {"-d", "x.db", "-t", "T", "-f", "a", "-o", "o"};
    auto with = [&](Args extra) {
        Args args = run;
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    struct Case {
        Args args;
        const char* mentions;
    };
    const std::vector<Case> cases = {
        {{}, "--database"},
        {{"-d", "", "-t", "T", "-f", "a", "-o", "o"}, "--database"},
        {{"-d", "x.db", "-t", "T", "-f", "a"}, "--output"},
        {{"-d", "x.db", "-t", "T", "-o", "o"}, "--field"},
        {{"-d", "x.db", "-f", "a", "-o", "o"}, "--table"},
        {{"-d"}, "-d"},
        {with({"--password", "p"}), "never"},
        {with({"--password=p"}), "never"},
        {with({"-psecret"}), "never"},
        {with({"extra"}), "extra"},
        {with({"-x"}), "'-x'"},
        {with({"--frobnicate"}), "--frobnicate"},
        {with({"--quiet=yes"}), "--quiet"},
        {with({"-qv"}), "'-qv'"},
        {with({"--keep", "middle"}), "middle"},
        {with({"--removed-into="}), "--removed-into"},
        {with({"--sqlite-copy"}), "--sqlite-copy"},
    };
    for (const Case& c : cases) {
        const std::string message = usageError(c.args);
        EXPECT_NE(message.find(c.mentions), std::string::npos)
            << ::testing::PrintToString(c.args) << " gave: " << message;
    }
}

} // namespace
