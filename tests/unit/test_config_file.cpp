#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

#include "Kvguiglobals.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes ReadAll(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path &p, const Bytes &b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

void PutFloat(Bytes &b, std::size_t at, float v)
{
    std::memcpy(b.data() + at, &v, 4);
}

int32_t GetInt(const Bytes &b, std::size_t at)
{
    int32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

struct ConfigFile : ::testing::Test {
    fs::path dir;
    std::unique_ptr<KVUIOperationClass> m;

    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kv-config-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        m = Fresh();
    }
    void TearDown() override
    {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    std::unique_ptr<KVUIOperationClass> Fresh()
    {
        auto model = std::make_unique<KVUIOperationClass>();
        model->directory = dir.string();
        model->screenWidth = 1280;
        model->screenHeight = 1024;
        return model;
    }
    fs::path Config() const { return dir / "KVUI_Config.dat"; }
    fs::path Old() const { return dir / "KVUI_Config_OLD.dat"; }

    // A full file whose every field differs from the defaults.
    Bytes Distinctive()
    {
        m->WriteDefaults();
        m->SetColour(crTitle, 1, 2, 3);
        SetField(m->appearance.linksFont, "Fixed");
        m->useWindowsColours = true;
        m->gameSectionOpen = true;
        m->clockVisible = true;
        m->clockLeft = 17;
        m->clockTop = 23;
        m->buttonSectionOpen = false;
        m->settings.alpha = 200;
        EXPECT_TRUE(m->SaveConfiguration());
        return ReadAll(Config());
    }
};

TEST_F(ConfigFile, DefaultFileHasDesignedContent)
{
    EXPECT_FALSE(m->LoadConfiguration());
    EXPECT_TRUE(m->WriteDefaults());
    ASSERT_TRUE(m->SaveConfiguration());
    Bytes b = ReadAll(Config());
    ASSERT_EQ(b.size(), 2067380u);
    float version;
    std::memcpy(&version, b.data() + 400, 4);
    EXPECT_EQ(version, 118.0f);

    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_STREQ(loaded->categories[0].name, "Example");
    EXPECT_STREQ(loaded->categories[1].name, "Kestrava Pages");
    EXPECT_STREQ(loaded->categories[0].links[0].path, "/");
    EXPECT_STREQ(loaded->categories[0].links[0].name, "/");
    EXPECT_EQ(loaded->categories[0].links[0].type, ctDirectories);
    EXPECT_EQ(loaded->LinkCount(0), 1);
    EXPECT_EQ(loaded->LinkCount(1), 1);
    EXPECT_EQ(loaded->categories[1].links[0].type, ctWebsites);
    EXPECT_EQ(loaded->FirstFreeCategory(), 2);
    for (int c = 2; c < kMaxCategories; ++c)
        EXPECT_EQ(loaded->categories[c].type, -1);
    EXPECT_EQ(loaded->settings.dockPosition, dpBottomRight);
    EXPECT_EQ(std::memcmp(&loaded->settings, &loaded->savedSettings, sizeof(WindowSettings)), 0);
    EXPECT_STREQ(loaded->header.title, "Kestrava");
    EXPECT_LE(std::strlen(loaded->header.credit), 49u);
    EXPECT_GT(std::strlen(loaded->header.credit), 0u);
}

TEST_F(ConfigFile, SaveAndLoadRoundTripEveryBlock)
{
    Bytes saved = Distinctive();
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(std::memcmp(loaded->categories, m->categories, sizeof m->categories), 0);
    EXPECT_EQ(std::memcmp(&loaded->appearance, &m->appearance, sizeof(Appearance)), 0);
    EXPECT_EQ(loaded->clockLeft, 17);
    EXPECT_EQ(loaded->clockTop, 23);
    EXPECT_TRUE(loaded->clockVisible);
    EXPECT_FALSE(loaded->buttonSectionOpen);
    ASSERT_TRUE(loaded->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);
    // The unaligned tail sits where the format puts it.
    EXPECT_EQ(GetInt(saved, ConfigLayout::kClockLeft), 17);
    EXPECT_EQ(GetInt(saved, ConfigLayout::kClockTop), 23);
    EXPECT_EQ(saved[ConfigLayout::kButtonSectionOpen], 0);
    EXPECT_EQ(GetInt(saved, ConfigLayout::kSettings + 20), 200);
}

TEST_F(ConfigFile, OlderAndNewerVersionsReadTheirFields)
{
    const Bytes full = Distinctive();
    struct Case {
        float version;
        bool appearance, windowsColours, gameSection, clock, buttonSection;
    } cases[] = {
        {96.5f, false, false, false, false, false}, {97.0f, true, false, false, false, false},
        {114.9f, true, true, true, false, false},   {115.0f, true, true, true, true, false},
        {118.0f, true, true, true, true, true},     {120.0f, true, true, true, true, true},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.version);
        Bytes b = full;
        PutFloat(b, 400, tc.version);
        WriteAll(Config(), b);
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_EQ(std::memcmp(loaded->categories, m->categories, sizeof m->categories), 0);
        EXPECT_EQ(loaded->settings.alpha, 200);
        EXPECT_EQ(loaded->GetColour(crTitle).r, tc.appearance ? 1 : 166);
        EXPECT_STREQ(loaded->appearance.linksFont, tc.appearance ? "Fixed" : "Verdana");
        EXPECT_EQ(loaded->useWindowsColours, tc.windowsColours);
        EXPECT_EQ(loaded->gameSectionOpen, tc.gameSection);
        EXPECT_EQ(loaded->clockVisible, tc.clock);
        EXPECT_EQ(loaded->clockLeft, tc.clock ? 17 : 640);
        EXPECT_EQ(loaded->clockTop, tc.clock ? 23 : 512);
        EXPECT_EQ(loaded->buttonSectionOpen, !tc.buttonSection);
        // Whatever was read, the next save writes the full current layout.
        ASSERT_TRUE(loaded->SaveConfiguration());
        Bytes again = ReadAll(Config());
        ASSERT_EQ(again.size(), ConfigLayout::kFileSize);
        float v;
        std::memcpy(&v, again.data() + 400, 4);
        EXPECT_EQ(v, 118.0f);
    }
}

