#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "Kvguiglobals.h"

TEST(IniFile, DebugModeValues)
{
    struct Case {
        const char *text;
        bool expected;
        bool found;
    } cases[] = {
        {"[Debug]\nDebugMode=1\n", true, true},
        {"[Debug]\nDebugMode=2\n", true, true},
        {"[Debug]\nDebugMode=0\n", false, true},
        {"[Debug]\nDebugMode=yes\n", false, true},
        {"[Debug]\nDebugMode=\n", false, true},
        {"[debug]\r\n  debugmode = -3 \r\n", true, true},
        {"\xEF\xBB\xBF[Debug]\nDebugMode=0x10\n", true, true},
        {"[Other]\nDebugMode=1\n", false, false},
        {"DebugMode=1\n[Debug]\n", false, false},
        {"[Debug]\n;DebugMode=1\n", false, false},
        {"[Debug]\nDebugMode=99999999999999999999999\n", false, true},
        {"", false, false},
    };
    for (const Case &tc : cases) {
        bool found = true;
        EXPECT_EQ(ReadIniBool(tc.text, "Debug", "DebugMode", false, &found), tc.expected) << tc.text;
        EXPECT_EQ(found, tc.found) << tc.text;
    }
}

TEST(IniFile, SetValueChangesOnlyItsKey)
{
    struct Case {
        const char *what;
        std::string before;
        std::string after;
    } cases[] = {
        {"no file yet", "", "[Preferences]\nLinkIcons=1\n"},
        {"a byte order mark alone", "\xEF\xBB\xBF", "\xEF\xBB\xBF[Preferences]\nLinkIcons=1\n"},
        {"only the debug switch, with CRLF", "[Debug]\r\nDebugMode=1\r\n",
         "[Debug]\r\nDebugMode=1\r\n[Preferences]\r\nLinkIcons=1\r\n"},
        {"no line break at the end", "; mine\n[Debug]\nDebugMode=1",
         "; mine\n[Debug]\nDebugMode=1\n[Preferences]\nLinkIcons=1"},
        {"value changed in place, spacing and case kept",
         "[preferences]\r\n  linkicons =  0  \r\n; after\r\n",
         "[preferences]\r\n  linkicons =  1\r\n; after\r\n"},
        {"key added after the section's last key, before blank lines and the next section",
         "[Preferences]\nOther=x\n\n; about debug\n[Debug]\nDebugMode=0\n",
         "[Preferences]\nOther=x\nLinkIcons=1\n\n; about debug\n[Debug]\nDebugMode=0\n"},
        {"empty section at the end without a break", "[Debug]\nDebugMode=1\n[Preferences]",
         "[Debug]\nDebugMode=1\n[Preferences]\nLinkIcons=1"},
        {"duplicate sections: the first gets a missing key", "[Preferences]\nA=1\n[X]\n[Preferences]\nB=2\n",
         "[Preferences]\nA=1\nLinkIcons=1\n[X]\n[Preferences]\nB=2\n"},
        {"duplicate sections: the key the reader sees is changed",
         "[Preferences]\nA=1\n[Preferences]\nLinkIcons=0\n",
         "[Preferences]\nA=1\n[Preferences]\nLinkIcons=1\n"},
        {"duplicate keys: the first", "[Preferences]\nLinkIcons=0\nLinkIcons=0\n",
         "[Preferences]\nLinkIcons=1\nLinkIcons=0\n"},
        {"commented key and other sections' keys left alone",
         "[Debug]\nLinkIcons=0\n[Preferences]\n;LinkIcons=0\n",
         "[Debug]\nLinkIcons=0\n[Preferences]\nLinkIcons=1\n;LinkIcons=0\n"},
        {"unclosed header ends the section", "[Preferences]\nA=1\n[Preferences\nLinkIcons=0\n",
         "[Preferences]\nA=1\nLinkIcons=1\n[Preferences\nLinkIcons=0\n"},
        {"quoted value replaced whole", "[Preferences]\nLinkIcons=\"0\"\n", "[Preferences]\nLinkIcons=1\n"},
        {"unknown lines, tabs and odd bytes kept", "\xEF\xBB\xBFjunk line\n[Z]\tq = \"r\"\n\xFF\xFE\n",
         "\xEF\xBB\xBFjunk line\n[Z]\tq = \"r\"\n\xFF\xFE\n[Preferences]\nLinkIcons=1\n"},
        {"empty value", "[Preferences]\nLinkIcons=\n", "[Preferences]\nLinkIcons=1\n"},
        {"already set: same bytes", "[Preferences]\r\nLinkIcons=1\r\n", "[Preferences]\r\nLinkIcons=1\r\n"},
    };
    for (const Case &tc : cases) {
        const std::string after = SetIniValue(tc.before, "Preferences", "LinkIcons", "1");
        EXPECT_EQ(after, tc.after) << tc.what;
        // What was written is what the reader finds, and the debug switch
        // reads as before.
        std::string value;
        EXPECT_TRUE(ReadIniValue(after, "Preferences", "LinkIcons", value)) << tc.what;
        EXPECT_EQ(value, "1") << tc.what;
        bool foundBefore = false, foundAfter = false;
        EXPECT_EQ(ReadIniBool(tc.before, "Debug", "DebugMode", false, &foundBefore),
                  ReadIniBool(after, "Debug", "DebugMode", false, &foundAfter))
            << tc.what;
        EXPECT_EQ(foundBefore, foundAfter) << tc.what;
    }
}

