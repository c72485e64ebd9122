#include "Kvguiglobals.h"
#include "ModelMemory.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

// The build may name another home page; an empty name keeps the product's own.
#ifndef KESTRAVA_HOME_URL
#define KESTRAVA_HOME_URL ""
#endif

KVUIOperationClass *KVOP = nullptr;

namespace {

// Storage slot of each colour role; the last three roles are stored out of order.
constexpr int kRoleSlot[9] = {0, 1, 2, 3, 4, 5, 7, 8, 6};

constexpr RGBColour kDefaultColours[9] = {
    {166, 202, 240}, // Title
    {166, 202, 240}, // Primary
    {81, 150, 225},  // Secondary
    {166, 202, 240}, // Clock
    {255, 0, 0},     // Exit Button
    {130, 130, 130}, // Game Panel
    {5, 5, 5},       // Background (slot 6)
    {40, 40, 40},    // Cat. Area (slot 7)
    {75, 75, 75},    // Panels (slot 8)
};

// Windows' default system colours, standing in for the user's theme.
constexpr TColor kActiveCaption = 0xD1B499;
constexpr TColor kGradientActiveCaption = 0xF0CAB9;
constexpr TColor kInfoBk = 0xE1FFFF;
constexpr TColor kBtnFace = 0xF0F0F0;
constexpr TColor kWindowText = 0x000000;
constexpr TColor k3DDkShadow = 0x696969;

constexpr const char *kDefaultHomePage = "https://kestrava.org/";

const char *const kDockTexts[11] = {"Top-Left",     "Middle-Left",   "Bottom-Left",   "Top-Middle",
                                    "Centre",       "Bottom-Middle", "Top-Right",     "Middle-Right",
                                    "Bottom-Right", "Absolute Left", "Absolute Right"};
const char *const kTypeTexts[6] = {"Applications", "Websites", "Directories", "Files", "Games", "Multiple"};

// The model holds 20 category slots; an index outside them names none, and
// an operation on it does nothing.
bool IsCategorySlot(int c)
{
    return c >= 0 && c < kMaxCategories;
}

template <typename T> void ZeroFill(T &block)
{
    std::memset(static_cast<void *>(&block), 0, sizeof(T));
}

} // namespace

RGBColour ColourFromTColor(TColor c)
{
    return {static_cast<int32_t>(c & 0xFF), static_cast<int32_t>((c >> 8) & 0xFF),
            static_cast<int32_t>((c >> 16) & 0xFF)};
}

TColor TColorFromColour(const RGBColour &c)
{
    return (static_cast<TColor>(c.r) & 0xFF) | ((static_cast<TColor>(c.g) & 0xFF) << 8) |
           ((static_cast<TColor>(c.b) & 0xFF) << 16);
}

std::string ConfigurationFolder()
{
    std::error_code ec;
#ifdef _WIN32
    // The model's paths are UTF-8; a narrow path on Windows is in the ANSI code page.
    const std::u8string here = std::filesystem::current_path(ec).u8string();
    return std::string(here.begin(), here.end());
#else
    return std::filesystem::current_path(ec).string();
#endif
}

KVUIOperationClass::KVUIOperationClass() : directory(ConfigurationFolder())
{
    ResetPersistedState();
    clockLeft = clockTop = 0;
    clockVisible = false;
    debugMode = false;
}

KVUIOperationClass::~KVUIOperationClass() = default;

void *KVUIOperationClass::operator new(std::size_t size) { return modelmemory::Allocate(size); }

void KVUIOperationClass::operator delete(void *block, std::size_t size) noexcept { modelmemory::Free(block, size); }

void KVUIOperationClass::ClearCategory(int c)
{
    if (!IsCategorySlot(c))
        return;
    CategoryRecord &cat = categories[c];
    for (LinkRecord &link : cat.links)
        ClearLink(link);
    std::memset(cat.name, 0, sizeof cat.name);
    std::memset(cat.description, 0, sizeof cat.description);
    std::memset(cat.pad, 0, sizeof cat.pad);
    cat.type = ctUnused;
    cat.colour = {255, 255, 255};
    cat.linkColour = {255, 156, 0};
    cat.lockedOpen = false;
    cat.expanded = true;
}

