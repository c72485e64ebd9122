#include "LinkDrops.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

// Lines of a refusal message; the rest is counted.
constexpr std::size_t kMessageLines = 20;
// Bytes of a target shown in a message line.
constexpr std::size_t kShownTargetBytes = 120;

bool StartsWithNoCase(const std::string &text, const std::string &prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

std::string TypeText(int type)
{
    const char *text = KVUIOperationClass::CategoryTypeText(type);
    return text ? text : "";
}

std::string ShownTarget(const std::string &target)
{
    if (target.size() <= kShownTargetBytes)
        return target;
    return CutUtf8Text(target, kShownTargetBytes) + "...";
}

std::string RefusalLine(const RefusedDrop &r, int categoryType)
{
    std::string line = ShownTarget(r.target) + ": ";
    switch (r.why) {
    case DropRefusal::WrongType:
        return line + TypeText(r.itemType) + ", but the category takes " + TypeText(categoryType) + " only";
    case DropRefusal::TargetTooLong:
        return line + "longer than the " + std::to_string(kDropTargetBytes) + " bytes a link can hold";
    case DropRefusal::NotFound:
        return line + "no such file or folder";
    case DropRefusal::NotLinkable:
        return line + "not a file, a folder or a web address";
    case DropRefusal::SpecialFile:
        return line + "a FIFO, a socket or a device, which is never opened";
    case DropRefusal::CategoryFull:
        return line + "the category already holds " + std::to_string(kMaxLinks) +
               " links, the most it can hold";
    }
    return line;
}

} // namespace

int DropLinkType(DropKind kind)
{
    switch (kind) {
    case DropKind::Executable:
    case DropKind::DesktopEntry:
        return ctApplications;
    case DropKind::Folder:
        return ctDirectories;
    case DropKind::WebAddress:
        return ctWebsites;
    case DropKind::OtherFile:
        return ctFiles;
    case DropKind::Missing:
    case DropKind::Special:
    case DropKind::Unsupported:
        break;
    }
    return ctUnused;
}

std::string CutUtf8Text(const std::string &text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the character cut.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

std::string UrlHost(const std::string &url)
{
    std::size_t start;
    if (StartsWithNoCase(url, "https://"))
        start = 8;
    else if (StartsWithNoCase(url, "http://"))
        start = 7;
    else
        return {};
    const std::size_t end = url.find_first_of("/?#", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    if (!authority.empty() && authority.front() == '[') {
        // An IPv6 address keeps its brackets; a port may follow them.
        const std::size_t close = authority.find(']');
        return close == std::string::npos ? authority : authority.substr(0, close + 1);
    }
    const std::size_t colon = authority.find(':');
    if (colon != std::string::npos)
        authority.erase(colon);
    return authority;
}

std::string PathFileName(const std::string &path)
{
    std::size_t end = path.size();
    while (end > 0 && path[end - 1] == '/')
        --end;
    if (end == 0)
        return path.empty() ? std::string() : "/";
    const std::size_t slash = path.rfind('/', end - 1);
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, end - start);
}

std::string DropLinkName(const DropItem &item)
{
    std::string name;
    switch (item.kind) {
    case DropKind::WebAddress:
        name = UrlHost(item.target);
        break;
    case DropKind::DesktopEntry:
        name = item.name;
        if (name.empty()) {
            name = PathFileName(item.target);
            constexpr std::string_view suffix = ".desktop";
            if (name.size() > suffix.size() && name.ends_with(suffix))
                name.resize(name.size() - suffix.size());
        }
        break;
    default:
        name = item.name.empty() ? PathFileName(item.target) : item.name;
        break;
    }
    if (name.empty())
        name = item.target;
    return CutUtf8Text(name, kDropNameBytes);
}

bool CategoryTakes(int categoryType, int linkType)
{
    if (linkType < ctApplications || linkType > ctGames)
        return false;
    if (categoryType == ctMultiple)
        return true;
    if (categoryType == ctGames)
        return linkType == ctApplications || linkType == ctGames;
    return categoryType == linkType;
}

DropPlan PlanLinkDrop(int categoryType, int existingLinks, const std::vector<DropItem> &items)
{
    DropPlan plan;
    int room = std::max(0, kMaxLinks - std::max(0, existingLinks));
    for (const DropItem &item : items) {
        const int type = DropLinkType(item.kind);
        RefusedDrop refusal{item.target, type, DropRefusal::WrongType};
        if (item.kind == DropKind::Missing)
            refusal.why = DropRefusal::NotFound;
        else if (item.kind == DropKind::Special)
            refusal.why = DropRefusal::SpecialFile;
        else if (type == ctUnused || item.target.empty())
            refusal.why = DropRefusal::NotLinkable;
        else if (!CategoryTakes(categoryType, type))
            refusal.why = DropRefusal::WrongType;
        else if (item.target.size() > kDropTargetBytes)
            refusal.why = DropRefusal::TargetTooLong;
        else if (room == 0)
            refusal.why = DropRefusal::CategoryFull;
        else {
            // A games category keeps the programs dropped on it as games.
            const int linkType = categoryType == ctGames ? ctGames : type;
            plan.links.push_back({linkType, DropLinkName(item), item.target});
            --room;
            continue;
        }
        plan.refused.push_back(refusal);
    }
    return plan;
}

int NewCategoryType(const std::vector<DropItem> &items)
{
    int common = ctUnused;
    for (const DropItem &item : items) {
        const int type = DropLinkType(item.kind);
        if (type == ctUnused || item.target.empty() || item.target.size() > kDropTargetBytes)
            continue;
        if (common == ctUnused)
            common = type;
        else if (common != type)
            return ctMultiple;
    }
    return common;
}

std::string NewCategoryName(int categoryType)
{
    if (categoryType == ctMultiple || categoryType < ctApplications || categoryType > ctMultiple)
        return "Dropped";
    return TypeText(categoryType);
}

std::string RefusalMessage(const std::string &categoryName, int categoryType,
                           const std::vector<RefusedDrop> &refused)
{
    if (refused.empty())
        return {};
    std::string text = refused.size() == 1 ? "This dropped item was not added to \""
                                           : "These dropped items were not added to \"";
    text += categoryName + "\":";
    const std::size_t shown = std::min(refused.size(), kMessageLines);
    for (std::size_t i = 0; i < shown; ++i)
        text += "\n" + RefusalLine(refused[i], categoryType);
    if (refused.size() > shown)
        text += "\n... and " + std::to_string(refused.size() - shown) + " more.";
    return text;
}
