// rowsifter-cli on a server: where the password may come from, and what it refuses before changing anything.
#include "cli_fixture.h"
#include "db/server_address.h"
#include "tests/server/server_support.h"
#include <gtest/gtest.h>
#include <optional>

namespace {

using dedupe_test::CliTest;
using dedupe_test::Outcome;

class ServerCliTest : public CliTest {
protected:
    std::optional<servertest::ServerDatabase> server;

    void SetUp() override {
        ROWSIFTER_REQUIRE_SERVER();
        server.emplace();
        server->sql("CREATE TABLE \"Customers\"(\"ID\" integer PRIMARY KEY, \"First\" text, \"Last\" text);"
                    "INSERT INTO \"Customers\" VALUES (1,'Ann','Lee'),(2,'Bob','Ray'),(3,'Ann','Lee');"
                    "GRANT SELECT ON \"Customers\" TO PUBLIC; GRANT CREATE ON SCHEMA public TO PUBLIC");
    }
    std::vector<std::string> run(const std::string& uri, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"-q", "-d", uri, "-t", "Customers", "-f", "First", "-o", "Kept"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    bool written() {
        return server->rows("SELECT count(*) FROM pg_class WHERE relname = 'Kept'") == std::vector<std::string>{"1"};
    }
};

// The password comes from ROWSIFTER_PASSWORD (or libpq's own sources); an address that carries one is
// refused without repeating it, and a wrong one is said to be wrong. Nothing is written by a refused run.
TEST_F(ServerCliTest, PasswordsAndAddresses) {
    const auto& c = servertest::cluster();
    const std::string uri = server->uri(c.passwordUser);
    const std::string withPassword =
        "postgresql://" + c.passwordUser + ":s3cret@/" + server->name() + "?host=" + c.host + "&port=" + c.port;
    const struct {
        std::string uri;
        const char* password;
        int status;
        const char* says;
    } cases[] = {
        {withPassword, nullptr, 1, "ROWSIFTER_PASSWORD"},
        {uri, "wrong", 1, "password was refused"},
        {uri, nullptr, 1, "asks for a password"},
        {uri, c.password.c_str(), 0, ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.uri + " " + (k.password ? k.password : "(none)"));
        const Outcome o = cli(run(k.uri, {"--json"}), k.password);
        EXPECT_EQ(o.status, k.status) << o.out << o.err;
        EXPECT_NE(o.out.find(k.says), std::string::npos) << o.out;
        EXPECT_EQ(o.out.find("s3cret"), std::string::npos) << o.out;
        EXPECT_EQ(written(), k.status == 0);
    }
}

TEST_F(ServerCliTest, RefusesWhatCannotWorkOnAServerBeforeChangingAnything) {
    const std::string longName(64, 'n');
    const std::string shown = db::shownDataSource(server->uri());
    const struct {
        std::vector<std::string> extra;
        std::string says;
    } cases[] = {
        {{"--sqlite-copy", dir.file("copy.sqlite")}, "--sqlite-copy"},
        {{"--sqlite-copy", dir.file("copy.sqlite")}, "'" + shown + "'"},
        {{"--removed-into", longName}, "63 bytes"},
        {{"--groups-into", longName}, "63 bytes"},
        {{"--groups-into", longName}, "'" + shown + "'"},
    };
    for (const auto& k : cases) {
        const Outcome o = cli(run(server->uri(), k.extra));
        EXPECT_EQ(o.status, 1);
        EXPECT_NE(o.err.find(k.says), std::string::npos) << o.err;
        EXPECT_FALSE(written());
    }
    const Outcome o = cli(run(server->uri(), {"--dry-run"}));
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("remove 1 repeated rows"), std::string::npos) << o.out;
    EXPECT_FALSE(written());
}

} // namespace
