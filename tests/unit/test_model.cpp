#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Kvguiglobals.h"

namespace {

#ifdef _WIN32
// Windows has no setenv; there an empty value removes the variable, which
// the program reads as no choice just the same.
void SetVariable(const char *name, const char *value)
{
    ::_putenv_s(name, value);
}
void UnsetVariable(const char *name)
{
    ::_putenv_s(name, "");
}
#else
void SetVariable(const char *name, const char *value)
{
    ::setenv(name, value, 1);
}
void UnsetVariable(const char *name)
{
    ::unsetenv(name);
}
#endif

struct Model : ::testing::Test {
    std::unique_ptr<KVUIOperationClass> m = std::make_unique<KVUIOperationClass>();

    void FillLinks(int c, int n)
    {
        m->categories[c].type = ctApplications;
        for (int l = 0; l < n; ++l) {
            LinkRecord &link = m->categories[c].links[l];
            SetField(link.name, "link" + std::to_string(l));
            link.type = ctApplications;
            link.used = 1;
        }
    }
};

TEST_F(Model, FirstFreeCategoryCountsPackedSlots)
{
    EXPECT_EQ(m->FirstFreeCategory(), 0);
    for (int c = 0; c < kMaxCategories; ++c)
        m->categories[c].type = ctFiles;
    EXPECT_EQ(m->FirstFreeCategory(), -1);
    EXPECT_EQ(m->CategoryCount(), 20);
    m->ClearCategory(7);
    EXPECT_EQ(m->FirstFreeCategory(), 7);
}

TEST_F(Model, ClearedCategoryHasDesignedValues)
{
    std::memset(&m->categories[3], 0x5A, sizeof(CategoryRecord));
    m->ClearCategory(3);
    const CategoryRecord &c = m->categories[3];
    EXPECT_EQ(c.type, -1);
    EXPECT_EQ(c.colour.r + c.colour.g + c.colour.b, 3 * 255);
    EXPECT_EQ(c.linkColour.r, 255);
    EXPECT_EQ(c.linkColour.g, 156);
    EXPECT_EQ(c.linkColour.b, 0);
    EXPECT_FALSE(c.lockedOpen);
    EXPECT_TRUE(c.expanded);
    EXPECT_EQ(c.name[0], '\0');
    EXPECT_EQ(c.links[49].type, -1);
    EXPECT_EQ(c.links[49].used, 0);
}

TEST_F(Model, LinkCountStopsAtFirstUnusedSlot)
{
    FillLinks(0, 5);
    m->categories[0].links[9].used = 1; // beyond the gap: not counted
    EXPECT_EQ(m->LinkCount(0), 5);
    FillLinks(1, 50);
    EXPECT_EQ(m->LinkCount(1), 50);
}

TEST_F(Model, DeleteLinkKeepsListPacked)
{
    struct Case {
        int count, deleted;
        std::vector<int> left; // the links left, by their original slot
    } cases[] = {
        {3, 0, {1, 2}},
        {3, 1, {0, 2}},
        {3, 2, {0, 1}},                 // the last one
        {1, 0, {}},                     // the category's only link
        {3, 3, {0, 1, 2}},              // at the count: refused
        {3, 5, {0, 1, 2}},              // past the end: refused
        {3, -1, {0, 1, 2}},             // before the start: refused
        {0, 0, {}},                     // an empty category: refused
        {kMaxLinks, kMaxLinks - 1, {}}, // the last of a full list (left filled in below)
        {kMaxLinks, 0, {}},
        {kMaxLinks, kMaxLinks, {}}, // at the count of a full list: refused
    };
    for (Case &tc : cases) {
        SCOPED_TRACE("delete " + std::to_string(tc.deleted) + " of " + std::to_string(tc.count));
        if (tc.count == kMaxLinks)
            for (int l = 0; l < kMaxLinks; ++l)
                if (l != tc.deleted)
                    tc.left.push_back(l);
        m->ClearCategory(0);
        m->ClearCategory(1);
        FillLinks(0, tc.count);
        SetField(m->categories[0].name, "kept");
        FillLinks(1, 2); // the next category must not notice
        const CategoryRecord before = m->categories[0];
        const CategoryRecord neighbour = m->categories[1];
        m->DeleteLink(0, tc.deleted);

        const CategoryRecord &cat = m->categories[0];
        ASSERT_EQ(m->LinkCount(0), static_cast<int>(tc.left.size()));
        for (std::size_t l = 0; l < tc.left.size(); ++l)
            EXPECT_EQ(std::memcmp(&cat.links[l], &before.links[tc.left[l]], sizeof(LinkRecord)), 0) << l;
        // Every slot behind the list is a cleared one.
        for (int l = static_cast<int>(tc.left.size()); l < kMaxLinks; ++l) {
            EXPECT_EQ(cat.links[l].used, 0) << l;
            EXPECT_EQ(cat.links[l].type, ctUnused) << l;
            EXPECT_EQ(cat.links[l].name[0], '\0') << l;
        }
        // The rest of the category and its neighbour stay as they were.
        EXPECT_EQ(std::memcmp(cat.name, before.name,
                              offsetof(CategoryRecord, pad) - offsetof(CategoryRecord, name)),
                  0);
        EXPECT_EQ(std::memcmp(&m->categories[1], &neighbour, sizeof neighbour), 0);
        if (tc.left.size() == static_cast<std::size_t>(tc.count)) {
            EXPECT_EQ(std::memcmp(&cat, &before, sizeof before), 0)
                << "a refused delete changed the category";
        }
    }
}

TEST_F(Model, SlotsOutsideTheTwentyAreRefused)
{
    m->WriteDefaults();
    for (int c = 0; c < kMaxCategories; ++c)
        FillLinks(c, 3);
    m->settings.alpha = 123;
    const auto model = std::make_unique<ModelSnapshot>();
    std::memcpy(model->categories, m->categories, sizeof m->categories);
    model->settings = m->settings;
    model->savedSettings = m->savedSettings;
    model->header = m->header;
    model->appearance = m->appearance;
    EXPECT_EQ(m->FirstFreeCategory(), -1); // no slot for a 21st

    for (int c : {kMaxCategories, kMaxCategories + 1, -1}) {
        SCOPED_TRACE(c);
        m->ClearCategory(c);
        m->CopyCategory(c, 0);
        m->CopyCategory(0, c);
        m->DeleteLink(c, 0);
        EXPECT_EQ(m->LinkCount(c), 0);
    }
    EXPECT_EQ(std::memcmp(model->categories, m->categories, sizeof m->categories), 0);
    EXPECT_EQ(std::memcmp(&model->settings, &m->settings, sizeof(WindowSettings)), 0);
    EXPECT_EQ(std::memcmp(&model->savedSettings, &m->savedSettings, sizeof(WindowSettings)), 0);
    EXPECT_EQ(std::memcmp(&model->header, &m->header, sizeof(FileHeader)), 0);
    EXPECT_EQ(std::memcmp(&model->appearance, &m->appearance, sizeof(Appearance)), 0);

    // The twentieth slot itself is an ordinary one.
    const int last = kMaxCategories - 1;
    m->CopyCategory(last, 0);
    EXPECT_EQ(std::memcmp(&m->categories[last], &m->categories[0], sizeof(CategoryRecord)), 0);
    m->DeleteLink(last, 2);
    EXPECT_EQ(m->LinkCount(last), 2);
    m->ClearCategory(last);
    EXPECT_EQ(m->FirstFreeCategory(), last);
}

TEST_F(Model, ColourRolesMapToStorageSlots)
{
    m->SetDefaultAppearance();
    for (int slot = 0; slot < 9; ++slot)
        m->appearance.colours[slot] = {slot, slot, slot};
    const int expectedSlot[9] = {0, 1, 2, 3, 4, 5, 7, 8, 6};
    for (int role = 0; role < 9; ++role)
        EXPECT_EQ(m->GetColour(role).r, expectedSlot[role]) << "role " << role;
    EXPECT_EQ(m->GetColour(9).r, 255);
    EXPECT_EQ(m->GetColour(-1).b, 255);
    m->SetColour(8, 1, 2, 3);
    EXPECT_EQ(m->appearance.colours[6].g, 2);
    m->SetColour(9, 9, 9, 9); // ignored
    for (int slot = 0; slot < 9; ++slot)
        EXPECT_NE(m->appearance.colours[slot].r, 9);
    EXPECT_EQ(KVUIOperationClass::GetSystemColour(12), 0xFFFFFFu);
}

TEST(ModelText, EnumerationTexts)
{
    EXPECT_STREQ(KVUIOperationClass::DockPositionText(8), "Bottom-Right");
    EXPECT_STREQ(KVUIOperationClass::DockPositionText(10), "Absolute Right");
    EXPECT_STREQ(KVUIOperationClass::DockPositionText(11), "INVALID");
    EXPECT_STREQ(KVUIOperationClass::DockPositionText(-1), "INVALID");
    EXPECT_STREQ(KVUIOperationClass::CategoryTypeText(5), "Multiple");
    EXPECT_STREQ(KVUIOperationClass::CategoryTypeText(-1), "INVALID");
    EXPECT_STREQ(KVUIOperationClass::BoolText(true), "true");
    EXPECT_STREQ(KVUIOperationClass::BoolText(false), "false");
}

TEST(ModelText, ColourConversionsRoundTrip)
{
    RGBColour c = ColourFromTColor(0xF0CAA6);
    EXPECT_EQ(c.r, 166);
    EXPECT_EQ(c.g, 202);
    EXPECT_EQ(c.b, 240);
    EXPECT_EQ(TColorFromColour(c), 0xF0CAA6u);
}

TEST_F(Model, SnapshotRestoresEditedParts)
{
    m->WriteDefaults();
    m->RestoreSnapshot(); // no snapshot: nothing happens
    EXPECT_STREQ(m->categories[0].name, "Example");

    m->TakeSnapshot();
    SetField(m->categories[0].name, "Changed");
    m->settings.alpha = 99;
    m->useWindowsColours = true;
    m->gameSectionOpen = true; // not part of the undo copy
    m->RestoreSnapshot();
    EXPECT_STREQ(m->categories[0].name, "Example");
    EXPECT_EQ(m->settings.alpha, 255);
    EXPECT_FALSE(m->useWindowsColours);
    EXPECT_TRUE(m->gameSectionOpen);
    EXPECT_TRUE(m->HasSnapshot());
    m->DiscardSnapshot();
    EXPECT_FALSE(m->HasSnapshot());
}

TEST_F(Model, SetFieldAlwaysLeavesRoomForTheTerminator)
{
    SetField(m->categories[0].name, std::string(80, 'x'));
    EXPECT_EQ(std::strlen(m->categories[0].name), 49u);
    EXPECT_EQ(FieldText(m->categories[0].name).size(), 49u);
}

TEST(ModelConstants, VersionAndPaths)
{
    KVUIOperationClass m;
    m.directory = "/home/u/kv";
    EXPECT_EQ(m.GetConfigPath(), "/home/u/kv/KVUI_Config.dat");
    EXPECT_EQ(m.GetOldConfigPath(), "/home/u/kv/KVUI_Config_OLD.dat");
    EXPECT_EQ(m.GetIniPath(), "/home/u/kv/Kestrava.ini");
    EXPECT_EQ(KVUIOperationClass::GetVersionNumber(), 118);
    EXPECT_EQ(KVUIOperationClass::GetVersionText(), "1.1.8");
    EXPECT_EQ(KVUIOperationClass::GetShowHotkeyText(), "Ctrl+Alt+M");
    EXPECT_EQ(KVUIOperationClass::GetConnectHotkeyText(), "Ctrl+Alt+I");
}

TEST(ModelConstants, HomePageEndsWithSlashAndCanBeOverridden)
{
    UnsetVariable("KESTRAVA_HOME_URL");
    const std::string built = KVUIOperationClass::GetHomePageURL();
    EXPECT_EQ(built.back(), '/');
    SetVariable("KESTRAVA_HOME_URL", "http://127.0.0.1:8123/kv");
    EXPECT_EQ(KVUIOperationClass::GetHomePageURL(), "http://127.0.0.1:8123/kv/");
    // An empty variable is no choice: the build's address stays.
    SetVariable("KESTRAVA_HOME_URL", "");
    EXPECT_EQ(KVUIOperationClass::GetHomePageURL(), built);
    UnsetVariable("KESTRAVA_HOME_URL");
}

TEST(ModelConstants, AnEmptyHomePageFallsBackToTheProductsOwn)
{
    struct Case {
        const char *configured;
        const char *expected;
    } cases[] = {
        {nullptr, "https://kestrava.org/"},
        {"", "https://kestrava.org/"},
        {"http://127.0.0.1:8123/kv", "http://127.0.0.1:8123/kv/"},
        {"http://127.0.0.1:8123/kv/", "http://127.0.0.1:8123/kv/"},
        {"/", "/"},
    };
    for (const Case &tc : cases)
        EXPECT_EQ(HomePageAddress(tc.configured), tc.expected) << (tc.configured ? tc.configured : "null");
}

} // namespace
