#pragma once
// Server addresses: libpq connection URIs, and the checks made before anything connects.
#include <string>
#include <string_view>

namespace db::pg {

// "postgresql://..." or "postgres://...", the scheme in lower case as libpq reads it.
bool isUri(std::string_view text);

// Throws db::Error when the URI cannot be read or carries a password (in the user part or as
// ?password=): a password goes in the password box, ROWSIFTER_PASSWORD, the prompt or ~/.pgpass, never
// in the address, which is remembered and shown. The message never repeats the address.
void checkUri(const std::string& uri);

// "the PostgreSQL server at HOST:PORT" or "the PostgreSQL server at the socket folder PATH", from the URI
// alone (no connection needed).
std::string describeServer(const std::string& uri);

// The URI as it may be shown: a password in it replaced by "***".
std::string withoutPassword(const std::string& uri);

} // namespace db::pg
