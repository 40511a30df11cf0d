#pragma once
// Field: one column of a record set, with the current row's value.
#include "db/types.h"
#include "db/value.h"
#include <string>

namespace db {

struct Field {
    std::string Name;
    int Type = adVariant; // data-type code from the declared type
    db::Value Value;      // value in the current row (Null where the field holds none)
};

} // namespace db
