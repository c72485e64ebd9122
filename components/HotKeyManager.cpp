#include "HotKeyManager.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

#include "GlobalKeys.h"

namespace {

// Identifiers by name, counted like the desktop's global atoms, so that a
// hot key keeps one identifier for as long as anything refers to it.
struct AtomTable {
    struct Entry {
        uint16_t atom;
        int references;
    };
    std::map<std::string, Entry> byName;
    uint16_t next = 0xC000;

    uint16_t Add(const std::string &name)
    {
        auto it = byName.find(name);
        if (it != byName.end()) {
            ++it->second.references;
            return it->second.atom;
        }
        if (next == 0) // all 16384 used: no identifier left
            return 0;
        const uint16_t atom = next;
        next = next == 0xFFFF ? 0 : static_cast<uint16_t>(next + 1);
        byName[name] = {atom, 1};
        return atom;
    }
    void Delete(uint16_t atom)
    {
        for (auto it = byName.begin(); it != byName.end(); ++it)
            if (it->second.atom == atom) {
                if (--it->second.references == 0)
                    byName.erase(it);
                return;
            }
    }
};

AtomTable &Atoms()
{
    static AtomTable atoms;
    return atoms;
}

std::string AtomName(uint32_t hotKey)
{
    return "HotKeyManagerHotKey" + std::to_string(hotKey);
}

THotKeyManager *pressedTarget = nullptr;

// Whether this run has told that the desktop gives no global keys.
bool desktopRefusalTold = false;

} // namespace

THotKeyManager::THotKeyManager()
{
    pressedTarget = this;
    platform::Keys().SetPressedHandler([](uint16_t modifiers, uint8_t key) {
        if (pressedTarget)
            pressedTarget->HookProc(modifiers, key);
    });
}

THotKeyManager::~THotKeyManager()
{
    ClearHotKeys();
    if (pressedTarget == this) {
        pressedTarget = nullptr;
        platform::Keys().SetPressedHandler(nullptr);
    }
}

void THotKeyManager::ForgetDesktopRefusal()
{
    desktopRefusalTold = false;
}

uint16_t THotKeyManager::AddHotKey(uint32_t hotKey)
{
    m_lastError.clear();
    // Every key fails alike there: nothing is asked of the desktop, and it
    // is said once.
    if (!platform::Keys().Available(&m_lastError)) {
        if (OnRefused && !std::exchange(desktopRefusalTold, true))
            OnRefused(QStringLiteral("Global hot keys do not work here: %1. Bind a shortcut of the desktop "
                                     "to the command kestrava instead: starting Kestrava again shows its "
                                     "window.")
                          .arg(m_lastError));
        return 0;
    }
    uint16_t modifiers = 0, key = 0;
    SeparateHotKey(hotKey, modifiers, key);
    const uint16_t atom = Atoms().Add(AtomName(hotKey));
    if (atom && platform::Keys().Grab(modifiers, static_cast<uint8_t>(key), &m_lastError)) {
        m_registrations.push_back(new THotKeyRegistration{hotKey, atom});
        return atom;
    }
    if (atom)
        Atoms().Delete(atom);
    else
        m_lastError = QStringLiteral("no identifier is left");
    if (OnRefused)
        OnRefused(
            QStringLiteral("The hot key %1 does not work: %2. Starting Kestrava again shows its window, "
                           "so a shortcut of the desktop can do the same.")
                .arg(QString::fromStdString(HotKeyToText(hotKey, false)), m_lastError));
    return 0;
}

uint16_t THotKeyManager::ChangeHotKey(uint16_t index, uint32_t newHotKey)
{
    const auto it = std::find_if(m_registrations.begin(), m_registrations.end(),
                                 [index](const THotKeyRegistration *r) { return r->KeyIndex == index; });
    if (it == m_registrations.end())
        return 0;
    RemoveHotKeyByIndex(index);
    return AddHotKey(newHotKey);
}

bool THotKeyManager::RemoveHotKey(uint32_t hotKey)
{
    return RemoveFirst([hotKey](const THotKeyRegistration *r) { return r->HotKey == hotKey; });
}

bool THotKeyManager::RemoveHotKeyByIndex(uint16_t index)
{
    return RemoveFirst([index](const THotKeyRegistration *r) { return r->KeyIndex == index; });
}

bool THotKeyManager::RemoveFirst(const std::function<bool(const THotKeyRegistration *)> &match)
{
    const auto it = std::find_if(m_registrations.begin(), m_registrations.end(), match);
    if (it == m_registrations.end())
        return false;
    THotKeyRegistration *r = *it;
    m_registrations.erase(it);
    return DisposeHotKey(r);
}

void THotKeyManager::ClearHotKeys()
{
    while (!m_registrations.empty()) {
        THotKeyRegistration *r = m_registrations.back();
        m_registrations.pop_back();
        DisposeHotKey(r);
    }
}

bool THotKeyManager::DisposeHotKey(THotKeyRegistration *registration)
{
    uint16_t modifiers = 0, key = 0;
    SeparateHotKey(registration->HotKey, modifiers, key);
    const bool released = platform::Keys().Release(modifiers, static_cast<uint8_t>(key));
    Atoms().Delete(registration->KeyIndex);
    // The record of a key the desktop kept is dropped from the list all the
    // same; keeping it allocated, as the desktop keeps the key, helps no one.
    delete registration;
    return released;
}

void THotKeyManager::HookProc(uint16_t modifiers, uint8_t key)
{
    if (!OnHotKeyPressed)
        return;
    const uint32_t value = GetHotKey(modifiers, key);
    for (const THotKeyRegistration *r : m_registrations)
        if (r->HotKey == value) {
            OnHotKeyPressed(value, r->KeyIndex);
            return;
        }
}

bool HotKeyAvailable(uint32_t hotKey)
{
    uint16_t modifiers = 0, key = 0;
    SeparateHotKey(hotKey, modifiers, key);
    const uint16_t atom = Atoms().Add("HotKeyManagerHotKeyTest");
    const bool grabbed = platform::Keys().Grab(modifiers, static_cast<uint8_t>(key), nullptr);
    if (grabbed)
        platform::Keys().Release(modifiers, static_cast<uint8_t>(key));
    Atoms().Delete(atom);
    return grabbed;
}

bool HotKeyValid(uint32_t hotKey)
{
    uint16_t modifiers = 0, key = 0;
    SeparateHotKey(hotKey, modifiers, key);
    if (platform::Keys().Holds(modifiers, static_cast<uint8_t>(key)))
        return true;
    return HotKeyAvailable(hotKey);
}