void KVUIOperationClass::CopyCategory(int dst, int src)
{
    if (dst != src && IsCategorySlot(dst) && IsCategorySlot(src))
        std::memcpy(&categories[dst], &categories[src], sizeof(CategoryRecord));
}

int KVUIOperationClass::FirstFreeCategory() const
{
    for (int c = 0; c < kMaxCategories; ++c)
        if (categories[c].type == ctUnused)
            return c;
    return -1;
}

int KVUIOperationClass::CategoryCount() const
{
    int free = FirstFreeCategory();
    return free < 0 ? kMaxCategories : free;
}

bool KVUIOperationClass::IsValidCategoryType(int t)
{
    return t >= ctApplications && t <= ctMultiple;
}

void KVUIOperationClass::ClearLink(LinkRecord &link)
{
    ZeroFill(link);
    link.type = ctUnused;
    link.used = 0;
}

void KVUIOperationClass::AssignLink(LinkRecord &dst, LinkRecord src)
{
    std::memcpy(&dst, &src, sizeof(LinkRecord));
}

void KVUIOperationClass::SwapLinks(LinkRecord &a, LinkRecord &b)
{
    LinkRecord t;
    std::memcpy(&t, &a, sizeof t);
    std::memcpy(&a, &b, sizeof t);
    std::memcpy(&b, &t, sizeof t);
}

int KVUIOperationClass::LinkCount(int c) const
{
    if (!IsCategorySlot(c))
        return 0;
    for (int l = 0; l < kMaxLinks; ++l)
        if (categories[c].links[l].used == 0)
            return l;
    return kMaxLinks;
}

void KVUIOperationClass::DeleteLink(int c, int l)
{
    int n = LinkCount(c);
    if (l < 0 || l >= n)
        return;
    LinkRecord *links = categories[c].links;
    std::memmove(&links[l], &links[l + 1], sizeof(LinkRecord) * static_cast<std::size_t>(n - 1 - l));
    ClearLink(links[n - 1]);
}

RGBColour KVUIOperationClass::GetColour(int role) const
{
    if (role < 0 || role > 8)
        return {255, 255, 255};
    return appearance.colours[kRoleSlot[role]];
}

void KVUIOperationClass::SetColour(int role, int r, int g, int b)
{
    if (role < 0 || role > 8)
        return;
    appearance.colours[kRoleSlot[role]] = {r, g, b};
}

TColor KVUIOperationClass::GetSystemColour(int role)
{
    switch (role) {
    case crTitle:
    case crPrimary:
    case crClock:
    case crExitButton:
        return kActiveCaption;
    case crSecondary:
        return kGradientActiveCaption;
    case crGamePanel:
        return kInfoBk;
    case crBackground:
        return kBtnFace;
    case crCatArea:
        return kWindowText;
    case crPanels:
        return k3DDkShadow;
    default:
        return 0xFFFFFF;
    }
}

void KVUIOperationClass::SetDefaultAppearance()
{
    SetField(appearance.titleFont, "SF Proverbial Gothic Extended");
    SetField(appearance.headingsFont, "Arial");
    SetField(appearance.linksFont, "Verdana");
    std::memcpy(appearance.colours, kDefaultColours, sizeof kDefaultColours);
}

const char *KVUIOperationClass::BoolText(bool b)
{
    return b ? "true" : "false";
}

const char *KVUIOperationClass::DockPositionText(int p)
{
    return p >= 0 && p <= 10 ? kDockTexts[p] : "INVALID";
}

const char *KVUIOperationClass::CategoryTypeText(int t)
{
    return IsValidCategoryType(t) ? kTypeTexts[t] : "INVALID";
}

void KVUIOperationClass::TakeSnapshot()
{
    if (!m_snapshot) {
        m_snapshot.reset(new (std::nothrow) ModelSnapshot);
        if (!m_snapshot)
            return;
    }
    ModelSnapshot &s = *m_snapshot;
    s.useWindowsColours = useWindowsColours;
    std::memcpy(s.categories, categories, sizeof categories);
    s.settings = settings;
    s.savedSettings = savedSettings;
    s.header = header;
    s.appearance = appearance;
}

