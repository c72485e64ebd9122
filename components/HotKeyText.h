#pragma once

// Hot key values and their texts, without Qt: what "Ctrl+Alt+M" means.
//
// A value holds the Windows virtual-key code in bits 0-7 and the modifiers
// in bits 13-16 (0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt, 0x10000 Win), so
// "Ctrl+Alt+M" is 0xC04D. Modifier sets use the flags below.

#include <cstdint>
#include <functional>
#include <string>

#include "VirtualKeys.h"

constexpr uint16_t MOD_ALT = 1;
constexpr uint16_t MOD_CONTROL = 2;
constexpr uint16_t MOD_SHIFT = 4;
constexpr uint16_t MOD_WIN = 8;

uint32_t GetHotKey(uint16_t modifiers, uint16_t key);
void SeparateHotKey(uint32_t hotKey, uint16_t &modifiers, uint16_t &key);

using platform::FindVirtualKey;
using platform::VirtualKey;

// Key names of the current keyboard layout, where the desktop provides
// them; an empty name falls back to the US name. Set once at start.
void SetLocalKeyNames(std::function<std::string(uint8_t code)> names);

std::string HotKeyToText(uint32_t hotKey, bool localized);
// 0 when the text is not a hot key.
uint32_t TextToHotKey(const std::string &text, bool localized);