TEST(IniFile, SetValueTakesNoLineBreaksFromTheValue)
{
    EXPECT_EQ(
        SetIniValue("[Preferences]\nLinkIcons=0\n", "Preferences", "LinkIcons", "1\r\n[Debug]\nDebugMode=1"),
        "[Preferences]\nLinkIcons=1[Debug]DebugMode=1\n");
    EXPECT_EQ(SetIniValue("", "Preferences", "LinkIcons", "0", "\r\n"), "[Preferences]\r\nLinkIcons=0\r\n");
}

namespace {

struct IniDir : ::testing::Test {
    std::filesystem::path dir;
    KVUIOperationClass m;
    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() /
              ("kv-ini-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        m.directory = dir.string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path Ini() const { return dir / "Kestrava.ini"; }
    void Write(const std::string &bytes) const { std::ofstream(Ini(), std::ios::binary) << bytes; }
    std::string Read() const
    {
        std::ifstream in(Ini(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

} // namespace

TEST_F(IniDir, LinkIconsIsOnOnlyForOne)
{
    struct Case {
        const char *text;
        bool on;
    } cases[] = {
        {"[Preferences]\nLinkIcons=1\n", true},    {"[preferences]\r\n LinkIcons = \"1\" \r\n", true},
        {"[Preferences]\nLinkIcons=0\n", false},   {"[Preferences]\nLinkIcons=2\n", false},
        {"[Preferences]\nLinkIcons=-1\n", false},  {"[Preferences]\nLinkIcons=01\n", false},
        {"[Preferences]\nLinkIcons=yes\n", false}, {"[Preferences]\nLinkIcons=\n", false},
        {"[Debug]\nLinkIcons=1\n", false},         {"[Preferences]\n;LinkIcons=1\n", false},
    };
    for (const Case &tc : cases) {
        Write(tc.text);
        m.linkIcons = !tc.on;
        m.ReadIniFile();
        EXPECT_EQ(m.linkIcons, tc.on) << tc.text;
    }
}

TEST_F(IniDir, WritingKeepsTheRestOfTheFileByteForByte)
{
    const std::string before =
        "\xEF\xBB\xBF; set by hand\r\n[Debug]\r\nDebugMode=1\r\n\r\n[Mine]\r\nx = y\r\n";
    Write(before);
    ASSERT_TRUE(m.WriteIniValue("Preferences", "LinkIcons", "1")) << m.lastSaveError;
    EXPECT_EQ(Read(), before + "[Preferences]\r\nLinkIcons=1\r\n");
    ASSERT_TRUE(m.WriteIniValue("Preferences", "LinkIcons", "0")) << m.lastSaveError;
    EXPECT_EQ(Read(), before + "[Preferences]\r\nLinkIcons=0\r\n");
    m.ReadIniFile();
    EXPECT_TRUE(m.debugMode);
    EXPECT_FALSE(m.linkIcons);
}

TEST_F(IniDir, WritingMakesTheFileWhenThereIsNone)
{
    ASSERT_TRUE(m.WriteIniValue("Preferences", "LinkIcons", "1")) << m.lastSaveError;
#ifdef _WIN32
    EXPECT_EQ(Read(), "[Preferences]\r\nLinkIcons=1\r\n"); // a new file takes the system's line breaks
#else
    EXPECT_EQ(Read(), "[Preferences]\nLinkIcons=1\n");
#endif
    m.ReadIniFile();
    EXPECT_TRUE(m.linkIcons);
}

#ifndef _WIN32 // symbolic links are a POSIX matter
TEST_F(IniDir, WritingGoesThroughASymbolicLink)
{
    const std::filesystem::path real = dir / "real.ini";
    std::ofstream(real, std::ios::binary) << "[Debug]\nDebugMode=1\n";
    std::filesystem::create_symlink(real, Ini());
    ASSERT_TRUE(m.WriteIniValue("Preferences", "LinkIcons", "1")) << m.lastSaveError;
    EXPECT_TRUE(std::filesystem::is_symlink(Ini()));
    std::ifstream in(real, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "[Debug]\nDebugMode=1\n[Preferences]\nLinkIcons=1\n");
}
#endif

TEST_F(IniDir, AFileThatCannotBeReadWholeIsLeftAsItIs)
{
    // Longer than the reader takes: writing back what was read would cut it.
    const std::string big = "[Debug]\nDebugMode=1\n; " + std::string(1 << 20, 'x') + "\n";
    Write(big);
    EXPECT_FALSE(m.WriteIniValue("Preferences", "LinkIcons", "1"));
    EXPECT_FALSE(m.lastSaveError.empty());
    EXPECT_EQ(Read(), big);

    std::filesystem::remove(Ini());
    std::filesystem::create_directory(Ini());
    EXPECT_FALSE(m.WriteIniValue("Preferences", "LinkIcons", "1"));
    EXPECT_TRUE(std::filesystem::is_directory(Ini()));
    EXPECT_TRUE(std::filesystem::is_empty(Ini()));

    m.directory.clear();
    EXPECT_FALSE(m.WriteIniValue("Preferences", "LinkIcons", "1"));
}

TEST_F(IniDir, NoTemporaryIsLeftBehind)
{
    Write("[Debug]\nDebugMode=1\n");
    ASSERT_TRUE(m.WriteIniValue("Preferences", "LinkIcons", "1"));
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}
