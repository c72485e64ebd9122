#pragma once

// Key combinations taken for the whole desktop: pressed anywhere, they
// reach this program and no other. Modifiers are the MOD_ flags of hot key
// values (1 Alt, 2 Ctrl, 4 Shift, 8 Win); keys are virtual-key codes
// (VirtualKeys.h).

#include <cstdint>
#include <functional>

#include <QString>

namespace platform {

class GlobalKeys {
  public:
    using PressedHandler = std::function<void(uint16_t modifiers, uint8_t key)>;

    virtual ~GlobalKeys() = default;
    // False, with *why saying so, when the desktop gives no program global
    // keys at all, whatever the combination: a display that is not X11, or
    // a Wayland desktop, where an X grab through XWayland only sees the keys
    // pressed while one of its X windows has the focus.
    virtual bool Available(QString *why) const = 0;
    // Takes the combination. False, with *error saying why, when another
    // program holds it, this program holds it already, the key has no
    // place on the keyboard, or the desktop gives no global keys; nothing
    // stays taken then.
    virtual bool Grab(uint16_t modifiers, uint8_t key, QString *error) = 0;
    // False when the combination was not held.
    virtual bool Release(uint16_t modifiers, uint8_t key) = 0;
    virtual bool Holds(uint16_t modifiers, uint8_t key) const = 0;
    // Called on the GUI thread for each press of a held combination.
    virtual void SetPressedHandler(PressedHandler handler) = 0;
};

GlobalKeys &Keys();

} // namespace platform
