#include "runtime/core/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

// The text with the UTF-8 calendar units turned into code page 936, so the
// cases read as the dates they are.
std::string Cp936(std::string text) {
    const char* units[][2] = {{"年", "\xc4\xea"}, {"月", "\xd4\xc2"}, {"日", "\xc8\xd5"},
                              {"时", "\xca\xb1"}, {"分", "\xb7\xd6"}, {"秒", "\xc3\xeb"}};
    for (auto& unit : units)
        for (std::size_t at; (at = text.find(unit[0])) != std::string::npos;)
            text.replace(at, std::strlen(unit[0]), unit[1]);
    return text;
}

std::string Format(double value) {
    char area[kWorkAreaSize + 16];
    std::memset(area, '#', sizeof area);
    FormatDateTime(value, area);
    for (int i = kWorkAreaSize; i < kWorkAreaSize + 16; ++i) EXPECT_EQ(area[i], '#') << "written past the area";
    return area;
}

}  // namespace

TEST(DateTimeTest, CalendarAndTimeOfDay) {
    struct {
        double value;
        const char* expected;
    } cases[] = {
        {0.0, "1899年12月30日"},
        {1.0, "1899年12月31日"},
        {2.0, "1900年1月1日"},
        {2.5, "1900年1月1日12时"},
        {2.0 + 18.5 / 24, "1900年1月1日18时30分"},
        {2.0 + 5.0 / 86400, "1900年1月1日0时0分5秒"},
        {2.0 + 1.0 / 24, "1900年1月1日1时"},
        {60.0, "1900年2月28日"},
        {61.0, "1900年3月1日"},  // 1900 has no 29 February
        {-1.25, "1899年12月29日6时"},
        {-1.0, "1899年12月29日"},
        {-364.0, "1898年12月31日"},
        {-365.0, "1898年12月30日"},
        {2.999999, "1900年1月1日24时"},  // rounds up to a whole day; the date stays
        {36526.0, "2000年1月1日"},
        {36585.0, "2000年2月29日"},      // 2000 is a leap year
        {45657.0, "2024年12月31日"},
        {2958465.0, "9999年12月31日"},
        {-693593.0, "1年1月1日"},
        {-693594.0, "0年12月31日"},
        {2.0 + 59.0 / 1440 + 59.0 / 86400, "1900年1月1日0时59分59秒"},
    };
    for (const auto& c : cases) EXPECT_EQ(Format(c.value), Cp936(c.expected)) << c.value;
}

TEST(DateTimeTest, FourHundredYearCyclesMatchTheYearByYearWalk) {
    // the same day of the year 400 years apart, far from the epoch both ways
    EXPECT_EQ(Format(2.0 + 146097.0 * 3), Cp936("3100年1月1日"));
    EXPECT_EQ(Format(2.0 - 146097.0 * 3), Cp936("700年1月1日"));
    EXPECT_EQ(Format(-146097.0 + 1), Cp936("1499年12月31日"));
}

TEST(DateTimeTest, ValuesBeyondTheModelStayInsideTheArea) {
    const double beyond[] = {3e9,
                             -3e9,
                             2147483647.0,
                             -2147483648.0,
                             1e300,
                             -1e300,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (double value : beyond) {
        std::string text = Format(value);
        EXPECT_FALSE(text.empty()) << value;
        EXPECT_EQ(text, Format(value)) << "deterministic";
    }
    EXPECT_EQ(Format(3e9), Format(2147483647.0));  // held at the int32 bound
    EXPECT_EQ(Format(std::numeric_limits<double>::quiet_NaN()), Cp936("1899年12月30日"));
}
