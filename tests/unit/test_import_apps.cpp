// Importing the installed applications: the category each entry goes to, the
// proposals with their sorted, capped link lists, which start checked, and
// how the chosen ones fill the free category slots.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImportApplications.h"

namespace {

using Strings = std::vector<std::string>;

TEST(ImportApps, MainCategoryIsTheFirstMainOneListed)
{
    const struct {
        Strings categories;
        std::string main;
    } cases[] = {
        {{"Office", "WordProcessor"}, "Office"},
        {{"Network", "WebBrowser"}, "Internet"},
        {{"GTK", "Development", "IDE"}, "Development"},
        {{"Graphics", "RasterGraphics"}, "Graphics"},
        {{"AudioVideo", "Player"}, "Multimedia"},
        {{"Audio"}, "Multimedia"},
        {{"Video", "TV"}, "Multimedia"},
        {{"Settings", "DesktopSettings"}, "System"},
        {{"System", "Monitor"}, "System"},
        {{"Utility", "TextEditor"}, "Utilities"},
        {{"Game", "ArcadeGame"}, "Games"},
        {{"Education", "Science", "Math"}, "Education"},
        {{"Science"}, "Science"},
        {{"Qt", "KDE", "Network", "Office"}, "Internet"}, // the first main one, not the first listed
        {{"Utility", "Network"}, "Utilities"},
        {{"TextEditor", "Qt"}, "Other"}, // additional categories only
        {{}, "Other"},
        {{"network", "OFFICE"}, "Other"}, // category names are case-sensitive
        {{"Networking"}, "Other"},        // whole names only
    };
    for (const auto &tc : cases) {
        std::string shown;
        for (const std::string &c : tc.categories)
            shown += c + ";";
        EXPECT_EQ(MainCategoryOf(tc.categories), tc.main) << shown;
    }
}

// The proposals as "Name: link, link, ..." lines, for whole-result comparisons.
Strings Summary(const std::vector<ImportProposal> &proposals)
{
    Strings lines;
    for (const ImportProposal &p : proposals) {
        std::string line = p.name + ":";
        for (const ImportLink &l : p.links)
            line += " " + l.name;
        if (p.leftOut)
            line += " +" + std::to_string(p.leftOut);
        lines.push_back(line);
    }
    return lines;
}

ImportEntry Entry(const std::string &name, const std::string &file, Strings categories)
{
    return {name, "/apps/" + file + ".desktop", std::move(categories)};
}

TEST(ImportApps, ProposalsGroupSortAndDropDuplicates)
{
    const struct {
        const char *what;
        std::vector<ImportEntry> entries;
        Strings proposals;
    } cases[] = {
        {"nothing installed", {}, {}},
        {"by name without regard to case, categories by name, Other last",
         {Entry("zeta", "z", {"Utility"}), Entry("Alpha", "a", {"Utility"}), Entry("beta", "b", {"Utility"}),
          Entry("Misc", "m", {"X-Custom"}), Entry("Writer", "w", {"Office"}),
          Entry("Browser", "br", {"Network"})},
         {"Internet: Browser", "Office: Writer", "Utilities: Alpha beta zeta", "Other: Misc"}},
        {"a file listed twice counts once, the first time",
         {Entry("Editor", "ed", {"Utility"}), Entry("Editor again", "ed", {"Office"})},
         {"Utilities: Editor"}},
        {"two entries of one name are two links",
         {Entry("Terminal", "t1", {"System"}), Entry("Terminal", "t2", {"System"})},
         {"System: Terminal Terminal"}},
        {"a nameless entry is named after its file",
         {Entry("", "org.example.Tool", {"Development"}), Entry("  ", "blank", {"Development"})},
         {"Development: blank org.example.Tool"}},
        {"a name on several lines shows on one",
         {Entry("Two\nLines\t", "two", {"Office"})},
         {"Office: Two Lines"}},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(Summary(ProposeCategories(tc.entries)), tc.proposals) << tc.what;
}

TEST(ImportApps, LinksPointAtTheEntryFiles)
{
    const auto p = ProposeCategories({Entry("B", "b", {"Office"}), Entry("a", "a", {"Office"})});
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].links, (std::vector<ImportLink>{{"a", "/apps/a.desktop"}, {"B", "/apps/b.desktop"}}));
}

TEST(ImportApps, FieldLimits)
{
    // 48 ASCII bytes and a two-byte character: cut before it, not inside.
    const std::string umlaut = std::string(48, 'n') + "\xc3\xa4";
    const std::string longPath = "/apps/" + std::string(1994, 'p') + ".desktop"; // 2008 bytes
    const std::string fittingPath = "/" + std::string(1990, 'p') + ".desktop";   // 1999 bytes
    const auto p = ProposeCategories({{umlaut, "/apps/u.desktop", {"Office"}},
                                      {std::string(60, 'x'), "/apps/x.desktop", {"Office"}},
                                      {"Too long a path", longPath, {"Office"}},
                                      {"Fits", fittingPath, {"Office"}}});
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].links.size(), 3u) << "an entry whose path does not fit a link would point nowhere";
    EXPECT_EQ(p[0].links[0].name, "Fits");
    EXPECT_EQ(p[0].links[0].file, fittingPath);
    EXPECT_EQ(p[0].links[1].name, std::string(48, 'n'));
    EXPECT_EQ(p[0].links[2].name, std::string(49, 'x'));
}

