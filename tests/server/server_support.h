#pragma once
// The throwaway cluster the CTest fixture starts (tests/server/cluster.sh), and a fresh database on it for
// each test, dropped again at the end.
#include <memory>
#include <string>
#include <vector>

namespace db::pg {
class Session;
}

namespace servertest {

struct Cluster {
    std::string skip; // why the server tests cannot run; empty when they can
    std::string host; // the socket folder
    std::string port;
    std::string admin;        // a superuser, trusted
    std::string user;         // a plain role, trusted
    std::string passwordUser; // a role that must give its password
    std::string password;
};

// Read once from the file ROWSIFTER_PG_CLUSTER names.
const Cluster& cluster();

// A database of its own on the cluster, made by the admin and dropped (with its sessions) at the end.
class ServerDatabase {
public:
    ServerDatabase();
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    const std::string& name() const { return m_name; }
    // postgresql://ROLE@/NAME?host=SOCKET_FOLDER&port=PORT
    std::string uri(const std::string& role = {}) const;
    // Plain server SQL as the admin: scripts of several statements, and the rows of a query joined by '|'
    // (Null as "<null>").
    void sql(const std::string& script) const;
    std::vector<std::string> rows(const std::string& query) const;

private:
    std::string m_name;
    std::unique_ptr<db::pg::Session> m_admin;
};

} // namespace servertest

// In a test that needs the server: skips saying why when the cluster could not be made, fails under CI.
#define ROWSIFTER_REQUIRE_SERVER()                                                                                     \
    do {                                                                                                               \
        const auto& reason = ::servertest::cluster().skip;                                                             \
        if (!reason.empty()) {                                                                                         \
            if (::testsupport::ciRun())                                                                                \
                FAIL() << "the PostgreSQL test cluster is missing under CI: " << reason;                               \
            GTEST_SKIP() << "no PostgreSQL test cluster: " << reason;                                                  \
        }                                                                                                              \
    } while (false)
