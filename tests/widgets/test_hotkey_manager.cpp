// The hot key manager over the desktop's global keys (the fake here; the
// real X server's grabs are the end-to-end tier's).

#include <gtest/gtest.h>

#include <vector>

#include "FakeGlobalKeys.h"
#include "HotKeyManager.h"

namespace {

struct HotKeys : ::testing::Test {
    void SetUp() override { platform::FakeKeys() = platform::FakeGlobalKeys{}; }
    void TearDown() override { platform::FakeKeys() = platform::FakeGlobalKeys{}; }
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

} // namespace
