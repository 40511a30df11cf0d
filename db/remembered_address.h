#pragma once
// What of a data source may be written down (the remembered path): a server address without any password
// in it, a path as it is.
#include <string>

namespace db {

// The data source with every password part of a server address removed: the password of the user part
// ("app:secret@" becomes "app@") and any "password=" parameter. It also holds while an address is being
// typed: an unfinished "postgresql://app:sec" keeps no "sec" (a port is digits, a password part need not
// be). Anything that is no server address comes back unchanged.
std::string rememberedDataSource(const std::string& dataSource);

} // namespace db
