#include "runtime/core/datetime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Formats, in code page 936.
const char kDateFormat[] = "%d\xc4\xea%d\xd4\xc2%d\xc8\xd5";           // "%d年%d月%d日"
const char kHourFormat[] = "%d\xca\xb1";                               // "%d时"
const char kMinuteFormat[] = "%d\xca\xb1%d\xb7\xd6";                   // "%d时%d分"
const char kSecondFormat[] = "%d\xca\xb1%d\xb7\xd6%d\xc3\xeb";         // "%d时%d分%d秒"

constexpr std::int64_t kDaysPer400Years = 146097;

bool IsLeap(std::int64_t year) { return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0); }
std::int64_t DaysOfYear(std::int64_t year) { return IsLeap(year) ? 366 : 365; }

// Year and day of the year (from 1) of day number d.
void YearAndDay(std::int64_t d, std::int64_t* year, std::int64_t* dayOfYear) {
    if (d == 0 || d == 1) {  // 1899-12-30 and 1899-12-31
        *year = 1899;
        *dayOfYear = 364 + d;
        return;
    }
    if (d >= 2) {
        std::int64_t n = d - 1, y = 1900;
        // whole 400-year cycles first: each holds the same number of days
        while (n > kDaysPer400Years + 366) {
            n -= kDaysPer400Years;
            y += 400;
        }
        while (n > DaysOfYear(y)) n -= DaysOfYear(y++);
        *year = y;
        *dayOfYear = n;
        return;
    }
    std::int64_t n = 1 - d, y = 1899;
    while (n >= kDaysPer400Years + 366) {
        n -= kDaysPer400Years;
        y -= 400;
    }
    while (n >= DaysOfYear(y)) n -= DaysOfYear(y--);
    *year = y;
    *dayOfYear = DaysOfYear(y) - n;
}

}  // namespace

void FormatDateTime(double value, char* area) {
    double whole = 0.0;
    double fraction = std::isnan(value) ? 0.0 : std::modf(value, &whole);
    if (std::isinf(value)) fraction = 0.0;
    // a day count beyond the int32 range is held at its bounds
    std::int64_t d = whole >= 2147483647.0 ? 2147483647 : whole <= -2147483648.0 ? -2147483648LL
                                                                                   : static_cast<std::int64_t>(whole);
    auto s = static_cast<std::int64_t>(std::fabs(fraction) * 86400.0 + 0.5);
    int hours = static_cast<int>(s / 3600), minutes = static_cast<int>(s % 3600 / 60), seconds = static_cast<int>(s % 60);

    std::int64_t year = 0, day = 0;
    YearAndDay(d, &year, &day);
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 1;
    for (; month < 12; ++month) {
        int length = kMonthDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
        if (day <= length) break;
        day -= length;
    }

    // the date format and the time format joined into one, then formatted once
    char format[64];
    const char* time = seconds ? kSecondFormat : minutes ? kMinuteFormat : hours ? kHourFormat : "";
    std::snprintf(format, sizeof format, "%s%s", kDateFormat, time);
    std::snprintf(area, kWorkAreaSize, format, static_cast<int>(year), month, static_cast<int>(day), hours, minutes,
                  seconds);
}
