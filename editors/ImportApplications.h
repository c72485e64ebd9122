#pragma once

// "Import Applications...": grouping the installed applications into
// categories by their main freedesktop category, and placing the groups the
// user chose into the model's free category slots. Pure: the dialog and the
// reading of the desktop entries live elsewhere.

#include <string>
#include <vector>

#include "Kvguiglobals.h"

// One installed application, as the desktop entry reader gives it. Texts are
// UTF-8.
struct ImportEntry {
    std::string name;                    // its name in the user's language
    std::string file;                    // absolute path of its .desktop file
    std::vector<std::string> categories; // its Categories key, in the entry's order
};

struct ImportLink {
    std::string name; // fits a link name: at most 49 bytes, whole characters
    std::string file; // the .desktop file the link launches
    bool operator==(const ImportLink &) const = default;
};

// A proposed category: its name and its links, sorted by name.
struct ImportProposal {
    std::string name;
    std::vector<ImportLink> links; // at most kMaxLinks
    int leftOut = 0;               // applications past the kMaxLinks a category holds
};

// The proposal an entry goes to: the first of its categories that is one of
// the freedesktop main categories, under the launcher's name for it
// ("Network" -> "Internet", "AudioVideo" -> "Multimedia", ...); "Other"
// when it has none.
std::string MainCategoryOf(const std::vector<std::string> &categories);

// The proposals for these entries, ordered by name with "Other" last. Links
// are sorted by name without regard to ASCII case; an entry whose file came
// before is dropped, and so is one whose path does not fit a link. A name is
// cut to what a link holds; an entry without one is named after its file.
std::vector<ImportProposal> ProposeCategories(const std::vector<ImportEntry> &entries);

// Whether each proposal starts checked in the dialog: not when the model
// holds a category of that name already (imported before, most likely).
std::vector<bool> DefaultChoices(const KVUIOperationClass &model,
                                 const std::vector<ImportProposal> &proposals);

// What an import did: the proposals (indices into the list given) that went
// into the model, with their slots, and those no free slot was left for.
struct ImportResult {
    std::vector<int> added; // proposal indices, in the order placed
    std::vector<int> into;  // the category slot each added proposal went into
    std::vector<int> notAdded;
};

// Stores the chosen proposals, in the order given, into the free category
// slots from FirstFreeCategory on, each as an "Applications" category. When
// fewer slots are free than proposals chosen, the first ones get the slots
// and the rest are listed in notAdded; with no free slot the model is left
// as it was. Indices outside proposals are ignored.
ImportResult ImportCategories(KVUIOperationClass &model, const std::vector<ImportProposal> &proposals,
                              const std::vector<int> &chosen);

// The description an imported category is given.
inline constexpr const char *kImportedCategoryDescription = "Installed applications";
