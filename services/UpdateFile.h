#pragma once

// The update information file, uilv.bin: the newest version number (signed
// 32-bit, little-endian) and the installer's file name in a 30-byte field,
// NUL-padded, 34 bytes in all. Without Qt.

#include <array>
#include <cstdint>
#include <string>

constexpr std::size_t kUpdateNameSize = 30;
constexpr std::size_t kUpdateFileSize = 4 + kUpdateNameSize;

// The file for version and an installer name of UTF-8, cut to the field on
// a character boundary.
std::array<unsigned char, kUpdateFileSize> UpdateFileBytes(int32_t version, const std::string &installerName);
