#pragma once
// The one helper that puts a name into a statement: brackets or back-quotes, the closing character
// inside the name written twice, so that no name can end the quoting early.
#include <string>
#include <string_view>

namespace db {

std::string quoteBracket(std::string_view name);    // [name]  with ] doubled
std::string quoteBackquote(std::string_view name);  // `name`  with ` doubled
std::string quoteIdentifier(std::string_view name); // "name"  with " doubled: the form SQLite itself reads

} // namespace db
