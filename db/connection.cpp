#include "db/connection.h"
#include "db/connection_string.h"
#include "db/engine.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/types.h"
#include <atomic>
#include <cctype>
#include <map>

namespace db {

struct ConnectionState {
    std::shared_ptr<Engine> engine;
    std::string path;
    std::map<std::string, Value> properties;
};

namespace {

std::atomic<bool> g_forceProviderFailure{false};

constexpr const char* kProviderMissing = "Provider cannot be found. It may not be properly installed.";

std::string upperAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The provider properties a caller may set; their values are kept but change nothing here (SQLite has
// no per-file lock limit).
const char* const kKnownProperties[] = {"Jet OLEDB:Max Locks Per File"};

std::string knownProperty(const std::string& name) {
    for (const char* known : kKnownProperties)
        if (upperAscii(known) == upperAscii(name))
            return known;
    throw Error(err::ItemNotFound, "Item cannot be found in the collection corresponding to the requested name "
                                   "or ordinal: there is no property '" +
                                       name + "'.");
}

[[noreturn]] void closed() {
    throw Error(err::ObjectClosed, "Operation is not allowed when the object is closed (the database connection "
                                   "is not open).");
}

} // namespace

Connection::Connection() : m_state(std::make_shared<ConnectionState>()) {}

void Connection::Open(const std::string& connectionString) {
    if (m_state->engine)
        throw Error(err::ObjectOpen, "Operation is not allowed when the object is open (the connection to '" +
                                         m_state->path + "' is already open).");
    const ConnectionString cs = ParseConnectionString(connectionString);
    std::string provider = upperAscii(cs.provider);
    while (!provider.empty() && (provider.back() == ' ' || provider.back() == '\t'))
        provider.pop_back();
    if (g_forceProviderFailure || (provider != upperAscii(kAceProvider) && provider != upperAscii(kJetProvider)))
        throw Error(err::ProviderNotFound, kProviderMissing);
    m_state->engine = Engine::open(cs.dataSource, cs.password, Mode == adModeRead);
    m_state->path = cs.dataSource;
}

Engine& Connection::openEngine() const {
    if (!m_state->engine)
        closed();
    return *m_state->engine;
}

void Connection::Execute(const std::string& sql) {
    openEngine().execute(sql);
}

void Connection::BeginTrans() {
    openEngine().beginTransaction();
}

void Connection::CommitTrans() {
    openEngine().commitTransaction();
}

void Connection::RollbackTrans() {
    openEngine().rollbackTransaction();
}

void Connection::declareWorkTable(const std::string& name) {
    if (!m_state->engine)
        closed();
    m_state->engine->declareWorkTable(name);
}

void Connection::ensureWritable() {
    openEngine().ensureWritable();
}

long long Connection::tableBytes(const std::string& table) {
    return openEngine().tableBytes(table);
}

FreeSpace Connection::workTableSpace() const {
    return openEngine().workTableSpace();
}

FreeSpace Connection::fileFolderSpace() const {
    return openEngine().fileFolderSpace();
}

void Connection::keepWorkBesideFile() {
    openEngine().keepWorkBesideFile();
}

void Connection::setProperty(const std::string& name, const Value& value) {
    m_state->properties[knownProperty(name)] = value;
}

Value Connection::property(const std::string& name) const {
    const std::string key = knownProperty(name);
    auto it = m_state->properties.find(key);
    return it == m_state->properties.end() ? Value() : it->second;
}

Recordset Connection::OpenSchema(int schema) {
    if (!m_state->engine)
        closed();
    if (schema != adSchemaTables)
        throw Error(err::EngineError, "Schema rowset " + std::to_string(schema) +
                                          " is not supported for the database file '" + m_state->path + "'.");
    auto source = m_state->engine->schemaTables();
    std::vector<Field> columns = source->columns();
    std::vector<std::vector<Value>> rows;
    for (long long r = 0; source->hasRow(r); ++r) {
        std::vector<Value> row;
        for (std::size_t c = 0; c < columns.size(); ++c)
            row.push_back(source->value(r, static_cast<int>(c)));
        rows.push_back(std::move(row));
    }
    return Recordset::fromRows(std::move(columns), std::move(rows));
}

void Connection::Close() {
    if (!m_state->engine)
        closed();
    auto engine = std::move(m_state->engine);
    m_state->engine.reset();
    engine->commitPending();
}

bool Connection::isOpen() const {
    return m_state->engine != nullptr;
}

const std::string& Connection::path() const {
    return m_state->path;
}

std::shared_ptr<Engine> Connection::engine() const {
    return m_state->engine;
}

void probeProvider() {
    if (g_forceProviderFailure)
        throw Error(err::ProviderNotFound, kProviderMissing);
    // The library is usable when it can open a database at all.
    try {
        auto engine = Engine::create(":memory:", "");
    } catch (const Error&) {
        throw Error(err::ProviderNotFound, kProviderMissing);
    }
}

void forceProviderFailureForTesting(bool fail) {
    g_forceProviderFailure = fail;
}

} // namespace db
