#include "FakeGlobalKeys.h"

#include "VirtualKeys.h"

namespace platform {

bool FakeGlobalKeys::Available(QString *why) const
{
    if (!available && why)
        *why = QStringLiteral("this desktop gives programs no global keys");
    return available;
}

bool FakeGlobalKeys::Grab(uint16_t modifiers, uint8_t key, QString *error)
{
    QString why;
    if (Available(&why)) {
        if (!FindVirtualKey(key))
            why = QStringLiteral("the key has no name");
        else if (heldByOthers.count({modifiers, key}) || held.count({modifiers, key}))
            why = QStringLiteral("another program holds the key");
    }
    if (why.isEmpty()) {
        held.insert({modifiers, key});
        return true;
    }
    if (error)
        *error = why;
    return false;
}

void FakeGlobalKeys::Press(uint16_t modifiers, uint8_t key)
{
    if (handler && held.count({modifiers, key}))
        handler(modifiers, key);
}

FakeGlobalKeys &FakeKeys()
{
    static FakeGlobalKeys keys;
    return keys;
}

GlobalKeys &Keys()
{
    return FakeKeys();
}

} // namespace platform
