#include "db/catalogue.h"
#include "db/ascii.h"
#include "db/connection.h"
#include "db/recordset.h"
#include "db/types.h"
#include <sys/stat.h>

namespace db {

bool FileExists(const std::string& path) {
    if (path.empty())
        return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::optional<std::vector<std::string>> GetAccessTableNames(const std::string& path,
                                                            const std::string& connectionString) {
    if (!FileExists(path))
        return std::nullopt;
    Connection connection;
    connection.Open(connectionString);
    Recordset schema = connection.OpenSchema(adSchemaTables);
    std::vector<std::string> names;
    while (!schema.EOF_()) {
        if (schema.field("TABLE_TYPE").Value == Value("TABLE"))
            names.push_back(schema.field("TABLE_NAME").Value.toText());
        schema.MoveNext();
    }
    schema.Close();
    connection.Close();
    return names;
}

std::optional<std::string> VirtualTableModule(const std::string& connectionString, const std::string& name) {
    Connection connection;
    connection.Mode = adModeRead;
    connection.Open(connectionString);
    Recordset schema = connection.OpenSchema(adSchemaTables);
    std::optional<std::string> module;
    for (; !schema.EOF_() && !module; schema.MoveNext()) {
        const Value description = schema.field("DESCRIPTION").Value;
        if (!description.isNull() && ascii::equalNoCase(schema.field("TABLE_NAME").Value.toText(), name))
            module = description.toText();
    }
    schema.Close();
    connection.Close();
    return module;
}

} // namespace db
