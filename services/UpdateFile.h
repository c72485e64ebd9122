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

// The file's fields, or nothing when the bytes are not an update file this
// program can use: shorter than 34 bytes (the rest would be undefined), or
// an installer name that is not a plain file name (printable ASCII without
// "/", "\", ":" or "..", not empty), which would point the browser
// elsewhere. Bytes past the 34 are ignored.
std::optional<UpdateInfo> ParseUpdateFile(const unsigned char *data, std::size_t size);
