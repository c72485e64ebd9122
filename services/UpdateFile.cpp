#include "UpdateFile.h"

std::array<unsigned char, kUpdateFileSize> UpdateFileBytes(int32_t version, const std::string &installerName)
{
    std::array<unsigned char, kUpdateFileSize> bytes{};
    const auto v = static_cast<uint32_t>(version);
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
    std::size_t n = installerName.size() < kUpdateNameSize ? installerName.size() : kUpdateNameSize;
    // Never half a character: step back over continuation bytes.
    if (n < installerName.size())
        while (n > 0 && (static_cast<unsigned char>(installerName[n]) & 0xC0) == 0x80)
            --n;
    for (std::size_t i = 0; i < n; ++i)
        bytes[4 + i] = static_cast<unsigned char>(installerName[i]);
    return bytes;
}
