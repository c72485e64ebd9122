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

std::string InstallerNameFault(const std::string &name)
{
    if (name.empty())
        return "The installer filename is empty.";
    if (name.size() > kUpdateNameSize)
        return "The installer filename is longer than 30 characters.";
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7f)
            return "The installer filename holds a control character; only printable characters can be "
                   "published.";
        if (c > 0x7f) {
            // The whole character, for the message: its lead byte and what
            // continues it.
            std::size_t end = i + 1;
            while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
                ++end;
            return "The installer filename holds \"" + name.substr(i, end - i) +
                   "\", which the update check refuses: only ASCII letters, digits, spaces and punctuation "
                   "can be published.";
        }
        if (c == '/' || c == '\\' || c == ':')
            return "The installer filename must be a plain file name, without \"/\", \"\\\" or \":\": it "
                   "goes behind the home page's address.";
    }
    if (name.find("..") != std::string::npos)
        return "The installer filename must not hold \"..\": it goes behind the home page's address.";
    return {};
}

std::string UpdateFileNotWritten(const std::string &path, const std::string &why)
{
    return "The update file could not be written to \"" + path + "\": " + why + ".";
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
    if (!InstallerNameFault(info.installer).empty())
        return std::nullopt;
    return info;
}
