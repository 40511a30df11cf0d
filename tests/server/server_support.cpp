#include "tests/server/server_support.h"
#include "db/pg/session.h"
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace servertest {

namespace {

Cluster readCluster() {
    Cluster c;
    const char* file = std::getenv("ROWSIFTER_PG_CLUSTER");
    if (!file) {
        c.skip = "ROWSIFTER_PG_CLUSTER is not set (run the tests through ctest, which starts the cluster)";
        return c;
    }
    std::ifstream in(file);
    if (!in) {
        c.skip = std::string("the cluster's state file is missing: ") + file;
        return c;
    }
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        const std::string key = line.substr(0, eq == std::string::npos ? line.find(':') : eq);
        const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (line.rfind("skip:", 0) == 0)
            c.skip = line.substr(6);
        else if (key == "host")
            c.host = value;
        else if (key == "port")
            c.port = value;
        else if (key == "admin")
            c.admin = value;
        else if (key == "user")
            c.user = value;
        else if (key == "password_user")
            c.passwordUser = value;
        else if (key == "password")
            c.password = value;
    }
    if (c.skip.empty() && (c.host.empty() || c.port.empty()))
        c.skip = std::string("the cluster's state file names no server: ") + file;
    return c;
}

std::string baseUri(const std::string& role, const std::string& database) {
    const Cluster& c = cluster();
    return "postgresql://" + role + "@/" + database + "?host=" + c.host + "&port=" + c.port;
}

std::atomic<int> g_counter{0};

} // namespace

const Cluster& cluster() {
    static const Cluster c = readCluster();
    return c;
}

ServerDatabase::ServerDatabase() {
    m_name = "rs_test_" + std::to_string(::getpid()) + "_" + std::to_string(g_counter++);
    auto postgres = db::pg::Session::connect(baseUri(cluster().admin, "postgres"), "");
    postgres->run("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
    postgres->run("CREATE DATABASE " + m_name);
    m_admin = db::pg::Session::connect(uri(cluster().admin), "");
    m_admin->run("GRANT ALL ON SCHEMA public TO PUBLIC");
}

ServerDatabase::~ServerDatabase() {
    m_admin.reset();
    try {
        auto postgres = db::pg::Session::connect(baseUri(cluster().admin, "postgres"), "");
        postgres->run("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
    } catch (...) {
        // the cluster goes at the end of the run all the same
    }
}

std::string ServerDatabase::uri(const std::string& role) const {
    return baseUri(role.empty() ? cluster().admin : role, m_name);
}

void ServerDatabase::sql(const std::string& script) const {
    m_admin->run(script);
}

std::vector<std::string> ServerDatabase::rows(const std::string& query) const {
    std::vector<std::string> out;
    m_admin->forEachRow(
        query, {}, [](const std::vector<db::pg::Column>&) {},
        [&](const db::pg::Row& row) {
            std::string line;
            for (int c = 0; c < row.columns(); ++c) {
                if (c)
                    line += '|';
                line += row.isNull(c) ? std::string("<null>") : std::string(row.text(c));
            }
            out.push_back(line);
        });
    return out;
}

} // namespace servertest