void KVUIOperationClass::RestoreSnapshot()
{
    if (!m_snapshot)
        return;
    const ModelSnapshot &s = *m_snapshot;
    useWindowsColours = s.useWindowsColours;
    std::memcpy(categories, s.categories, sizeof categories);
    settings = s.settings;
    savedSettings = s.savedSettings;
    header = s.header;
    appearance = s.appearance;
}

void KVUIOperationClass::DiscardSnapshot()
{
    m_snapshot.reset();
}

std::string KVUIOperationClass::GetConfigPath() const
{
    return directory + "/KVUI_Config.dat";
}

std::string KVUIOperationClass::GetOldConfigPath() const
{
    return directory + "/KVUI_Config_OLD.dat";
}

std::string KVUIOperationClass::GetIniPath() const
{
    return directory + "/Kestrava.ini";
}

std::string KVUIOperationClass::GetUpdateTempPath() const
{
    return directory + "/" + GetUpdateFileName();
}

std::string HomePageAddress(const char *configured)
{
    std::string url = configured && *configured ? configured : kDefaultHomePage;
    if (url.back() != '/')
        url += '/';
    return url;
}

std::string KVUIOperationClass::GetHomePageURL()
{
    // Packagers and tests point the program elsewhere, at build time or when
    // it runs; an empty value means no choice was made.
    const char *env = std::getenv("KESTRAVA_HOME_URL");
    return HomePageAddress(env && *env ? env : KESTRAVA_HOME_URL);
}

void KVUIOperationClass::ResetPersistedState()
{
    for (int c = 0; c < kMaxCategories; ++c)
        ClearCategory(c);
    ZeroFill(settings);
    ZeroFill(header);
    ZeroFill(savedSettings);
    ZeroFill(appearance);
    useWindowsColours = false;
    gameSectionOpen = false;
    buttonSectionOpen = true;
}

bool KVUIOperationClass::WriteDefaults()
{
    ZeroFill(header);
    for (CategoryRecord &cat : categories)
        ZeroFill(cat);
    ZeroFill(settings);
    ZeroFill(savedSettings);
    useWindowsColours = false;
    gameSectionOpen = false;
    buttonSectionOpen = true;
    clockVisible = false;
    clockLeft = 0;
    clockTop = 0;

    SetField(header.title, "Kestrava");
    SetField(header.credit, "Kestrava - a launcher that stays out of the way");
    SetField(header.description,
             "This file contains all the saved variables used for storing the category and link "
             "information, as well as holding the window dimensions and settings.");
    header.version = static_cast<float>(GetVersionNumber());

    settings.dockPosition = dpBottomRight;
    settings.alpha = 255;
    settings.autoMode = false;
    settings.dockWindow = true;
    settings.mouseOverSectionResize = false;
    settings.alwaysOnTop = true;
    settings.autoAlpha = true;
    savedSettings = settings;

    SetDefaultAppearance();
    for (int c = 0; c < kMaxCategories; ++c)
        ClearCategory(c);

    CategoryRecord &example = categories[0];
    SetField(example.name, "Example");
    SetField(example.description, "This is an example category. Click Add... or use the editor to "
                                  "alter the categories you see.");
    example.type = ctDirectories;
    SetField(example.links[0].name, "/");
    SetField(example.links[0].path, "/");
    example.links[0].type = example.type;
    example.links[0].used = 1;

    CategoryRecord &pages = categories[1];
    SetField(pages.name, "Kestrava Pages");
    SetField(pages.description, "This is another example category demonstrating the use of website "
                                "links in categories. It also serves as an easy plug :)");
    pages.type = ctWebsites;
    SetField(pages.links[0].name, "KVUI Home");
    SetField(pages.links[0].path, GetHomePageURL());
    pages.links[0].type = pages.type;
    pages.links[0].used = 1;
    return true;
}
