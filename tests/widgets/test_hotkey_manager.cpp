// The hot key manager over the desktop's global keys (the fake here; the
// real X server's grabs are the end-to-end tier's).

#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

#include "FakeGlobalKeys.h"
#include "HotKeyManager.h"

namespace {

struct HotKeys : ::testing::Test {
    void SetUp() override
    {
        platform::FakeKeys() = platform::FakeGlobalKeys{};
        THotKeyManager::ForgetDesktopRefusal();
    }
    void TearDown() override
    {
        platform::FakeKeys() = platform::FakeGlobalKeys{};
        THotKeyManager::ForgetDesktopRefusal();
    }
};

constexpr uint32_t kCtrlAltM = 0xC04D;
constexpr uint32_t kCtrlAltI = 0xC049;

TEST_F(HotKeys, AddPressRemove)
{
    THotKeyManager man;
    std::vector<std::pair<uint32_t, uint16_t>> pressed;
    man.OnHotKeyPressed = [&](uint32_t value, uint16_t index) { pressed.emplace_back(value, index); };
    const uint16_t m = man.AddHotKey(kCtrlAltM);
    const uint16_t i = man.AddHotKey(kCtrlAltI);
    ASSERT_NE(m, 0);
    ASSERT_NE(i, 0);
    EXPECT_NE(m, i);
    EXPECT_TRUE(platform::FakeKeys().Holds(MOD_CONTROL | MOD_ALT, 0x4D));
    platform::FakeKeys().Press(MOD_CONTROL | MOD_ALT, 0x49);
    EXPECT_EQ(pressed, (std::vector<std::pair<uint32_t, uint16_t>>{{kCtrlAltI, i}}));
    // A combination the manager does not hold raises nothing.
    platform::FakeKeys().held.insert({MOD_SHIFT, 0x41});
    platform::FakeKeys().Press(MOD_SHIFT, 0x41);
    EXPECT_EQ(pressed.size(), 1u);

    EXPECT_EQ(man.AddHotKey(kCtrlAltM), 0) << "held already";
    EXPECT_TRUE(man.RemoveHotKey(kCtrlAltM));
    EXPECT_FALSE(man.RemoveHotKey(kCtrlAltM));
    EXPECT_FALSE(platform::FakeKeys().Holds(MOD_CONTROL | MOD_ALT, 0x4D));
    const uint16_t changed = man.ChangeHotKey(i, 0x4070); // Ctrl+F1
    ASSERT_NE(changed, 0);
    EXPECT_EQ(man.ChangeHotKey(0x1234, kCtrlAltM), 0) << "no such index";
    EXPECT_FALSE(platform::FakeKeys().Holds(MOD_CONTROL | MOD_ALT, 0x49));
    EXPECT_TRUE(man.RemoveHotKeyByIndex(changed));
    EXPECT_TRUE(man.Registrations().empty());
}

TEST_F(HotKeys, RefusedKeysKeepNothing)
{
    platform::FakeKeys().heldByOthers.insert({MOD_CONTROL | MOD_ALT, 0x4D});
    THotKeyManager man;
    EXPECT_EQ(man.AddHotKey(kCtrlAltM), 0);
    EXPECT_FALSE(man.LastError().isEmpty());
    EXPECT_TRUE(man.Registrations().empty());
    EXPECT_FALSE(HotKeyAvailable(kCtrlAltM));
    EXPECT_FALSE(HotKeyValid(kCtrlAltM));
    EXPECT_TRUE(HotKeyAvailable(kCtrlAltI));
    EXPECT_TRUE(platform::FakeKeys().held.empty()) << "the test grab is let go";
    ASSERT_NE(man.AddHotKey(kCtrlAltI), 0);
    EXPECT_FALSE(HotKeyAvailable(kCtrlAltI)) << "ours now";
    EXPECT_TRUE(HotKeyValid(kCtrlAltI));
    EXPECT_EQ(man.AddHotKey(0), 0) << "an unparsable text gives no key";

    // A desktop without global keys: refused, with a reason.
    platform::FakeKeys().available = false;
    EXPECT_EQ(man.AddHotKey(0x4070), 0);
    EXPECT_TRUE(man.LastError().contains("global keys"));
}

TEST_F(HotKeys, ClearLetsEveryKeyGo)
{
    {
        THotKeyManager man;
        man.AddHotKey(kCtrlAltM);
        man.AddHotKey(kCtrlAltI);
        man.ClearHotKeys();
        EXPECT_TRUE(man.Registrations().empty());
        EXPECT_TRUE(platform::FakeKeys().held.empty());
        man.AddHotKey(kCtrlAltM);
    }
    EXPECT_TRUE(platform::FakeKeys().held.empty()) << "the manager lets go when it goes";
}

// A desktop that gives no program global keys (Wayland): every key is
// refused with the reason, nothing is taken, and the debug window hears of
// it once in the run, not once per key or per manager.
TEST_F(HotKeys, DesktopWithoutGlobalKeysIsToldOnce)
{
    platform::FakeKeys().available = false;
    QStringList lines;
    const auto collect = [&lines](const QString &line) { lines << line; };
    {
        THotKeyManager man;
        man.OnRefused = collect;
        for (uint32_t key : {kCtrlAltM, kCtrlAltI, kCtrlAltM})
            EXPECT_EQ(man.AddHotKey(key), 0);
        EXPECT_TRUE(man.LastError().contains("no global keys")) << man.LastError().toStdString();
        EXPECT_TRUE(man.Registrations().empty());
    }
    THotKeyManager again;
    again.OnRefused = collect;
    EXPECT_EQ(again.AddHotKey(kCtrlAltI), 0);
    EXPECT_FALSE(again.LastError().isEmpty()) << "each refusal still has its reason";
    EXPECT_FALSE(HotKeyAvailable(kCtrlAltM));
    EXPECT_FALSE(HotKeyValid(kCtrlAltM));
    EXPECT_TRUE(platform::FakeKeys().held.empty());
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains("no global keys")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("kestrava"))
        << "the line says what to bind instead: " << lines[0].toStdString();

    // Nothing of the refusal sticks to the keys themselves.
    platform::FakeKeys().available = true;
    EXPECT_NE(again.AddHotKey(kCtrlAltI), 0) << again.LastError().toStdString();
    EXPECT_EQ(lines.size(), 1);
}

// A key another program holds is a refusal of that key: told each time,
// with the key's name, and not taken for the desktop's refusal.
TEST_F(HotKeys, KeyHeldByAnotherIsToldPerKey)
{
    platform::FakeKeys().heldByOthers.insert({MOD_CONTROL | MOD_ALT, 0x4D});
    QStringList lines;
    THotKeyManager man;
    man.OnRefused = [&lines](const QString &line) { lines << line; };
    EXPECT_EQ(man.AddHotKey(kCtrlAltM), 0);
    EXPECT_NE(man.AddHotKey(kCtrlAltI), 0);
    EXPECT_EQ(man.AddHotKey(kCtrlAltM), 0);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    for (const QString &line : lines) {
        EXPECT_TRUE(line.contains("Ctrl+Alt+M")) << line.toStdString();
        EXPECT_TRUE(line.contains("another program holds the key")) << line.toStdString();
    }

    // The desktop's refusal is still told after these.
    platform::FakeKeys().available = false;
    EXPECT_EQ(man.AddHotKey(0x4070), 0);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].contains("no global keys")) << lines[2].toStdString();
}

} // namespace
