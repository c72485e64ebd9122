#include "ClockTexts.h"

namespace {

const char *const kWeekdays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
const char *const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};

std::string TwoDigits(int v)
{
    return (v < 10 ? "0" : "") + std::to_string(v);
}

const char *DaySuffix(int d)
{
    switch (d) {
    case 1:
    case 21:
    case 31:
        return "st";
    case 2:
    case 22:
        return "nd";
    case 3:
    case 23:
        return "rd";
    default:
        return "th";
    }
}

} // namespace

ClockTexts MakeClockTexts(const std::tm &t)
{
    const int h = t.tm_hour;
    const int h12 = (h == 0 || h == 12) ? 12 : (h > 12 ? h - 12 : h);
    ClockTexts texts;
    texts.time = std::to_string(h12) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec) +
                 (h >= 12 ? " PM" : " AM");
    texts.day = std::string(kWeekdays[(t.tm_wday % 7 + 7) % 7]) + " " + std::to_string(t.tm_mday) +
                DaySuffix(t.tm_mday);
    texts.date = std::string(kMonths[(t.tm_mon % 12 + 12) % 12]) + ", " + std::to_string(t.tm_year + 1900);
    return texts;
}
