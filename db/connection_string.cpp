#include "db/connection_string.h"
#include "db/ascii.h"
#include "db/error.h"

namespace db {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A value that holds ';' would end its clause early, and one that starts with a quote or a blank would
// be read differently; only those are quoted, so ordinary paths give exactly the plain template.
std::string clauseValue(const std::string& value) {
    const bool needsQuotes = value.find(';') != std::string::npos ||
                             (!value.empty() && (value[0] == '"' || value[0] == '\'' || isBlank(value[0])));
    if (!needsQuotes)
        return value;
    std::string out = "\"";
    for (char c : value) {
        out.push_back(c);
        if (c == '"')
            out.push_back(c);
    }
    out.push_back('"');
    return out;
}

} // namespace

std::string BuildConnectionString(const std::string& path, const std::string& password) {
    const std::string tail = path.size() > 5 ? path.substr(path.size() - 5) : path;
    const bool ace = ascii::equalNoCase(tail, "accdb");
    std::string text = ace ? std::string("Provider=") + kAceProvider : std::string("PROVIDER=") + kJetProvider;
    text += ";Data Source=" + clauseValue(path);
    text += ";JET OLEDB:Database Password=" + clauseValue(password);
    return text;
}

ConnectionString ParseConnectionString(const std::string& text) {
    ConnectionString result;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        // Keyword: up to '=', blanks around it dropped.
        std::size_t eq = text.find('=', i);
        std::size_t semi = text.find(';', i);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            // A clause without '=': only blanks are allowed there.
            std::size_t end = semi == std::string::npos ? n : semi;
            for (std::size_t k = i; k < end; ++k)
                if (!isBlank(text[k]))
                    throw Error(err::EngineError,
                                "The connection string has a clause without '=': \"" + text.substr(i, end - i) + "\".");
            i = end + 1;
            continue;
        }
        std::size_t kb = i, ke = eq;
        while (kb < ke && isBlank(text[kb]))
            ++kb;
        while (ke > kb && isBlank(text[ke - 1]))
            --ke;
        const std::string keyword = ascii::upper(std::string_view(text).substr(kb, ke - kb));

        std::size_t v = eq + 1;
        while (v < n && isBlank(text[v]))
            ++v;
        std::string value;
        if (v < n && (text[v] == '"' || text[v] == '\'')) {
            const char q = text[v++];
            bool closed = false;
            while (v < n) {
                if (text[v] == q) {
                    if (v + 1 < n && text[v + 1] == q) {
                        value.push_back(q);
                        v += 2;
                        continue;
                    }
                    closed = true;
                    ++v;
                    break;
                }
                value.push_back(text[v++]);
            }
            if (!closed)
                throw Error(err::EngineError, "The connection string has an unclosed quote in the value of \"" +
                                                  text.substr(kb, ke - kb) + "\".");
            while (v < n && isBlank(text[v]))
                ++v;
            if (v < n && text[v] != ';')
                throw Error(err::EngineError, "The connection string has text after the quoted value of \"" +
                                                  text.substr(kb, ke - kb) + "\".");
            i = v + 1;
        } else {
            std::size_t end = text.find(';', v);
            if (end == std::string::npos)
                end = n;
            value = text.substr(v, end - v);
            i = end + 1;
        }
        if (!keyword.empty())
            result.all[keyword] = value;
    }
    auto get = [&](const char* key) {
        auto it = result.all.find(key);
        return it == result.all.end() ? std::string() : it->second;
    };
    result.provider = get("PROVIDER");
    result.dataSource = get("DATA SOURCE");
    result.password = get("JET OLEDB:DATABASE PASSWORD");
    return result;
}

} // namespace db
