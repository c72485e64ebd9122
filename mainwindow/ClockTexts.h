#pragma once

#include <ctime>
#include <string>

struct ClockTexts {
    std::string time; // "1:07:45 PM"
    std::string day;  // "Thursday 22nd"
    std::string date; // "December, 2026"
};

ClockTexts MakeClockTexts(const std::tm &t);
