// Any bytes as a downloaded uilv.bin.

#include <cstdint>
#include <cstring>

#include "UpdateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto info = ParseUpdateFile(data, size);
    if (info) {
        // What is accepted is a plain name that the maker writes back the same.
        const auto bytes = UpdateFileBytes(info->version, info->installer);
        if (std::memcmp(bytes.data(), data, 4) != 0 || info->installer.empty() ||
            info->installer.find('/') != std::string::npos || info->installer.find("..") != std::string::npos)
            __builtin_trap();
    }
    return 0;
}
