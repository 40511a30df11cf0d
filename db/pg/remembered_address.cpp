#include "db/remembered_address.h"
#include "db/ascii.h"
#include "db/backend.h"
#include <algorithm>
#include <libpq-fe.h>

namespace db {

namespace {

bool allDigits(std::string_view text) {
    for (char c : text)
        if (!ascii::isDigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// One host entry of the authority without a user part: "host", "host:port", "[::1]:port". What follows a
// colon that is no port goes.
std::string withoutNonPort(std::string_view entry) {
    std::size_t from = 0;
    if (!entry.empty() && entry.front() == '[') {
        const std::size_t close = entry.find(']');
        if (close == std::string_view::npos)
            return std::string(entry);
        from = close + 1;
    }
    const std::size_t colon = entry.find(':', from);
    if (colon == std::string_view::npos || allDigits(entry.substr(colon + 1)))
        return std::string(entry);
    return std::string(entry.substr(0, colon));
}

bool parsedHasPassword(const std::string& uri) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
    PQfreemem(error);
    if (!options)
        return false;
    bool found = false;
    for (const PQconninfoOption* o = options; o->keyword; ++o)
        if (std::string_view(o->keyword) == "password" && o->val && *o->val)
            found = true;
    PQconninfoFree(options);
    return found;
}

} // namespace

std::string rememberedDataSource(const std::string& dataSource) {
    if (!isServerUri(dataSource))
        return dataSource;
    const std::size_t start = dataSource.find("://") + 3;
    const std::size_t authorityEnd = std::min(dataSource.find_first_of("/?", start), dataSource.size());
    std::string_view authority = std::string_view(dataSource).substr(start, authorityEnd - start);
    std::string kept = dataSource.substr(0, start);
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view user = authority.substr(0, at);
        kept += user.substr(0, user.find(':'));
        kept += '@';
        authority.remove_prefix(at + 1);
    }
    for (std::size_t from = 0;;) {
        const std::size_t comma = authority.find(',', from);
        kept += withoutNonPort(authority.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from));
        if (comma == std::string_view::npos)
            break;
        kept += ',';
        from = comma + 1;
    }
    std::string_view rest = std::string_view(dataSource).substr(authorityEnd);
    const std::size_t query = rest.find('?');
    kept += rest.substr(0, query);
    if (query != std::string_view::npos) {
        std::string parameters;
        std::string_view list = rest.substr(query + 1);
        while (true) {
            const std::size_t amp = list.find('&');
            const std::string_view parameter = list.substr(0, amp);
            // The keyword in any letter case, and any name written with escapes, which libpq may read as it.
            const std::string_view name = parameter.substr(0, parameter.find('='));
            if (!ascii::equalNoCase(name, "password") && name.find('%') == std::string_view::npos)
                parameters += (parameters.empty() ? "" : "&") + std::string(parameter);
            if (amp == std::string_view::npos)
                break;
            list.remove_prefix(amp + 1);
        }
        kept += "?" + parameters;
    }
    // Whatever spelling was missed above: the address without its parameters, rather than a password.
    if (parsedHasPassword(kept))
        return kept.substr(0, kept.find('?'));
    return kept;
}

} // namespace db