TEST_F(ConfigFile, BackupKeepsTheFileAsItWasAtStart)
{
    Bytes saved = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    ASSERT_TRUE(m->BackupConfiguration()); // twice in a row: still one clean backup
    m->settings.alpha = 99;
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ReadAll(Old()), saved);
    EXPECT_NE(ReadAll(Config()), saved);
    int entries = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(ConfigFile, BackupIsLoadedWhenTheFileIsMissing)
{
    Bytes saved = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    EXPECT_EQ(ReadAll(Old()), saved);
    fs::remove(Config());
    EXPECT_FALSE(m->BackupConfiguration()); // nothing to copy: the backup stays
    EXPECT_EQ(ReadAll(Old()), saved);

    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(loaded->clockLeft, 17);
    ASSERT_TRUE(loaded->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);
}

// Files no version of the program wrote: every text still ends inside its
// field, every bool is 0 or 1, and nothing is read past the buffers.
TEST_F(ConfigFile, DamagedFilesLoadSafely)
{
    std::mt19937 rng(42);
    Bytes garbage(ConfigLayout::kFileSize + 5000);
    for (auto &byte : garbage)
        byte = static_cast<unsigned char>(rng());
    Bytes noNul(ConfigLayout::kFileSize, 'A');
    PutFloat(noNul, 400, 118.0f);
    Bytes nanVersion = Distinctive();
    const uint32_t nanBits = 0x7FC00000;
    std::memcpy(nanVersion.data() + 400, &nanBits, 4);
    Bytes hugeVersion = nanVersion;
    PutFloat(hugeVersion, 400, 3.0e38f);

    struct Case {
        const char *what;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"header cut short", Bytes(noNul.begin(), noNul.begin() + 200)},
        {"inside the categories", Bytes(noNul.begin(), noNul.begin() + 1000)},
        {"inside the tail", Bytes(noNul.begin(), noNul.begin() + ConfigLayout::kClockLeft + 2)},
        {"random", garbage},
        {"no NUL anywhere", noNul},
        {"NaN version", nanVersion},
        {"huge version", hugeVersion},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.what);
        WriteAll(Config(), tc.bytes);
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_LE(std::strlen(loaded->header.title), 49u);
        EXPECT_LE(std::strlen(loaded->header.description), 299u);
        EXPECT_LE(std::strlen(loaded->appearance.linksFont), 49u);
        for (const CategoryRecord &c : loaded->categories) {
            EXPECT_LE(std::strlen(c.name), 49u);
            EXPECT_LE(std::strlen(c.description), 249u);
            EXPECT_LE(std::strlen(c.links[49].path), 1999u);
            unsigned char raw[2];
            std::memcpy(raw, &c.lockedOpen, 2);
            EXPECT_LE(raw[0], 1);
            EXPECT_LE(raw[1], 1);
        }
        EXPECT_LT(loaded->LinkCount(0), 51);
        EXPECT_TRUE(loaded->SaveConfiguration());
    }
}

