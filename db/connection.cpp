#include "db/connection.h"
#include "db/ascii.h"
#include "db/backend.h"
#include "db/connection_string.h"
#include "db/dialect.h"
#include "db/error.h"
#include "db/recordset.h"
#include "db/types.h"
#include <atomic>
#include <map>

namespace db {

struct ConnectionState {
    std::shared_ptr<Backend> backend;
    std::string path;
    std::map<std::string, Value> properties;
    dialect::ParseCache parsed;
};

namespace {

std::atomic<bool> g_forceProviderFailure{false};

constexpr const char* kProviderMissing = "Provider cannot be found. It may not be properly installed.";

// The provider properties a caller may set; their values are kept but change nothing here (SQLite has
// no per-file lock limit).
const char* const kKnownProperties[] = {"Jet OLEDB:Max Locks Per File"};

std::string knownProperty(const std::string& name) {
    for (const char* known : kKnownProperties)
        if (ascii::equalNoCase(known, name))
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
    if (m_state->backend)
        throw Error(err::ObjectOpen, "Operation is not allowed when the object is open (the connection to '" +
                                         m_state->path + "' is already open).");
    const ConnectionString cs = ParseConnectionString(connectionString);
    std::string provider = cs.provider;
    while (!provider.empty() && (provider.back() == ' ' || provider.back() == '\t'))
        provider.pop_back();
    if (g_forceProviderFailure ||
        (!ascii::equalNoCase(provider, kAceProvider) && !ascii::equalNoCase(provider, kJetProvider)))
        throw Error(err::ProviderNotFound, kProviderMissing);
    m_state->backend = db::openBackend(cs.dataSource, cs.password, Mode == adModeRead);
    m_state->path = cs.dataSource;
}

Backend& Connection::openBackend() const {
    if (!m_state->backend)
        closed();
    return *m_state->backend;
}

void Connection::Execute(const std::string& sql) {
    Backend& backend = openBackend();
    backend.execute(m_state->parsed.parse(sql));
}

void Connection::BeginTrans() {
    openBackend().beginTransaction();
}

void Connection::CommitTrans() {
    openBackend().commitTransaction();
}

void Connection::RollbackTrans() {
    openBackend().rollbackTransaction();
}

void Connection::declareWorkTable(const std::string& name) {
    if (!m_state->backend)
        closed();
    m_state->backend->declareWorkTable(name);
}

void Connection::ensureWritable() {
    openBackend().ensureWritable();
}

long long Connection::tableBytes(const std::string& table) {
    return openBackend().tableBytes(table);
}

FreeSpace Connection::workTableSpace() const {
    return openBackend().workTableSpace();
}

FreeSpace Connection::fileFolderSpace() const {
    return openBackend().fileFolderSpace();
}

void Connection::keepWorkBesideFile() {
    openBackend().keepWorkBesideFile();
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
    if (!m_state->backend)
        closed();
    if (schema != adSchemaTables)
        throw Error(err::EngineError, "Schema rowset " + std::to_string(schema) +
                                          " is not supported for the database file '" + m_state->path + "'.");
    auto source = m_state->backend->schemaTables();
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
    if (!m_state->backend)
        closed();
    auto backend = std::move(m_state->backend);
    m_state->backend.reset();
    backend->commitPending();
}

bool Connection::isOpen() const {
    return m_state->backend != nullptr;
}

const std::string& Connection::path() const {
    return m_state->path;
}

std::shared_ptr<Backend> Connection::backend() const {
    return m_state->backend;
}

void probeProvider() {
    if (g_forceProviderFailure)
        throw Error(err::ProviderNotFound, kProviderMissing);
    // The library is usable when it can open a database at all.
    try {
        probeFileBackend();
    } catch (const Error&) {
        throw Error(err::ProviderNotFound, kProviderMissing);
    }
}

void forceProviderFailureForTesting(bool fail) {
    g_forceProviderFailure = fail;
}

} // namespace db
