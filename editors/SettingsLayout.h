#pragma once

// The numbers behind the settings form's member rows and footer: pure, so
// they can be checked without the form.

struct EditorRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool operator==(const EditorRect &) const = default;
};

// What the toolkit makes of the row's controls at the current font.
struct MemberRowMetrics {
    int rowWidth = 0;        // the row's client width
    int labelHeight = 0;     // the bold caption over each edit
    int editHeight = 0;      // a one-line edit
    int browseHeight = 25;   // the Browse button
    int comboHeight = 0;     // the link type drop-down
    int typeLabelHeight = 0; // "Link Type:"
    int numberWidth = 0;     // the member number's label
    int numberHeight = 0;
};

struct MemberRowLayout {
    EditorRect nameLabel, nameEdit, pathLabel, pathEdit, browse, number;
    EditorRect deleteButton, downButton, upButton, typeDropDown, typeLabel;
    int height = 0;
};

// The margin left of the edits, where the member's number sits, and how wide
// a number may be there: a gap of 2 pixels on either side.
constexpr int kMemberMargin = 28;
constexpr int kMemberNumberRoom = kMemberMargin - 2 * 2;

// The designed gaps: 7 pixels around the edits, 3 between an edit and its
// caption, 4 between the small buttons; the number centred in the margin.
MemberRowLayout LayoutMemberRow(const MemberRowMetrics &m);

// Rows stack with a one-pixel gap.
int MemberRowTop(int linkIndex, int rowHeight);

// The home-page link centred in the gap between the version label's right
// edge and the OK button.
int CentredLinkLeft(int versionLeft, int versionWidth, int okLeft, int linkWidth);
