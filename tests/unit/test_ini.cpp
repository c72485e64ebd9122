#include <gtest/gtest.h>

#include "Kvguiglobals.h"

TEST(IniFile, DebugModeValues)
{
    struct Case {
        const char *text;
        bool expected;
        bool found;
    } cases[] = {
        {"[Debug]\nDebugMode=1\n", true, true},
        {"[Debug]\nDebugMode=2\n", true, true},
        {"[Debug]\nDebugMode=0\n", false, true},
        {"[Debug]\nDebugMode=yes\n", false, true},
        {"[Debug]\nDebugMode=\n", false, true},
        {"[debug]\r\n  debugmode = -3 \r\n", true, true},
        {"\xEF\xBB\xBF[Debug]\nDebugMode=0x10\n", true, true},
        {"[Other]\nDebugMode=1\n", false, false},
        {"DebugMode=1\n[Debug]\n", false, false},
        {"[Debug]\n;DebugMode=1\n", false, false},
        {"[Debug]\nDebugMode=99999999999999999999999\n", false, true},
        {"", false, false},
    };
    for (const Case &tc : cases) {
        bool found = true;
        EXPECT_EQ(ReadIniBool(tc.text, "Debug", "DebugMode", false, &found), tc.expected) << tc.text;
        EXPECT_EQ(found, tc.found) << tc.text;
    }
}
