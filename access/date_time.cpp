#include "access/date_time.h"
#include <cmath>
#include <cstdio>

namespace accessdb {

namespace {

constexpr long long kFirstDay = -657434; // 0100-01-01
constexpr long long kLastDay = 2958465;  // 9999-12-31
constexpr long long kSecondsPerDay = 86400;

struct CivilDate {
    long long year;
    unsigned month;
    unsigned day;
};

// Proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's civil_from_days).
CivilDate civilFromDays(long long z) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<long long>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

} // namespace

std::optional<std::string> dateTimeText(double stored) {
    if (!std::isfinite(stored))
        return std::nullopt;
    const double whole = std::trunc(stored);
    if (whole < static_cast<double>(kFirstDay) || whole > static_cast<double>(kLastDay))
        return std::nullopt;
    auto day = static_cast<long long>(whole);
    auto seconds = static_cast<long long>(std::llround(std::fabs(stored - whole) * kSecondsPerDay));
    if (seconds >= kSecondsPerDay) { // 23:59:59.5 and later round into the next calendar day
        seconds -= kSecondsPerDay;
        ++day;
    }
    if (day > kLastDay)
        return std::nullopt;

    const CivilDate date = civilFromDays(day - 25569); // 1899-12-30 is 25569 days before 1970-01-01
    const auto clock = static_cast<int>(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year), date.month, date.day,
                  clock / 3600, clock / 60 % 60, clock % 60);
    return std::string(text);
}

} // namespace accessdb
