#pragma once

// A configuration with every slot in use: 20 categories of 50 links each. The benchmarks,
// the startup measurements and the limit tests use it as the heaviest file a user can have.

#include <algorithm>
#include <cstdio>
#include <string>

#include "Kvguiglobals.h"

namespace bench {

// Text of exactly length characters (or shorter, when the prefix is longer), so that the
// fields are filled up to their last usable byte.
inline std::string Padded(const std::string &prefix, std::size_t length)
{
    std::string s = prefix;
    const char filler[] = " lorem ipsum dolor sit amet";
    for (std::size_t i = 0; s.size() < length; ++i)
        s += filler[i % (sizeof filler - 1)];
    s.resize(std::min(s.size(), length));
    return s;
}

// UTF-8 text of at most maxBytes bytes: prefix, then characters of two, three and four
// bytes in turn, starting at the turn's step start. It stops before the first character
// that would not fit whole, so that depending on start it ends exactly at maxBytes or a
// byte or two short of it.
inline std::string MultiBytePadded(const std::string &prefix, std::size_t maxBytes, std::size_t start = 0)
{
    static const char *const characters[] = {
        "\xC3\xA9",         // é, two bytes
        "\xE2\x82\xAC",     // €, three bytes
        "\xF0\x9F\x8E\xB5", // 🎵, four bytes
        "\xC3\x9F",         // ß
        "\xE4\xB8\xAD",     // 中
        "\xF0\x9D\x84\x9E", // 𝄞
    };
    constexpr std::size_t kCount = sizeof characters / sizeof characters[0];
    std::string s = prefix.substr(0, maxBytes);
    for (std::size_t i = start;; ++i) {
        const std::string c = characters[i % kCount];
        if (s.size() + c.size() > maxBytes)
            break;
        s += c;
    }
    return s;
}

// Fills every category and link of op, on top of WriteDefaults' header, settings and
// appearance. Links are applications that start target; with longPaths the path field
// is filled up to its end instead (a name the launcher cannot start, only store). With
// multiByteNames the names and descriptions are filled with characters of two to four
// bytes of UTF-8 instead of plain letters, up to the field's last usable byte or as near
// to it as a whole character allows.
inline void FillFullConfiguration(KVUIOperationClass &op, const std::string &target, bool longPaths,
                                  bool multiByteNames = false)
{
    op.WriteDefaults();
    op.settings.width = 233;
    op.settings.height = 289;
    op.savedSettings = op.settings;
    const auto fill = [multiByteNames](const std::string &prefix, std::size_t bytes, std::size_t start) {
        return multiByteNames ? MultiBytePadded(prefix + " ", bytes, start) : Padded(prefix, bytes);
    };
    for (int c = 0; c < kMaxCategories; ++c) {
        CategoryRecord &cat = op.categories[c];
        char buf[64];
        std::snprintf(buf, sizeof buf, "Category %02d", c + 1);
        SetField(cat.name, fill(buf, sizeof cat.name - 1, c));
        SetField(cat.description, fill(std::string(buf) + ":", sizeof cat.description - 1, c + 1));
        cat.type = ctApplications;
        cat.expanded = true;
        cat.lockedOpen = false;
        for (int l = 0; l < kMaxLinks; ++l) {
            LinkRecord &link = cat.links[l];
            std::snprintf(buf, sizeof buf, "Link %02d.%02d", c + 1, l + 1);
            SetField(link.name, fill(buf, sizeof link.name - 1, c + l));
            if (longPaths)
                SetField(link.path, Padded("/opt/" + std::string(buf) + "/", sizeof link.path - 1));
            else
                SetField(link.path, target);
            link.type = ctApplications;
            link.used = 1;
        }
    }
}

} // namespace bench