TEST_F(ConfigFile, ShortFileKeepsResetValuesForWhatItLacks)
{
    Bytes full = Distinctive();
    Bytes cut(full.begin(), full.begin() + ConfigLayout::kSettings); // no settings blocks
    WriteAll(Config(), cut);
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_STREQ(loaded->categories[0].name, "Example");
    EXPECT_EQ(loaded->settings.alpha, 0);
    EXPECT_EQ(loaded->settings.width, 0);
    EXPECT_TRUE(loaded->buttonSectionOpen);
}

TEST_F(ConfigFile, FailedSaveKeepsThePreviousFile)
{
    const Bytes before = Distinctive();
    m->settings.alpha = 77;

    // The file size limit is met half way through the write.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = m->SaveConfiguration();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(Config()), before);

    // The configuration's name is taken by a folder.
    fs::remove(Config());
    fs::create_directory(Config());
    EXPECT_FALSE(m->SaveConfiguration());
    EXPECT_TRUE(fs::is_directory(Config()));

    // The folder itself is gone.
    auto lost = Fresh();
    lost->directory = (dir / "missing").string();
    lost->WriteDefaults();
    EXPECT_FALSE(lost->SaveConfiguration());

    // No temporary file is left behind by any of them.
    int entries = 0;
    for ([[maybe_unused]] const auto &e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(ConfigFile, AnUnchangedModelIsNotWrittenAgain)
{
    const Bytes saved = Distinctive();
    struct stat before {};
    ::stat(Config().c_str(), &before);
    ASSERT_TRUE(m->SaveConfiguration());
    struct stat after {};
    ::stat(Config().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino); // the very same file: nothing was rewritten

    // Removed or replaced behind the model's back: the next save writes it out whole.
    fs::remove(Config());
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);
    WriteAll(Config(), Bytes(10, 0));
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(ReadAll(Config()), saved);

    // A change is written, of course.
    m->settings.alpha = 61;
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(GetInt(ReadAll(Config()), ConfigLayout::kSettings + 20), 61);
}

TEST_F(ConfigFile, ADamagedFileNeitherReplacesTheBackupNorLoadsOverIt)
{
    const Bytes whole = Distinctive();
    ASSERT_TRUE(m->BackupConfiguration());
    for (std::size_t size :
         {std::size_t(0), std::size_t(300), ConfigLayout::kSettings, ConfigLayout::kFileSize - 1}) {
        SCOPED_TRACE(size);
        WriteAll(Config(), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        EXPECT_FALSE(m->BackupConfiguration());
        EXPECT_EQ(ReadAll(Old()), whole);
        auto loaded = Fresh();
        ASSERT_TRUE(loaded->LoadConfiguration());
        EXPECT_EQ(loaded->clockLeft, 17); // the backup's content
        EXPECT_STREQ(loaded->categories[0].name, "Example");
    }
    // An older version's shorter file is whole and is used as it is.
    Bytes v96 = whole;
    PutFloat(v96, 400, 96.5f);
    v96.resize(ConfigLayout::kAppearance);
    WriteAll(Config(), v96);
    EXPECT_TRUE(m->BackupConfiguration());
    auto loaded = Fresh();
    ASSERT_TRUE(loaded->LoadConfiguration());
    EXPECT_EQ(loaded->clockLeft, 640); // no clock fields in that version
}

TEST_F(ConfigFile, SavingKeepsTheFilesPermissions)
{
    Distinctive();
    fs::permissions(Config(), fs::perms::owner_read | fs::perms::owner_write);
    m->settings.alpha = 70;
    ASSERT_TRUE(m->SaveConfiguration());
    EXPECT_EQ(fs::status(Config()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ConfigFile, ConfigurationFolderTakenByAFolderIsNotLoaded)
{
    fs::create_directory(Config());
    EXPECT_FALSE(m->LoadConfiguration());
}

TEST_F(ConfigFile, IniSwitchIsReadFromTheDirectory)
{
    m->ReadIniFile();
    EXPECT_FALSE(m->debugMode);
    std::ofstream(dir / "Kestrava.ini") << "[Debug]\r\nDebugMode=1\r\n";
    m->ReadIniFile();
    EXPECT_TRUE(m->debugMode);
}

} // namespace
