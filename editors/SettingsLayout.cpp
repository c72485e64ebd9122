#include "SettingsLayout.h"

namespace {

constexpr int kGap = 7;
constexpr int kLabelSpacing = 3;
constexpr int kMargin = kMemberMargin;
constexpr int kSmall = 15;

// A caption sits over its edit, as the form library places labelled edits.
EditorRect CaptionOver(const EditorRect &edit, int labelHeight, int labelWidth)
{
    return {edit.left, edit.top - labelHeight - kLabelSpacing, labelWidth, labelHeight};
}

} // namespace

MemberRowLayout LayoutMemberRow(const MemberRowMetrics &m)
{
    MemberRowLayout r;
    r.nameEdit = {kMargin, m.labelHeight + kGap, 100, m.editHeight};
    r.nameLabel = CaptionOver(r.nameEdit, m.labelHeight, r.nameEdit.width);
    r.browse = {m.rowWidth - 50 - kGap, 0, 50, m.browseHeight};
    r.pathEdit = {kMargin, m.labelHeight + r.nameEdit.bottom() + kGap, r.browse.left - kMargin - kGap,
                  m.editHeight};
    r.pathLabel = CaptionOver(r.pathEdit, m.labelHeight, r.pathEdit.width);
    r.browse.top = r.pathEdit.top + r.pathEdit.height / 2 - r.browse.height / 2;
    r.number = {kMargin / 2 - m.numberWidth / 2, (r.pathEdit.top - m.labelHeight) / 2 - m.numberHeight / 2,
                m.numberWidth, m.numberHeight};
    r.deleteButton = {m.rowWidth - kSmall - kGap, kGap, kSmall, kSmall};
    r.downButton = {r.deleteButton.left - kSmall - 4, kGap, kSmall, kSmall};
    r.upButton = {r.downButton.left - kSmall - 4, kGap, kSmall, kSmall};
    r.typeDropDown = {r.nameEdit.right() + kGap, r.nameEdit.top, 100, m.comboHeight};
    r.typeLabel = {r.typeDropDown.left + (r.nameLabel.left - r.nameEdit.left),
                   r.typeDropDown.top - m.typeLabelHeight + (r.nameLabel.bottom() - r.nameEdit.top), 100,
                   m.typeLabelHeight};
    r.height = r.pathEdit.bottom() + kGap;
    return r;
}

int MemberRowTop(int linkIndex, int rowHeight)
{
    return linkIndex * (rowHeight + 1) + 1;
}

int CentredLinkLeft(int versionLeft, int versionWidth, int okLeft, int linkWidth)
{
    const int right = versionLeft + versionWidth;
    const int gap = okLeft - right;
    return gap / 2 - linkWidth / 2 + right;
}
