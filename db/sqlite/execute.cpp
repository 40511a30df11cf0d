// The dialect's statements handed to the verb that carries each out, and DROP TABLE.
#include "db/sqlite/engine_parts.h"

namespace db::sqlite {

void Engine::execute(const dialect::Statement& statement) {
    if (const auto* s = std::get_if<dialect::Select>(&statement)) {
        if (s->into)
            selectInto(*s);
        else
            query(*s, adOpenForwardOnly); // checks names; the rows are not wanted
    } else if (const auto* a = std::get_if<dialect::AddIdentity>(&statement)) {
        addIdentity(*a);
    } else if (const auto* d = std::get_if<dialect::Delete>(&statement)) {
        deleteRows(*d);
    } else if (const auto* u = std::get_if<dialect::Update>(&statement)) {
        updateRows(*u);
    } else if (const auto* c = std::get_if<dialect::AddColumn>(&statement)) {
        addColumn(*c);
    } else {
        dropTable(std::get<dialect::DropTable>(statement));
    }
}

void Engine::dropTable(const dialect::DropTable& d) {
    // A work table lives outside the file: dropping it needs nothing of the file, not even a look at its
    // catalogue (another program may hold the file).
    for (const auto& w : m_work) {
        if (!w->dropped && equalNoCase(w->name, d.table)) {
            freezeSnapshots(*w);
            w->dropped = true;
            w->gone.clear();
            schemaChanged();
            detachDropped();
            return;
        }
    }
    const TableInfo t = describe(d.table);
    if (t.isView)
        throw Error(err::EngineError, "'" + t.name + "' is a view, not a table: DROP TABLE does not remove it.");
    materializeBorrowersOf(t.name);
    if (m_written && equalNoCase(m_written->table, t.name))
        m_written.reset();
    Transaction tx(*this);
    exec("DROP TABLE " + quoteIdentifier(t.name), t.name);
    tx.commit();
    schemaChanged();
}

} // namespace db::sqlite
