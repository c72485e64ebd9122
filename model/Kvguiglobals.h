#pragma once

// The operation model: everything the launcher shows and stores. The persisted
// records are flat images of the configuration file, so their layout is pinned
// byte for byte below and must never change.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum DockPosition : int32_t {
    dpTopLeft = 0,
    dpMiddleLeft,
    dpBottomLeft,
    dpTopMiddle,
    dpCentre,
    dpBottomMiddle,
    dpTopRight,
    dpMiddleRight,
    dpBottomRight,
    dpAbsoluteLeft,
    dpAbsoluteRight,
};

enum CategoryType : int32_t {
    ctUnused = -1,
    ctApplications = 0,
    ctWebsites,
    ctDirectories,
    ctFiles,
    ctGames,
    ctMultiple,
};

enum ColourRole : int32_t {
    crTitle = 0,
    crPrimary,
    crSecondary,
    crClock,
    crExitButton,
    crGamePanel,
    crCatArea,
    crPanels,
    crBackground,
};

constexpr int kMaxCategories = 20;
constexpr int kMaxLinks = 50;

// Platform colour value, 0x00BBGGRR.
using TColor = uint32_t;

#pragma pack(push, 1)

struct RGBColour {
    int32_t r;
    int32_t g;
    int32_t b;
};

struct LinkRecord {
    char name[50];
    char path[2000];
    char pad[2];
    int32_t type;
    int32_t used;
};

struct CategoryRecord {
    LinkRecord links[kMaxLinks];
    char name[50];
    char description[250];
    int32_t type;
    RGBColour colour;
    RGBColour linkColour;
    bool lockedOpen;
    bool expanded;
    char pad[2];
};

struct WindowSettings {
    int32_t left;
    int32_t top;
    int32_t height;
    int32_t width;
    int32_t dockPosition;
    int32_t alpha;
    bool dockWindow;
    bool autoAlpha;
    bool mouseOverSectionResize;
    bool alwaysOnTop;
    bool autoMode;
    char pad[3];
};

struct FileHeader {
    char title[50];
    char credit[50];
    char description[300];
    float version;
};

struct Appearance {
    char titleFont[50];
    char headingsFont[50];
    char linksFont[50];
    char pad[2];
    RGBColour colours[9];
};

#pragma pack(pop)

static_assert(sizeof(float) == 4 && sizeof(bool) == 1);
static_assert(sizeof(RGBColour) == 12);
static_assert(sizeof(LinkRecord) == 2060);
static_assert(offsetof(LinkRecord, path) == 50);
static_assert(offsetof(LinkRecord, type) == 2052);
static_assert(offsetof(LinkRecord, used) == 2056);
static_assert(sizeof(CategoryRecord) == 103332);
static_assert(offsetof(CategoryRecord, name) == 103000);
static_assert(offsetof(CategoryRecord, description) == 103050);
static_assert(offsetof(CategoryRecord, type) == 103300);
static_assert(offsetof(CategoryRecord, colour) == 103304);
static_assert(offsetof(CategoryRecord, linkColour) == 103316);
static_assert(offsetof(CategoryRecord, lockedOpen) == 103328);
static_assert(offsetof(CategoryRecord, expanded) == 103329);
static_assert(sizeof(WindowSettings) == 32);
static_assert(offsetof(WindowSettings, dockPosition) == 16);
static_assert(offsetof(WindowSettings, alpha) == 20);
static_assert(offsetof(WindowSettings, dockWindow) == 24);
static_assert(offsetof(WindowSettings, autoMode) == 28);
static_assert(sizeof(FileHeader) == 404);
static_assert(offsetof(FileHeader, credit) == 50);
static_assert(offsetof(FileHeader, description) == 100);
static_assert(offsetof(FileHeader, version) == 400);
static_assert(sizeof(Appearance) == 260);
static_assert(offsetof(Appearance, headingsFont) == 50);
static_assert(offsetof(Appearance, linksFont) == 100);
static_assert(offsetof(Appearance, colours) == 152);

