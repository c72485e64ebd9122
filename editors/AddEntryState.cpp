#include "AddEntryState.h"

namespace {

bool ValidSection(int s)
{
    return s >= 0 && s < kMaxCategories;
}

} // namespace

int EffectiveLinkType(int section, const int *sectionTypes, int typeIndex)
{
    if (!ValidSection(section))
        return -1;
    const int type = sectionTypes[section];
    return type == ctMultiple ? typeIndex : type;
}

AddEntryState UpdateAddEntryState(const AddEntryInput &in)
{
    AddEntryState out;
    const bool section = ValidSection(in.section);
    out.okEnabled = in.hasShortName && in.hasTarget && section;
    out.typeEnabled = section && in.sectionTypes[in.section] == ctMultiple;
    if (out.typeEnabled)
        out.typeIndex = in.typeIndex >= ctApplications && in.typeIndex <= ctGames ? in.typeIndex : 0;
    else
        out.typeIndex = section ? in.sectionTypes[in.section] : -1;
    if (section) {
        const int type = out.typeEnabled ? out.typeIndex : in.sectionTypes[in.section];
        out.browseEnabled = type == ctApplications || type == ctFiles || type == ctGames;
    }
    return out;
}
