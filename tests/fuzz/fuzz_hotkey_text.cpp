// Any text as a hot key from Kestrava.ini or the settings form, read with
// the US key names or with those of a keyboard layout.
//
// The first byte picks the names (bit 0: the layout's); the rest is the
// text. A text that names a hot key must name one the encoding can hold,
// and the text written for that value must read back as the same value
// (but for the modifier keys, below).

#include <cstdint>
#include <string>

#include "HotKeyText.h"

namespace {

// A German layout's names for a few keys, as the desktop gives them; the
// other keys keep their US names.
std::string GermanNames(uint8_t code)
{
    switch (code) {
    case 0x10:
        return "Umschalt";
    case 0x11:
        return "Strg";
    case 0x12:
        return "ALT";
    case 0xBA:
        return "\xc3\x9c"; // Ü
    case 0xC0:
        return "\xc3\x96"; // Ö
    case 0xDE:
        return "\xc3\x84"; // Ä
    default:
        return {};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool names = (SetLocalKeyNames(GermanNames), true);
    (void)names;
    if (size == 0)
        return 0;
    const bool localized = data[0] & 1;
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);

    const uint32_t value = TextToHotKey(text, localized);
    if (value != 0) {
        uint16_t modifiers = 0, key = 0;
        SeparateHotKey(value, modifiers, key);
        if (key == 0 || (value & ~uint32_t{0x1E0FF}) != 0 || GetHotKey(modifiers, key) != value)
            __builtin_trap();
        // The Shift, Control and Alt keys are written with their names,
        // which read back as modifiers without a key ("Ctrl+Alt" is
        // nothing): only they may be lost on the way back.
        const std::string written = HotKeyToText(value, localized);
        const uint32_t back = TextToHotKey(written, localized);
        const bool modifierKey = key >= 0x10 && key <= 0x12;
        if (back != value && !(modifierKey && back == 0))
            __builtin_trap();
    }

    // Any value, even one no text gives, can be written.
    if (size >= 5) {
        uint32_t raw = 0;
        for (int i = 1; i < 5; ++i)
            raw = raw << 8 | data[i];
        volatile std::size_t length = HotKeyToText(raw, localized).size();
        (void)length;
    }
    return 0;
}
