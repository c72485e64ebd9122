// Hot key values, and the texts that name them.

#include <gtest/gtest.h>

#include "HotKeyText.h"

namespace {

TEST(HotKeyText, TextsToValues)
{
    const struct {
        const char *text;
        uint32_t value;
    } cases[] = {
        {"Ctrl+Alt+M", 0xC04D},
        {"ctrl+alt+m", 0xC04D},
        {"Alt+Ctrl+M", 0xC04D},
        {"Ctrl+Alt+I", 0xC049},
        {"M", 0x4D},
        {"m", 0x4D},
        {"Foo+M", 0},
        {"Ctrl+Alt", 0},
        {"Ctrl+F1", 0x4070},
        {"Shift+Win+Page Up", 0x12021},
        {"Ctrl+ Alt+ M", 0xC04D},
        {"Ctrl +M", 0},
        {"Ctrl+Alt+ m \t", 0xC04D},
        {"Alt+Num 0", 0x8060},
        {"Ctrl+;", 0x40BA},
        {"Ctrl+Space", 0x4020},
        {"Ctrl+Alt+Nonsense", 0},
        {"", 0},
        {"+", 0},
        {"Ctrl+Alt+Ctrl", 0},
        {"F24", 0x87},
        {"Ctrl+Ctrl+M", 0x404D},
        // A last item spelt exactly as a modifier names no key; spelt
        // otherwise, it is looked up by name as any key is, and the Shift,
        // Control and Alt keys have names of their own.
        {"ctrl+alt", 0x4012},
        {"Ctrl+alt", 0x4012},
        {"CTRL+ALT", 0x4012},
        {"Alt+ctrl", 0x8011},
        {"Ctrl+SHIFT", 0x4010},
        {"ALT", 0x12},
        {"shift", 0x10},
        {"\x13\x13"
         "ALT",
         0x12},
        {"Ctrl+Shift", 0},
        {"Alt+Win", 0},
        {"Ctrl+win", 0},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(TextToHotKey(tc.text, false), tc.value) << '"' << tc.text << '"';
}

TEST(HotKeyText, ValuesToTexts)
{
    const struct {
        uint32_t value;
        const char *text;
    } cases[] = {
        {0xC04D, "Ctrl+Alt+M"}, {0x4070, "Ctrl+F1"}, {0x1E021, "Ctrl+Shift+Alt+Win+Page Up"}, {0x4D, "M"},
        {0x8000, "Alt+"},       {0x20, "Space"},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(HotKeyToText(tc.value, false), tc.text);
}

// Every named key comes back from its own text, but the modifier keys,
// whose names say a modifier and no key.
TEST(HotKeyText, EveryKeyRoundTrips)
{
    const VirtualKey *keys = platform::kVirtualKeys;
    const int count = static_cast<int>(std::size(platform::kVirtualKeys));
    ASSERT_GT(count, 100);
    for (int i = 0; i < count; ++i) {
        const uint32_t value = GetHotKey(MOD_CONTROL | MOD_SHIFT, keys[i].code);
        const bool modifierKey = keys[i].code >= 0x10 && keys[i].code <= 0x12;
        EXPECT_EQ(TextToHotKey(HotKeyToText(value, false), false), modifierKey ? 0 : value) << keys[i].name;
        EXPECT_EQ(TextToHotKey(keys[i].name, false), modifierKey ? 0 : keys[i].code) << keys[i].name;
        if (i > 0) {
            EXPECT_LT(keys[i - 1].code, keys[i].code) << "in code order";
        }
    }
}

TEST(HotKeyText, ValueEncoding)
{
    const struct {
        uint16_t modifiers, key;
        uint32_t value;
    } cases[] = {
        {MOD_CONTROL | MOD_ALT, 0x4D, 0xC04D},
        {MOD_SHIFT, 0x41, 0x2041},
        {MOD_WIN, 0x5B, 0x1005B},
        {0, 0x70, 0x70},
        {MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN, 0xFF, 0x1E0FF},
    };
    for (const auto &tc : cases) {
        EXPECT_EQ(GetHotKey(tc.modifiers, tc.key), tc.value);
        uint16_t modifiers = 0xFFFF, key = 0xFFFF;
        SeparateHotKey(tc.value, modifiers, key);
        EXPECT_EQ(modifiers, tc.modifiers);
        EXPECT_EQ(key, tc.key);
    }
    // Bits outside the encoding are not read back.
    uint16_t modifiers = 0, key = 0;
    SeparateHotKey(0x1034D, modifiers, key);
    EXPECT_EQ(key, 0x4D);
    EXPECT_EQ(modifiers, MOD_WIN);
}

TEST(HotKeyText, LocalizedNames)
{
    SetLocalKeyNames([](uint8_t code) -> std::string {
        switch (code) {
        case 0x11:
            return "Strg";
        case 0x12:
            return "ALT";
        case 0xBA:
            return "Ü";
        default:
            return {};
        }
    });
    EXPECT_EQ(HotKeyToText(0xC04D, true), "Strg+ALT+M");
    EXPECT_EQ(HotKeyToText(0x1004D, true), "WIN+M") << "Win in capitals where Alt is";
    EXPECT_EQ(TextToHotKey("Strg+Alt+M", true), 0xC04Du);
    EXPECT_EQ(TextToHotKey("Ctrl+Ü", true), 0x40BAu);
    EXPECT_EQ(TextToHotKey("Strg+M", false), 0u) << "only the localized parser knows Strg";
    EXPECT_EQ(HotKeyToText(0xC04D, false), "Ctrl+Alt+M");
    SetLocalKeyNames(nullptr);
}

} // namespace
