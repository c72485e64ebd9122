#pragma once

// The update information file, uilv.bin: the newest version number (signed
// 32-bit, little-endian) and the installer's file name in a 30-byte field,
// NUL-padded, 34 bytes in all. Without Qt.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

constexpr std::size_t kUpdateNameSize = 30;
constexpr std::size_t kUpdateFileSize = 4 + kUpdateNameSize;

// The file for version and an installer name of UTF-8, cut to the field on
// a character boundary.
std::array<unsigned char, kUpdateFileSize> UpdateFileBytes(int32_t version, const std::string &installerName);

struct UpdateInfo {
    int32_t version = 0;
    std::string installer; // a plain file name, safe to put behind the home page address
};

// Why name cannot be the installer's name in an update file, as a sentence
// for the maintainer; empty when it can. The update check puts the name
// behind the home page's address, so it must be a plain file name of 1 to
// 30 printable ASCII characters without "/", "\", ":" or "..": anything
// else could point the browser elsewhere. The check refuses a file with
// such a name, and the update file maker refuses to write one.
std::string InstallerNameFault(const std::string &name);

// What the user is told when an update file could not be written to path,
// why being the system's own words.
std::string UpdateFileNotWritten(const std::string &path, const std::string &why);

// The file's fields, or nothing when the bytes are not an update file this
// program can use: shorter than 34 bytes (the rest would be undefined), or
// an installer name with a fault (above). Bytes past the 34 are ignored.
std::optional<UpdateInfo> ParseUpdateFile(const unsigned char *data, std::size_t size);
