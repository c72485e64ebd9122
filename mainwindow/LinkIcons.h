#pragma once

// The small icons shown before link labels when the "Show icons" preference
// is on: what each kind of link shows, looked up in the desktop's icon theme
// once per run. Lookups read files (desktop entries, theme folders, the
// pictures), so none is made before the main window's first frame, and all
// of them are made on a thread of their own: a slow disk or a FIFO under an
// icon's name never holds up the window. A label shows its icon once it has
// arrived.

#include <functional>

#include <QIcon>
#include <QString>

namespace linkicons {

// The icon is drawn 16 x 16 (logical pixels) and the text starts this far
// right of the label's left edge.
constexpr int kIconSize = 16;
constexpr int kIconGap = 4;
constexpr int kTextIndent = kIconSize + kIconGap;

// Until the main window allows it, IconFor answers with no icon and looks
// nothing up; the label keeps its room for the icon all the same.
bool LoadingAllowed();
void AllowLoading(bool allowed = true);

// The icon for a link of type (the category types: applications, websites,
// directories, files, games) and target: a desktop entry's own icon, a theme
// icon named after a program, the icon of a file's MIME type, a folder or a
// web icon. Null for a type that launches nothing, before loading is
// allowed, and until the lookup it starts has arrived. Each (type, target)
// is looked up once per run.
QIcon IconFor(int type, const QString &target);

// Called on the GUI thread whenever looked-up icons have arrived (a few at a
// time), so that the labels showing them are drawn again.
void OnArrival(std::function<void()> arrived);

// Lookups started and not arrived yet.
int Pending();
// The picture file an arrived icon was read from, empty when it has none
// (tests: which theme icon a link got).
QString SourceOf(int type, const QString &target);

// The theme lookups use: the desktop's, or an installed complete one when the
// platform names none or only the bare "hicolor", for these icons alone.
// Chosen at the first lookup.
QString ThemeInUse();

// Cache figures, for tests: lookups answered from the cache, and made afresh.
struct CacheStats {
    int hits = 0;
    int misses = 0;
};
CacheStats Stats();
// Forgets every icon and figure (tests only; the program keeps them for the run).
void ClearCache();

} // namespace linkicons
