#include "ImportApplications.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <utility>

namespace {

// The freedesktop main categories, and the name a category of them gets.
// "Settings" and "System" share one, as do the three of sound and video.
const struct {
    const char *category;
    const char *proposal;
} kMainCategories[] = {
    {"AudioVideo", "Multimedia"},   {"Audio", "Multimedia"},    {"Video", "Multimedia"},
    {"Development", "Development"}, {"Education", "Education"}, {"Game", "Games"},
    {"Graphics", "Graphics"},       {"Network", "Internet"},    {"Office", "Office"},
    {"Science", "Science"},         {"Settings", "System"},     {"System", "System"},
    {"Utility", "Utilities"},
};

constexpr const char *kOther = "Other";

// Field widths less their NUL.
constexpr std::size_t kLinkNameBytes = sizeof(LinkRecord::name) - 1;
constexpr std::size_t kLinkPathBytes = sizeof(LinkRecord::path) - 1;

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// <0, 0, >0 as a sorts before, with or after b, ASCII letters of either case alike.
int CompareFolded(const std::string &a, const std::string &b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(FoldAscii(a[i]));
        const auto y = static_cast<unsigned char>(FoldAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// UTF-8 text cut to at most max bytes without splitting a character.
std::string CutUtf8(std::string text, std::size_t max)
{
    if (text.size() <= max)
        return text;
    std::size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text.resize(cut);
    return text;
}

// A label shows one line: line breaks and other control characters of a
// name become spaces, and the ends are trimmed.
std::string OneLine(std::string text)
{
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f')
            c = ' ';
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// The file's name without its folder and ".desktop".
std::string FileTitle(const std::string &file)
{
    const std::size_t slash = file.find_last_of('/');
    std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::string suffix = ".desktop";
    if (base.size() > suffix.size() && base.compare(base.size() - suffix.size(), suffix.size(), suffix) == 0)
        base.resize(base.size() - suffix.size());
    return base;
}

} // namespace

std::string MainCategoryOf(const std::vector<std::string> &categories)
{
    for (const std::string &c : categories)
        for (const auto &m : kMainCategories)
            if (c == m.category)
                return m.proposal;
    return kOther;
}

std::vector<ImportProposal> ProposeCategories(const std::vector<ImportEntry> &entries)
{
    std::vector<std::pair<std::string, ImportLink>> all; // proposal name, link
    std::set<std::string> files;
    for (const ImportEntry &e : entries) {
        if (e.file.empty() || e.file.size() > kLinkPathBytes || !files.insert(e.file).second)
            continue;
        std::string name = OneLine(e.name);
        if (name.empty())
            name = OneLine(FileTitle(e.file));
        all.push_back({MainCategoryOf(e.categories), {CutUtf8(name, kLinkNameBytes), e.file}});
    }
    std::stable_sort(all.begin(), all.end(), [](const auto &a, const auto &b) {
        const int byName = CompareFolded(a.second.name, b.second.name);
        if (byName != 0)
            return byName < 0;
        return a.second.file < b.second.file;
    });

    std::vector<ImportProposal> proposals;
    for (const auto &[category, link] : all) {
        auto it = std::find_if(proposals.begin(), proposals.end(),
                               [&name = category](const ImportProposal &p) { return p.name == name; });
        if (it == proposals.end()) {
            proposals.push_back({category, {}, 0});
            it = proposals.end() - 1;
        }
        if (static_cast<int>(it->links.size()) < kMaxLinks)
            it->links.push_back(link);
        else
            ++it->leftOut;
    }
    std::sort(proposals.begin(), proposals.end(), [](const ImportProposal &a, const ImportProposal &b) {
        const bool aOther = a.name == kOther, bOther = b.name == kOther;
        if (aOther != bOther)
            return bOther;
        return a.name < b.name;
    });
    return proposals;
}

std::vector<bool> DefaultChoices(const KVUIOperationClass &model,
                                 const std::vector<ImportProposal> &proposals)
{
    std::vector<bool> checked;
    const int used = model.CategoryCount();
    for (const ImportProposal &p : proposals) {
        bool taken = false;
        for (int c = 0; c < used && !taken; ++c)
            taken = CompareFolded(FieldText(model.categories[c].name), p.name) == 0;
        checked.push_back(!taken);
    }
    return checked;
}

ImportResult ImportCategories(KVUIOperationClass &model, const std::vector<ImportProposal> &proposals,
                              const std::vector<int> &chosen)
{
    ImportResult result;
    for (int i : chosen) {
        if (i < 0 || i >= static_cast<int>(proposals.size()))
            continue;
        // Categories are only ever added in the first unused slot.
        const int slot = model.FirstFreeCategory();
        if (slot < 0) {
            result.notAdded.push_back(i);
            continue;
        }
        const ImportProposal &p = proposals[static_cast<std::size_t>(i)];
        model.ClearCategory(slot);
        CategoryRecord &cat = model.categories[slot];
        SetField(cat.name, CutUtf8(p.name, sizeof cat.name - 1));
        SetField(cat.description, kImportedCategoryDescription);
        cat.type = ctApplications;
        for (std::size_t l = 0; l < p.links.size() && l < static_cast<std::size_t>(kMaxLinks); ++l) {
            LinkRecord &link = cat.links[l];
            KVUIOperationClass::ClearLink(link);
            SetField(link.name, CutUtf8(p.links[l].name, kLinkNameBytes));
            SetField(link.path, p.links[l].file);
            link.type = ctApplications;
            link.used = 1;
        }
        result.added.push_back(i);
        result.into.push_back(slot);
    }
    return result;
}
