#include "db/recordset.h"
#include "db/backend.h"
#include "db/dialect.h"
#include "db/error.h"
#include "db/record_source.h"

namespace db {

namespace {
[[noreturn]] void closed() {
    throw Error(err::ObjectClosed, "Operation is not allowed when the object is closed (the record set is not open).");
}
} // namespace

Recordset::Recordset() = default;

void Recordset::Open(const std::string& sql, const Connection& connection, int cursorType, int /*lockType*/) {
    if (m_source)
        throw Error(err::ObjectOpen, "Operation is not allowed when the object is open (the record set is already "
                                     "open).");
    auto backend = connection.backend();
    if (!backend)
        throw Error(err::ObjectClosed, "Operation is not allowed when the object is closed (the connection for \"" +
                                           sql + "\" is not open).");
    const dialect::Statement statement = dialect::parse(sql);
    const auto* select = std::get_if<dialect::Select>(&statement);
    if (!select || select->into)
        throw Error(err::SyntaxError,
                    "The statement \"" + sql +
                        "\" returns no rows; only a SELECT without INTO can be opened as a record set.");
    m_source = backend->query(*select, cursorType);
    m_position = 0;
}

void Recordset::Close() {
    if (!m_source)
        closed();
    m_source.reset();
    m_position = 0;
}

bool Recordset::isOpen() const {
    return m_source != nullptr;
}

int Recordset::fieldCount() const {
    if (!m_source)
        closed();
    return static_cast<int>(m_source->columns().size());
}

Value Recordset::value(int index) const {
    if (index < 0 || index >= fieldCount())
        throw Error(err::ItemNotFound, "Item cannot be found in the collection corresponding to the requested name "
                                       "or ordinal: there is no field number " +
                                           std::to_string(index) + ".");
    return m_source->hasRow(m_position) ? m_source->value(m_position, index) : Value();
}

Field Recordset::field(int index) const {
    Field f;
    f.Value = value(index);
    const Field& meta = m_source->columns()[static_cast<std::size_t>(index)];
    f.Name = meta.Name;
    f.Type = meta.Type;
    return f;
}

Field Recordset::field(const std::string& name) const {
    if (!m_source)
        closed();
    const auto& columns = m_source->columns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].Name == name)
            return field(static_cast<int>(i));
    throw Error(err::ItemNotFound, "Item cannot be found in the collection corresponding to the requested name or "
                                   "ordinal: there is no field '" +
                                       name + "'.");
}

bool Recordset::EOF_() const {
    if (!m_source)
        closed();
    return !m_source->hasRow(m_position);
}

void Recordset::MoveNext() {
    if (EOF_())
        throw Error(err::NoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted.");
    ++m_position;
}

void Recordset::MoveFirst() {
    if (!m_source)
        closed();
    m_position = 0;
}

long long Recordset::RecordCount() const {
    if (!m_source)
        closed();
    return m_source->count();
}

Value Recordset::valueAt(long long row, int column) const {
    if (column < 0 || column >= fieldCount())
        throw Error(err::ItemNotFound, "Item cannot be found in the collection corresponding to the requested name "
                                       "or ordinal: there is no field number " +
                                           std::to_string(column) + ".");
    return m_source->value(row, column);
}

Recordset Recordset::fromRows(std::vector<Field> columns, std::vector<std::vector<Value>> rows) {
    Recordset r;
    r.m_source = makeMemorySource(std::move(columns), std::move(rows));
    return r;
}

} // namespace db