// Offsets of the blocks in KVUI_Config.dat.
namespace ConfigLayout {
constexpr std::size_t kHeader = 0;
constexpr std::size_t kCategories = 404;
constexpr std::size_t kSettings = 2067044;
constexpr std::size_t kSavedSettings = 2067076;
constexpr std::size_t kAppearance = 2067108;
constexpr std::size_t kUseWindowsColours = 2067368;
constexpr std::size_t kGameSectionOpen = 2067369;
constexpr std::size_t kClockVisible = 2067370;
constexpr std::size_t kClockLeft = 2067371;
constexpr std::size_t kClockTop = 2067375;
constexpr std::size_t kButtonSectionOpen = 2067379;
constexpr std::size_t kFileSize = 2067380;
static_assert(kCategories + kMaxCategories * sizeof(CategoryRecord) == kSettings);
} // namespace ConfigLayout

// The undo copy taken around the settings dialog.
struct ModelSnapshot {
    bool useWindowsColours;
    CategoryRecord categories[kMaxCategories];
    WindowSettings settings;
    WindowSettings savedSettings;
    FileHeader header;
    Appearance appearance;
};

// Copies text into a fixed field, cutting it so that the terminating NUL
// always fits. Callers that hold UTF-8 cut on a character boundary first.
template <std::size_t N> void SetField(char (&field)[N], const std::string &text)
{
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    text.copy(field, n);
    for (std::size_t i = n; i < N; ++i)
        field[i] = '\0';
}

// Length of a text field up to its first NUL, never past the field's end.
template <std::size_t N> std::string FieldText(const char (&field)[N])
{
    std::size_t n = 0;
    while (n < N && field[n] != '\0')
        ++n;
    return std::string(field, n);
}

RGBColour ColourFromTColor(TColor c);
TColor TColorFromColour(const RGBColour &c);

class KVUIOperationClass {
  public:
    KVUIOperationClass();
    ~KVUIOperationClass();
    KVUIOperationClass(const KVUIOperationClass &) = delete;
    KVUIOperationClass &operator=(const KVUIOperationClass &) = delete;
    // A model made with new lies where a start writes it fastest (ModelMemory.h).
    static void *operator new(std::size_t size);
    static void operator delete(void *block, std::size_t size) noexcept;

    // Category slots. A category index outside the 20 slots is ignored by
    // every call that takes one, and has no links.
    void ClearCategory(int c);
    void CopyCategory(int dst, int src);
    int FirstFreeCategory() const;
    int CategoryCount() const; // FirstFreeCategory with -1 read as "all 20"
    static bool IsValidCategoryType(int t);

    // Links
    static void ClearLink(LinkRecord &link);
    static void AssignLink(LinkRecord &dst, LinkRecord src);
    static void SwapLinks(LinkRecord &a, LinkRecord &b);
    int LinkCount(int c) const;
    void DeleteLink(int c, int l);

    // Colours and fonts
    RGBColour GetColour(int role) const;
    void SetColour(int role, int r, int g, int b);
    static TColor GetSystemColour(int role);
    void SetDefaultAppearance();

    // Text forms
    static const char *BoolText(bool b);
    static const char *DockPositionText(int p);
    static const char *CategoryTypeText(int t);

    // Undo copy
    void TakeSnapshot();
    void RestoreSnapshot();
    void DiscardSnapshot();
    bool HasSnapshot() const { return m_snapshot != nullptr; }

    // Switches
    bool GetUseWindowsColours() const { return useWindowsColours; }
    void SetUseWindowsColours(bool v) { useWindowsColours = v; }
    bool GetGameSectionOpen() const { return gameSectionOpen; }
    void SetGameSectionOpen(bool v) { gameSectionOpen = v; }
    bool GetDebugMode() const { return debugMode; }
    void SetDebugMode(bool v) { debugMode = v; }
    bool GetButtonSectionOpen() const { return buttonSectionOpen; }
    void SetButtonSectionOpen(bool v) { buttonSectionOpen = v; }

    // Paths and constants
    std::string GetConfigPath() const;
    std::string GetOldConfigPath() const;
    std::string GetIniPath() const;
    std::string GetUpdateTempPath() const;
    static std::string GetHomePageURL();
    static std::string GetUpdateFileName() { return "uilv.bin"; }
    static int GetVersionNumber() { return 118; }
    static std::string GetVersionText() { return "1.1.8"; }
    static std::string GetShowHotkeyText() { return "Ctrl+Alt+M"; }
    static std::string GetConnectHotkeyText() { return "Ctrl+Alt+I"; }

