#pragma once
// Connection strings of the two Access providers, built and read back.
#include <map>
#include <string>

namespace db {

inline constexpr const char* kAceProvider = "Microsoft.ACE.OLEDB.12.0";
inline constexpr const char* kJetProvider = "Microsoft.Jet.OLEDB.4.0";

// "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=<path>;JET OLEDB:Database Password=<password>" when the
// path ends in "accdb" (any case), otherwise "PROVIDER=Microsoft.Jet.OLEDB.4.0;...". A value that holds
// ';' or starts with a quote or blank is enclosed in double quotes (inner quotes doubled) so that it
// cannot end its clause early; the common case is exactly the plain template.
std::string BuildConnectionString(const std::string& path, const std::string& password);

struct ConnectionString {
    std::string provider;
    std::string dataSource;
    std::string password;
    std::map<std::string, std::string> all; // every keyword, upper-cased, with its value
};

// Keywords in any case, values plain or in double/single quotes (a doubled quote inside stands for one),
// unknown keywords kept in `all` and otherwise ignored. Throws db::Error on malformed quoting.
ConnectionString ParseConnectionString(const std::string& text);

} // namespace db
