#pragma once

// Test double of the global keys: combinations other programs hold are set
// by the test, and presses are made by hand.

#include <set>
#include <utility>

#include "GlobalKeys.h"

namespace platform {

struct FakeGlobalKeys : GlobalKeys {
    using Combo = std::pair<uint16_t, uint8_t>;
    std::set<Combo> held;
    std::set<Combo> heldByOthers;
    bool available = true; // false: a desktop without global keys
    PressedHandler handler;

    bool Available(QString *why) const override;
    bool Grab(uint16_t modifiers, uint8_t key, QString *error) override;
    bool Release(uint16_t modifiers, uint8_t key) override { return held.erase({modifiers, key}) > 0; }
    bool Holds(uint16_t modifiers, uint8_t key) const override { return held.count({modifiers, key}) > 0; }
    void SetPressedHandler(PressedHandler h) override { handler = std::move(h); }
    // A press of the combination, as the desktop would deliver it.
    void Press(uint16_t modifiers, uint8_t key);
};

FakeGlobalKeys &FakeKeys();

} // namespace platform
