// The update information file's 34 bytes.

#include <gtest/gtest.h>

#include <string>

#include "UpdateFile.h"

namespace {

std::string Bytes(const std::array<unsigned char, kUpdateFileSize> &b)
{
    return std::string(reinterpret_cast<const char *>(b.data()), b.size());
}

TEST(UpdateFile, VersionThenNamePaddedWithNuls)
{
    const struct {
        int32_t version;
        std::string name;
        std::string want;
    } cases[] = {
        {118, "setup.exe", std::string("\x76\0\0\0", 4) + "setup.exe" + std::string(21, '\0')},
        {118, std::string(30, 'n'), std::string("\x76\0\0\0", 4) + std::string(30, 'n')},
        {119, std::string(31, 'n'), std::string("\x77\0\0\0", 4) + std::string(30, 'n')},
        {0x01020304, "", std::string("\x04\x03\x02\x01", 4) + std::string(30, '\0')},
        {-1, "x", std::string("\xff\xff\xff\xff", 4) + "x" + std::string(29, '\0')},
        // 29 bytes and a two-byte character: the character does not fit whole.
        {118, std::string(29, 'a') + "\xc3\xa9", std::string("\x76\0\0\0", 4) + std::string(29, 'a') + '\0'},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(Bytes(UpdateFileBytes(tc.version, tc.name)), tc.want) << tc.name;
}

} // namespace
