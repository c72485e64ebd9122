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

std::optional<UpdateInfo> ParseUpdateFile(const unsigned char *data, std::size_t size)
{
    if (!data || size < kUpdateFileSize)
        return std::nullopt;
    UpdateInfo info;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | data[i];
    info.version = static_cast<int32_t>(v);
    std::size_t n = 0;
    while (n < kUpdateNameSize && data[4 + n] != 0)
        ++n;
    info.installer.assign(reinterpret_cast<const char *>(data + 4), n);
    if (info.installer.empty() || info.installer.find("..") != std::string::npos)
        return std::nullopt;
    for (char c : info.installer)
        if (c < 0x20 || c > 0x7e || c == '/' || c == '\\' || c == ':')
            return std::nullopt;
    return info;
}
