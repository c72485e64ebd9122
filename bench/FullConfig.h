#pragma once

// A configuration with every slot in use: 20 categories of 50 links each. The benchmarks
// and the startup measurements use it as the heaviest file a user can have.

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

// Fills every category and link of op, on top of WriteDefaults' header, settings and
// appearance. Links are applications that start target; with longPaths the path field
// is filled up to its end instead (a name the launcher cannot start, only store).
inline void FillFullConfiguration(KVUIOperationClass &op, const std::string &target, bool longPaths)
{
    op.WriteDefaults();
    op.settings.width = 233;
    op.settings.height = 289;
    op.savedSettings = op.settings;
    for (int c = 0; c < kMaxCategories; ++c) {
        CategoryRecord &cat = op.categories[c];
        char buf[64];
        std::snprintf(buf, sizeof buf, "Category %02d", c + 1);
        SetField(cat.name, Padded(buf, sizeof cat.name - 1));
        SetField(cat.description, Padded(std::string(buf) + ":", sizeof cat.description - 1));
        cat.type = ctApplications;
        cat.expanded = true;
        cat.lockedOpen = false;
        for (int l = 0; l < kMaxLinks; ++l) {
            LinkRecord &link = cat.links[l];
            std::snprintf(buf, sizeof buf, "Link %02d.%02d", c + 1, l + 1);
            SetField(link.name, Padded(buf, sizeof link.name - 1));
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
