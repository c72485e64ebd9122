#pragma once

// System-wide hot keys: registered with the desktop, and one event when any
// of them is pressed. The texts and values are in HotKeyText.h.

#include <cstdint>
#include <functional>
#include <vector>

#include <QString>

#include "HotKeyText.h"

struct THotKeyRegistration {
    uint32_t HotKey;
    uint16_t KeyIndex; // the hot key's identifier, handed to callers as its index
};

class THotKeyManager {
  public:
    THotKeyManager();
    ~THotKeyManager();
    THotKeyManager(const THotKeyManager &) = delete;
    THotKeyManager &operator=(const THotKeyManager &) = delete;

    // The new registration's index, 0 when the desktop refused the key
    // (LastError says why, and OnRefused is told).
    uint16_t AddHotKey(uint32_t hotKey);
    uint16_t ChangeHotKey(uint16_t index, uint32_t newHotKey);
    bool RemoveHotKey(uint32_t hotKey);
    bool RemoveHotKeyByIndex(uint16_t index);
    void ClearHotKeys();
    // True when the desktop let go of the key; the record is freed then.
    bool DisposeHotKey(THotKeyRegistration *registration);

    const std::vector<THotKeyRegistration *> &Registrations() const { return m_registrations; }
    const QString &LastError() const { return m_lastError; }

    std::function<void(uint32_t hotKey, uint16_t index)> OnHotKeyPressed;
    // A line for the debug window when AddHotKey is refused: one for each
    // key another program holds, but a desktop that gives no program global
    // keys (a Wayland desktop) is told once per run, however many keys and
    // managers ask; the line says how to show the window without them.
    std::function<void(const QString &line)> OnRefused;

    // Lets the next refusal by the whole desktop be told again (tests).
    static void ForgetDesktopRefusal();

  private:
    void HookProc(uint16_t modifiers, uint8_t key);
    bool RemoveFirst(const std::function<bool(const THotKeyRegistration *)> &match);
    std::vector<THotKeyRegistration *> m_registrations;
    QString m_lastError;
};

// True when the hot key could be registered now.
bool HotKeyAvailable(uint32_t hotKey);
// True when the hot key is registered by this program or could be now.
bool HotKeyValid(uint32_t hotKey);
