// Any text as Kestrava.ini.

#include <string>

#include "Kvguiglobals.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    bool found = false;
    volatile bool on = ReadIniBool(text, "Debug", "DebugMode", false, &found);
    (void)on;
    return 0;
}
