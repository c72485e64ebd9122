#include <gtest/gtest.h>

#include "AddEntryState.h"

namespace {

TEST(AddEntryState, TheWholeStateTable)
{
    // Sections: 0 Applications, 1 Websites, 2 Directories, 3 Files, 4 Games, 5 Multiple; the
    // rest unused.
    int types[kMaxCategories];
    for (int &t : types)
        t = -1;
    for (int i = 0; i <= ctMultiple; ++i)
        types[i] = i;
    struct Case {
        const char *what;
        AddEntryInput in;
        AddEntryState out;
    } cases[] = {
        {"no name, no target", {0, types, 0, false, false}, {false, false, 0, true}},
        {"name only", {0, types, 0, true, false}, {false, false, 0, true}},
        {"both", {0, types, 0, true, true}, {true, false, 0, true}},
        {"websites: the type shows, no browsing", {1, types, 0, true, true}, {true, false, 1, false}},
        {"directories", {2, types, 4, true, true}, {true, false, 2, false}},
        {"files browse", {3, types, -1, true, true}, {true, false, 3, true}},
        {"games browse", {4, types, -1, true, true}, {true, false, 4, true}},
        {"multiple keeps a chosen type", {5, types, 2, true, true}, {true, true, 2, false}},
        {"multiple with files", {5, types, 3, true, true}, {true, true, 3, true}},
        {"multiple with nothing chosen takes applications",
         {5, types, -1, true, true},
         {true, true, 0, true}},
        {"multiple never chooses multiple", {5, types, 5, true, true}, {true, true, 0, true}},
        {"no section", {-1, types, 3, true, true}, {false, false, -1, false}},
        {"an unused slot", {7, types, 3, true, true}, {true, false, -1, false}},
        {"past the last slot", {20, types, 3, true, true}, {false, false, -1, false}},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(UpdateAddEntryState(tc.in), tc.out) << tc.what;
}

TEST(AddEntryState, TheNewLinkTakesTheSectionsTypeUnlessItHoldsSeveral)
{
    int types[kMaxCategories] = {ctWebsites, ctMultiple};
    EXPECT_EQ(EffectiveLinkType(0, types, ctGames), ctWebsites);
    EXPECT_EQ(EffectiveLinkType(1, types, ctGames), ctGames);
    EXPECT_EQ(EffectiveLinkType(-1, types, ctGames), -1);
    EXPECT_EQ(EffectiveLinkType(20, types, ctGames), -1);
}

} // namespace
