#include "HotKeyText.h"

#include <algorithm>
#include <vector>

namespace {

std::function<std::string(uint8_t)> &LocalNames()
{
    static std::function<std::string(uint8_t)> names;
    return names;
}

std::string KeyName(uint8_t code, bool localized)
{
    if (localized && LocalNames()) {
        std::string name = LocalNames()(code);
        if (!name.empty())
            return name;
    }
    const VirtualKey *k = FindVirtualKey(code);
    return k ? k->name : std::string();
}

// The modifier names of the current layout: those of its Shift, Ctrl and
// Alt keys, and Win in capitals where the layout writes Alt so.
struct ModifierNames {
    std::string shift, ctrl, alt, win;
};

ModifierNames Localized()
{
    ModifierNames m{KeyName(0x10, true), KeyName(0x11, true), KeyName(0x12, true), "Win"};
    if (!m.alt.empty() &&
        std::all_of(m.alt.begin(), m.alt.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        m.win = "WIN";
    return m;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// Items between the '+' signs, each without the blanks it starts with;
// empty items are dropped.
std::vector<std::string> Split(const std::string &text)
{
    std::vector<std::string> items;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find('+', start);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(start, end - start);
        item.erase(0, item.find_first_not_of(' ') == std::string::npos ? item.size()
                                                                       : item.find_first_not_of(' '));
        if (!item.empty())
            items.push_back(item);
        start = end + 1;
    }
    return items;
}

std::string TrimControls(const std::string &s)
{
    std::string::size_type b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) < 33)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) < 33)
        --e;
    return s.substr(b, e - b);
}

uint16_t KeyByName(const std::string &name, bool localized)
{
    for (int code = 8; code <= 255; ++code)
        if (SameIgnoringCase(HotKeyToText(static_cast<uint32_t>(code), localized), name))
            return static_cast<uint16_t>(code);
    return 0;
}

} // namespace

uint32_t GetHotKey(uint16_t modifiers, uint16_t key)
{
    uint32_t value = key;
    if (modifiers & MOD_ALT)
        value += 0x8000;
    if (modifiers & MOD_CONTROL)
        value += 0x4000;
    if (modifiers & MOD_SHIFT)
        value += 0x2000;
    if (modifiers & MOD_WIN)
        value += 0x10000;
    return value;
}

void SeparateHotKey(uint32_t hotKey, uint16_t &modifiers, uint16_t &key)
{
    key = static_cast<uint16_t>(hotKey & 0xFF);
    modifiers = 0;
    if (hotKey & 0x2000)
        modifiers |= MOD_SHIFT;
    if (hotKey & 0x4000)
        modifiers |= MOD_CONTROL;
    if (hotKey & 0x8000)
        modifiers |= MOD_ALT;
    if (hotKey & 0x10000)
        modifiers |= MOD_WIN;
}

void SetLocalKeyNames(std::function<std::string(uint8_t code)> names)
{
    LocalNames() = std::move(names);
}

std::string HotKeyToText(uint32_t hotKey, bool localized)
{
    const ModifierNames names = localized ? Localized() : ModifierNames{"Shift", "Ctrl", "Alt", "Win"};
    std::string text;
    if (hotKey & 0x4000)
        text += names.ctrl + "+";
    if (hotKey & 0x2000)
        text += names.shift + "+";
    if (hotKey & 0x8000)
        text += names.alt + "+";
    if (hotKey & 0x10000)
        text += names.win + "+";
    return text + KeyName(static_cast<uint8_t>(hotKey & 0xFF), localized);
}

uint32_t TextToHotKey(const std::string &text, bool localized)
{
    const ModifierNames local = localized ? Localized() : ModifierNames{"Shift", "Ctrl", "Alt", "Win"};
    const std::vector<std::string> items = Split(text);
    uint16_t modifiers = 0;
    if (items.size() >= 2) {
        for (std::size_t i = 0; i + 1 < items.size(); ++i) {
            const std::string &item = items[i];
            if (SameIgnoringCase(item, "Shift") || SameIgnoringCase(item, local.shift))
                modifiers |= MOD_SHIFT;
            else if (SameIgnoringCase(item, "Ctrl") || SameIgnoringCase(item, local.ctrl))
                modifiers |= MOD_CONTROL;
            else if (SameIgnoringCase(item, "Alt") || SameIgnoringCase(item, local.alt))
                modifiers |= MOD_ALT;
            else if (SameIgnoringCase(item, "Win") || SameIgnoringCase(item, local.win))
                modifiers |= MOD_WIN;
            else {
                modifiers = 0;
                break;
            }
        }
        if (modifiers == 0)
            return 0;
    }
    if (items.empty())
        return 0;
    const std::string last = TrimControls(items.back());
    uint16_t key = 0;
    if (last.size() == 1) {
        char c = last[0];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))
            key = static_cast<uint16_t>(c);
        else
            key = KeyByName(std::string(1, c), localized);
    } else if (last.size() > 1) {
        // Only a modifier's own spelling ends the text without a key: spelt
        // otherwise ("ctrl+alt"), the name is looked up like any other, and
        // finds the Alt key itself.
        for (const std::string &m : {std::string("Ctrl"), std::string("Alt"), std::string("Shift"),
                                     std::string("Win"), local.ctrl, local.alt, local.shift, local.win})
            if (last == m)
                return 0;
        key = KeyByName(last, localized);
    }
    return key == 0 ? 0 : GetHotKey(modifiers, key);
}
