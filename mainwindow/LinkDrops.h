#pragma once

// What becomes of things dropped on the launcher: files, folders and web
// addresses turn into links of a category. The toolkit side examines what
// was dropped (PanelDrops.cpp); the rules here decide, without it, which
// links are made, which items a category refuses and why.

#include <string>
#include <vector>

#include "Kvguiglobals.h"

// What a dropped item turned out to be.
enum class DropKind {
    Executable,   // a file with an execute bit
    DesktopEntry, // an application's ".desktop" entry
    Folder,
    WebAddress,  // an http or https URL
    OtherFile,   // any other file
    Missing,     // a local path where nothing is
    Special,     // a FIFO, a socket or a device
    Unsupported, // a URL of another scheme
};

struct DropItem {
    DropKind kind = DropKind::OtherFile;
    std::string name;   // a desktop entry's name; may be empty for the others
    std::string target; // the local path or the URL, UTF-8
    bool operator==(const DropItem &) const = default;
};

// A link to add: type, name and target fit the model's fields.
struct DropLink {
    int type = ctUnused;
    std::string name;
    std::string target;
    bool operator==(const DropLink &) const = default;
};

enum class DropRefusal {
    WrongType,     // the category holds links of another type only
    TargetTooLong, // a cut path or address would lead somewhere else
    NotFound,      // nothing at that path
    NotLinkable,   // neither a file, a folder nor a web address
    SpecialFile,   // a FIFO, a socket or a device, which is never opened
    CategoryFull,  // past the 50 links a category holds
};

struct RefusedDrop {
    std::string target;
    int itemType = ctUnused; // the type the item would have had, ctUnused when it has none
    DropRefusal why = DropRefusal::WrongType;
    bool operator==(const RefusedDrop &) const = default;
};

struct DropPlan {
    std::vector<DropLink> links;
    std::vector<RefusedDrop> refused; // in the order the items came
};

// Bytes of text the link fields hold, their terminating NUL left out.
constexpr std::size_t kDropNameBytes = sizeof(LinkRecord::name) - 1;
constexpr std::size_t kDropTargetBytes = sizeof(LinkRecord::path) - 1;

// The link type an item makes: Applications for programs and desktop
// entries, Directories, Websites, Files; ctUnused for what makes no link.
int DropLinkType(DropKind kind);

// The host of an http(s) address, as written (no port, no user); empty when
// it has none.
std::string UrlHost(const std::string &url);

// The last part of a path, trailing slashes ignored; "/" for the root.
std::string PathFileName(const std::string &path);

// The name a link gets: the desktop entry's own name, the file's or folder's
// name, the address's host, cut to the name field on a character boundary.
std::string DropLinkName(const DropItem &item);

// Text cut to at most maxBytes without splitting a UTF-8 character.
std::string CutUtf8Text(const std::string &text, std::size_t maxBytes);

// Whether a category of categoryType takes a link of linkType: Multiple takes
// every type; Games takes programs, kept as games; the others their own.
bool CategoryTakes(int categoryType, int linkType);

// The links items make in a category of categoryType that already holds
// existingLinks links, and what it refuses. Links beyond the 50 a category
// holds are refused as CategoryFull.
DropPlan PlanLinkDrop(int categoryType, int existingLinks, const std::vector<DropItem> &items);

// A new category made of dropped items: Multiple when the items that make
// links are of different types, else their one type; ctUnused when none does.
int NewCategoryType(const std::vector<DropItem> &items);
// Its name: the type's text ("Websites", ...), or "Dropped" for a category
// of several types.
std::string NewCategoryName(int categoryType);

// The message telling what a drop on categoryName left out, one line per
// item; empty when nothing was refused.
std::string RefusalMessage(const std::string &categoryName, int categoryType,
                           const std::vector<RefusedDrop> &refused);
