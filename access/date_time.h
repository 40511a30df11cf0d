#pragma once
// Access stores a date as a double: days since 1899-12-30, the time of day as the fraction.
#include <optional>
#include <string>

namespace accessdb {

// "YYYY-MM-DD HH:MM:SS", rounded to the second. A negative value counts whole days back from the epoch
// while its fraction is still the time of day (-1.25 is 1899-12-29 06:00:00), as Access reads it.
// std::nullopt outside the years 100 to 9999 that Access can hold, and for NaN or infinity.
std::optional<std::string> dateTimeText(double stored);

} // namespace accessdb
