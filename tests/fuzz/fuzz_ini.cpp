// Any text as Kestrava.ini: read, and with one preference written into it.
// Writing must read back as written and leave the debug switch as it was.

#include <cstdlib>
#include <string>

#include "Kvguiglobals.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    bool found = false;
    const bool on = ReadIniBool(text, "Debug", "DebugMode", false, &found);

    const std::string updated = SetIniValue(text, "Preferences", "LinkIcons", "1");
    std::string value;
    if (!ReadIniValue(updated, "Preferences", "LinkIcons", value) || value != "1")
        std::abort();
    bool foundAfter = false;
    if (ReadIniBool(updated, "Debug", "DebugMode", false, &foundAfter) != on || foundAfter != found)
        std::abort();
    return 0;
}
