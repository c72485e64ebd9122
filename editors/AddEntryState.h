#pragma once

// What the add-link dialog's controls show for its input: pure, so the whole
// state table can be checked without the dialog.

#include "Kvguiglobals.h"

struct AddEntryInput {
    int section = -1;        // index of the selected section, -1 for none
    const int *sectionTypes; // kMaxCategories category types, -1 past the last category
    int typeIndex = -1;      // the link type selector's index, -1 for none
    bool hasShortName = false;
    bool hasTarget = false;
};

struct AddEntryState {
    bool okEnabled = false;
    bool typeEnabled = false;
    int typeIndex = -1; // what the link type selector shows
    bool browseEnabled = false;
    bool operator==(const AddEntryState &) const = default;
};

// The state after UpdateAddEntryState for this input.
AddEntryState UpdateAddEntryState(const AddEntryInput &in);

// The new link's type: the selector's when the section holds several types,
// else the section's own; -1 without a section.
int EffectiveLinkType(int section, const int *sectionTypes, int typeIndex);