TEST(ImportApps, AtMostFiftyLinksByNameAndTheRestCounted)
{
    std::vector<ImportEntry> entries;
    for (int i = 57; i-- > 0;) {
        const std::string n = (i < 10 ? "App0" : "App") + std::to_string(i);
        entries.push_back(Entry(n, n, {"Utility"}));
    }
    entries.push_back(Entry("Lone", "lone", {"Game"}));
    const auto p = ProposeCategories(entries);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0].name, "Games");
    EXPECT_EQ(p[0].leftOut, 0);
    EXPECT_EQ(p[1].name, "Utilities");
    ASSERT_EQ(p[1].links.size(), static_cast<std::size_t>(kMaxLinks));
    EXPECT_EQ(p[1].leftOut, 7);
    EXPECT_EQ(p[1].links.front().name, "App00");
    EXPECT_EQ(p[1].links.back().name, "App49") << "the first 50 by name are kept, whatever the input order";
}

// A model of n used categories named by names (the rest "Cn"), the other slots unused.
void UseCategories(KVUIOperationClass &m, int n, const Strings &names = {})
{
    for (int c = 0; c < kMaxCategories; ++c)
        m.ClearCategory(c);
    for (int c = 0; c < n; ++c) {
        SetField(m.categories[c].name,
                 c < static_cast<int>(names.size()) ? names[c] : "C" + std::to_string(c));
        m.categories[c].type = ctWebsites;
    }
}

TEST(ImportApps, CategoriesOfTheNameAlreadyThereStartUnchecked)
{
    KVUIOperationClass m;
    UseCategories(m, 2, {"internet", "Games"});
    SetField(m.categories[5].name, "Office"); // past the end of the list: not a category
    std::vector<ImportProposal> p(4);
    p[0].name = "Games";
    p[1].name = "Internet";
    p[2].name = "Office";
    p[3].name = "Utilities";
    EXPECT_EQ(DefaultChoices(m, p), (std::vector<bool>{false, false, true, true}));
}

std::vector<ImportProposal> Proposals(const Strings &names)
{
    std::vector<ImportProposal> p;
    for (const std::string &n : names)
        p.push_back(
            {n, {{n + " app", "/apps/" + n + ".desktop"}, {n + " tool", "/apps/" + n + "-tool.desktop"}}, 0});
    return p;
}

TEST(ImportApps, ChosenProposalsFillTheFreeSlotsInOrder)
{
    const struct {
        const char *what;
        int used;
        std::vector<int> chosen;
        std::vector<int> added, slots, notAdded;
    } cases[] = {
        {"room for all", 2, {0, 2}, {0, 2}, {2, 3}, {}},
        {"the order chosen, not the list's", 0, {3, 1}, {3, 1}, {0, 1}, {}},
        {"nothing chosen", 5, {}, {}, {}, {}},
        {"what fits, the rest told", 18, {0, 1, 2, 3}, {0, 1}, {18, 19}, {2, 3}},
        {"no slot free", 20, {1, 2}, {}, {}, {1, 2}},
        {"indices outside the list ignored", 3, {-1, 4, 1}, {1}, {3}, {}},
    };
    const auto proposals = Proposals({"Games", "Internet", "Office", "Utilities"});
    for (const auto &tc : cases) {
        KVUIOperationClass m;
        UseCategories(m, tc.used);
        const ImportResult r = ImportCategories(m, proposals, tc.chosen);
        EXPECT_EQ(r.added, tc.added) << tc.what;
        EXPECT_EQ(r.into, tc.slots) << tc.what;
        EXPECT_EQ(r.notAdded, tc.notAdded) << tc.what;
        EXPECT_EQ(m.CategoryCount(), tc.used + static_cast<int>(tc.added.size())) << tc.what;
        for (int c = 0; c < tc.used; ++c)
            EXPECT_EQ(FieldText(m.categories[c].name), "C" + std::to_string(c))
                << tc.what << ": changed " << c;
    }
}

TEST(ImportApps, AnImportedCategoryIsAnApplicationsCategoryOfItsLinks)
{
    KVUIOperationClass m;
    UseCategories(m, 1);
    // Left-overs of an earlier category in the free slot are not kept.
    SetField(m.categories[1].description, "stale");
    m.categories[1].links[3].used = 1;
    m.categories[1].lockedOpen = true;
    const auto proposals = Proposals({"Office"});
    ASSERT_EQ(ImportCategories(m, proposals, {0}).into, std::vector<int>{1});
    const CategoryRecord &c = m.categories[1];
    EXPECT_EQ(FieldText(c.name), "Office");
    EXPECT_EQ(FieldText(c.description), kImportedCategoryDescription);
    EXPECT_EQ(int{c.type}, ctApplications);
    EXPECT_FALSE(c.lockedOpen);
    EXPECT_TRUE(c.expanded);
    EXPECT_EQ(m.LinkCount(1), 2);
    EXPECT_EQ(int{c.links[3].used}, 0);
    const struct {
        int l;
        const char *name, *path;
    } links[] = {{0, "Office app", "/apps/Office.desktop"}, {1, "Office tool", "/apps/Office-tool.desktop"}};
    for (const auto &tc : links) {
        EXPECT_EQ(FieldText(c.links[tc.l].name), tc.name);
        EXPECT_EQ(FieldText(c.links[tc.l].path), tc.path);
        EXPECT_EQ(int{c.links[tc.l].type}, ctApplications);
        EXPECT_EQ(int{c.links[tc.l].used}, 1);
    }
}

TEST(ImportApps, AFullProposalFillsEveryLinkSlot)
{
    KVUIOperationClass m;
    UseCategories(m, 0);
    std::vector<ImportEntry> entries;
    for (int i = 0; i < 60; ++i)
        entries.push_back(Entry("Game " + std::to_string(100 + i), "g" + std::to_string(i), {"Game"}));
    const auto proposals = ProposeCategories(entries);
    ImportCategories(m, proposals, {0});
    EXPECT_EQ(m.LinkCount(0), kMaxLinks);
    EXPECT_EQ(FieldText(m.categories[0].links[49].name), "Game 149");
}

} // namespace
