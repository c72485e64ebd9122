// The member rows' geometry and the footer link's place, from the toolkit's
// control sizes.

#include <gtest/gtest.h>

#include "SettingsLayout.h"

namespace {

TEST(SettingsLayout, MemberRowFromControlHeights)
{
    struct Case {
        MemberRowMetrics m;
        MemberRowLayout want;
    };
    // The designed sizes (13-pixel captions, 21-pixel edits) and a larger font's.
    const Case cases[] = {
        {{360, 13, 21, 25, 21, 13, 12, 26},
         {.nameLabel = {28, 4, 100, 13},
          .nameEdit = {28, 20, 100, 21},
          .pathLabel = {28, 45, 268, 13},
          .pathEdit = {28, 61, 268, 21},
          .browse = {303, 59, 50, 25},
          .number = {8, 11, 12, 26},
          .deleteButton = {338, 7, 15, 15},
          .downButton = {319, 7, 15, 15},
          .upButton = {300, 7, 15, 15},
          .typeDropDown = {135, 20, 100, 21},
          .typeLabel = {135, 4, 100, 13},
          .height = 89}},
        {{400, 17, 27, 25, 26, 17, 15, 31},
         {.nameLabel = {28, 4, 100, 17},
          .nameEdit = {28, 24, 100, 27},
          .pathLabel = {28, 55, 308, 17},
          .pathEdit = {28, 75, 308, 27},
          .browse = {343, 76, 50, 25},
          .number = {7, 14, 15, 31},
          .deleteButton = {378, 7, 15, 15},
          .downButton = {359, 7, 15, 15},
          .upButton = {340, 7, 15, 15},
          .typeDropDown = {135, 24, 100, 26},
          .typeLabel = {135, 4, 100, 17},
          .height = 109}},
    };
    for (const Case &tc : cases) {
        const MemberRowLayout r = LayoutMemberRow(tc.m);
        EXPECT_EQ(r.nameLabel, tc.want.nameLabel);
        EXPECT_EQ(r.nameEdit, tc.want.nameEdit);
        EXPECT_EQ(r.pathLabel, tc.want.pathLabel);
        EXPECT_EQ(r.pathEdit, tc.want.pathEdit);
        EXPECT_EQ(r.browse, tc.want.browse);
        EXPECT_EQ(r.number, tc.want.number);
        EXPECT_EQ(r.deleteButton, tc.want.deleteButton);
        EXPECT_EQ(r.downButton, tc.want.downButton);
        EXPECT_EQ(r.upButton, tc.want.upButton);
        EXPECT_EQ(r.typeDropDown, tc.want.typeDropDown);
        EXPECT_EQ(r.typeLabel, tc.want.typeLabel);
        EXPECT_EQ(r.height, tc.want.height);
        // Nothing of the row reaches past its right edge.
        for (const EditorRect &e : {r.browse, r.deleteButton, r.pathEdit})
            EXPECT_LE(e.right(), tc.m.rowWidth - 7);
    }
}

TEST(SettingsLayout, RowsStackWithOnePixelGaps)
{
    EXPECT_EQ(MemberRowTop(0, 89), 1);
    EXPECT_EQ(MemberRowTop(1, 89), 91);
    EXPECT_EQ(MemberRowTop(49, 89), 49 * 90 + 1);
}

TEST(SettingsLayout, LinkCentredBetweenVersionAndOk)
{
    // Halves are cut toward zero: gap 277 / 2 = 138, width 91 / 2 = 45.
    EXPECT_EQ(CentredLinkLeft(7, 73, 357, 91), 80 + 138 - 45);
    EXPECT_EQ(CentredLinkLeft(7, 73, 357, 90), 80 + 138 - 45);
    // A link wider than the gap hangs over both ends evenly.
    EXPECT_EQ(CentredLinkLeft(0, 100, 110, 30), 100 + 5 - 15);
}

} // namespace