    // Persistence
    bool LoadConfiguration();
    bool SaveConfiguration();
    bool WriteDefaults();
    // Copies KVUI_Config.dat, up to the configuration's size, over
    // KVUI_Config_OLD.dat; false when there was nothing whole to copy or the
    // copy failed (the old backup then stays as it was).
    bool BackupConfiguration();
    // Fills the model from a configuration image in memory, as the loader does
    // with the file's bytes; any length is accepted.
    void LoadFromBytes(const unsigned char *data, std::size_t size);
    // Reads the debug switch and the preferences of the ini file, if there is one.
    void ReadIniFile();
    // Sets one key of the ini file, keeping every other line as it is; the
    // file is made when there is none. False, with lastSaveError set, when it
    // could not be written (the file then stays as it was).
    bool WriteIniValue(const std::string &section, const std::string &key, const std::string &value);

    std::string directory;
    bool useWindowsColours = false;
    bool gameSectionOpen = false;
    bool debugMode = false;
    bool buttonSectionOpen = true;
    // The packed records hold ints: keep them aligned whatever flags come before.
    alignas(8) CategoryRecord categories[kMaxCategories];
    WindowSettings settings;
    WindowSettings savedSettings;
    FileHeader header;
    Appearance appearance;
    std::string timeText, dayText, dateText;
    int32_t clockLeft = 0;
    int32_t clockTop = 0;
    bool clockVisible = false;
    // Preferences of the ini file's [Preferences] section; each is off when
    // the file does not set it.
    bool linkIcons = false; // LinkIcons=1: an icon before each link

    // Size of the whole virtual screen, set by the main window before loading.
    int screenWidth = 0;
    int screenHeight = 0;
    // Where the clock goes when a file does not hold its position: the centre
    // of the primary screen, set by the main window before loading. The centre
    // of the virtual screen would be the seam between two monitors.
    int clockDefaultLeft = 0;
    int clockDefaultTop = 0;

    // Why the last SaveConfiguration or BackupConfiguration returned false.
    std::string lastSaveError;

    // Opaque handles of toolkit objects the model is said to hold; owned and
    // freed by the layer that created them.
    void *iconImages = nullptr;
    void *shellDispatch = nullptr;

  private:
    void ResetPersistedState();
    // Loads from read(destination, size) -> bytes read, block by block.
    void LoadBlocks(const std::function<std::size_t(void *, std::size_t)> &read);
    // True when KVUI_Config.dat holds exactly these blocks already, so that a
    // save of an unchanged model does not rewrite and sync 2 MB again.
    bool FileStillHolds(const void *const *blocks, const std::size_t *sizes, int count) const;
    // Loads the file at path; false when it could not be opened or read to its end.
    bool LoadFromFile(const std::string &path);
    // Temporaries that a save killed half way left beside the two files.
    void RemoveStaleTemporaries();
    // False, with lastSaveError set, when no file may be written in this run.
    bool MayWriteFiles();
    std::unique_ptr<ModelSnapshot> m_snapshot;
    // KVUI_Config.dat existed but could not be read when loading: the model
    // holds something else, which must never be written over the file.
    bool m_keepConfigFile = false;
};

// The one model of the running program, created by the main window.
extern KVUIOperationClass *KVOP;

// Reads a Windows-style ini file's value as the switch reader does: the value
// of key in section, as a bool with a default (non-zero integers are true).
bool ReadIniBool(const std::string &iniText, const std::string &section, const std::string &key,
                 bool defaultValue, bool *found = nullptr);

// The raw value of key in section as the reader sees it: the first such key
// of any section of that name, trimmed, without surrounding quotes. False
// when there is none.
bool ReadIniValue(const std::string &iniText, const std::string &section, const std::string &key,
                  std::string &value);

// The ini text with key in section set to value and every other byte as it
// was: the first such key the reader would find is changed in place; a
// missing key goes after the last line of the first section of that name,
// and a missing section at the end of the text. New lines end as the text's
// first line does, or with newline when it has none. Line breaks in value are
// dropped.
std::string SetIniValue(const std::string &iniText, const std::string &section, const std::string &key,
                        const std::string &value, const char *newline = "\n");

// The home page address from a configured one: the product's own when it is
// null or empty, and always ending with a slash, as a file name is appended
// to it directly.
std::string HomePageAddress(const char *configured);

// The folder the program was started in, which holds its configuration (UTF-8
// on Windows); empty when the system cannot say which it is.
std::string ConfigurationFolder();
