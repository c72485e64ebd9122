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

TEST(UpdateFile, ReadBackAndRefused)
{
    const auto parse = [](const std::string &bytes) {
        return ParseUpdateFile(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    };
    const std::string head("\x77\0\0\0", 4);
    const struct {
        std::string bytes;
        bool ok;
        int32_t version;
        std::string installer;
    } cases[] = {
        {Bytes(UpdateFileBytes(118, "setup.exe")), true, 118, "setup.exe"},
        {Bytes(UpdateFileBytes(119, std::string(30, 'n'))), true, 119, std::string(30, 'n')},
        {Bytes(UpdateFileBytes(119, "setup.exe")) + "trailing bytes", true, 119, "setup.exe"},
        {Bytes(UpdateFileBytes(119, "Kestrava Setup 1.2.exe")), true, 119, "Kestrava Setup 1.2.exe"},
        {head + "setup.exe" + std::string(20, '\0'), false, 0, ""}, // 33 bytes
        {"", false, 0, ""},
        {head + std::string(30, '\0'), false, 0, ""},
        {head + "../../evil.exe" + std::string(16, '\0'), false, 0, ""},
        {head + ".." + std::string(28, '\0'), false, 0, ""}, // the page's folder's parent
        {head + "dir/setup.exe" + std::string(17, '\0'), false, 0, ""},
        {head + "c:setup.exe" + std::string(19, '\0'), false, 0, ""},
        {head + "a\\b.exe" + std::string(23, '\0'), false, 0, ""},
        {head + "set\nup.exe" + std::string(20, '\0'), false, 0, ""},
        {head + "caf\xc3\xa9.exe" + std::string(21, '\0'), false, 0, ""},
        {"<html><body>404 Not Found</body></html>", false, 0, ""},
    };
    for (const auto &tc : cases) {
        const auto info = parse(tc.bytes);
        ASSERT_EQ(info.has_value(), tc.ok) << tc.bytes;
        if (info) {
            EXPECT_EQ(info->version, tc.version);
            EXPECT_EQ(info->installer, tc.installer);
        }
    }
}

TEST(UpdateFile, OneRuleForTheNamesTheMakerWritesAndTheCheckReads)
{
    const struct {
        std::string name;
        std::string why; // a part of the fault; empty: the name is fine
    } cases[] = {
        {"setup.exe", ""},
        {"Kestrava Setup 1.2.exe", ""},
        {std::string(30, 'n'), ""},
        {"~setup_(x64)+[1]!.exe", ""},
        {"", "empty"},
        {std::string(31, 'n'), "longer than 30"},
        {"setup-\xc3\xa4.exe", "\"\xc3\xa4\""},
        {"\xe6\x97\xa5.exe", "\"\xe6\x97\xa5\""},
        {"set\nup.exe", "control character"},
        {"set\x7fup.exe", "control character"},
        {"dir/setup.exe", "plain file name"},
        {"a\\b.exe", "plain file name"},
        {"c:setup.exe", "plain file name"},
        {"../setup.exe", "plain file name"},
        {"setup..exe", "\"..\""},
    };
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.name);
        const std::string fault = InstallerNameFault(tc.name);
        if (tc.why.empty())
            EXPECT_EQ(fault, "");
        else
            EXPECT_NE(fault.find(tc.why), std::string::npos) << fault;
        // What the maker would write, the check reads back, and nothing else.
        if (tc.name.size() <= kUpdateNameSize) {
            const auto bytes = UpdateFileBytes(119, tc.name);
            const auto info = ParseUpdateFile(bytes.data(), bytes.size());
            EXPECT_EQ(info.has_value(), fault.empty());
        }
    }
}

} // namespace
