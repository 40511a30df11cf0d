#include "db/sql_quote.h"

namespace db {

namespace {
std::string enclose(std::string_view name, char open, char close) {
    std::string out;
    out.reserve(name.size() + 2);
    out.push_back(open);
    for (char c : name) {
        out.push_back(c);
        if (c == close)
            out.push_back(c);
    }
    out.push_back(close);
    return out;
}
} // namespace

std::string quoteBracket(std::string_view name) {
    return enclose(name, '[', ']');
}
std::string quoteBackquote(std::string_view name) {
    return enclose(name, '`', '`');
}
std::string quoteIdentifier(std::string_view name) {
    return enclose(name, '"', '"');
}

} // namespace db
