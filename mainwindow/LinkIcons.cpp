#include "LinkIcons.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QStringList>

#include "DesktopEntries.h"
#include "Kvguiglobals.h"

namespace linkicons {

namespace {

bool g_loadingAllowed = false;
bool g_themeChosen = false;
QHash<QString, QIcon> g_cache;
CacheStats g_stats;

// Complete themes, in the order they are preferred, for a platform that
// names no theme of its own: hicolor alone holds application icons only.
const char *const kCompleteThemes[] = {"Tango", "Adwaita"};

// Folders on disk where icon themes live.
QStringList ThemeFolders()
{
    QStringList folders;
    for (const QString &folder : QIcon::themeSearchPaths())
        if (!folder.startsWith(QLatin1Char(':')))
            folders << folder;
    return folders;
}

bool ThemeInstalled(const QString &name)
{
    for (const QString &folder : ThemeFolders())
        if (QFileInfo::exists(folder + QLatin1Char('/') + name + QStringLiteral("/index.theme")))
            return true;
    return false;
}

void ChooseTheme()
{
    if (g_themeChosen)
        return;
    g_themeChosen = true;
    // A platform without a desktop theme of its own may not name the XDG
    // icon folders either.
    QStringList paths = QIcon::themeSearchPaths();
    const int known = paths.size();
    for (const QString &folder : QStandardPaths::locateAll(
             QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory))
        if (!paths.contains(folder))
            paths << folder;
    if (paths.size() != known)
        QIcon::setThemeSearchPaths(paths);
    const QString named = QIcon::themeName();
    for (const char *candidate : kCompleteThemes) {
        const QString complete = QString::fromLatin1(candidate);
        if (!ThemeInstalled(complete))
            continue;
        if (named.isEmpty() || named == QLatin1String("hicolor"))
            QIcon::setThemeName(complete);
        // A theme that inherits from nothing falls back here rather than
        // on hicolor alone.
        const QString fallback = QIcon::fallbackThemeName();
        if (fallback.isEmpty() || fallback == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(complete);
        break;
    }
}

// Applications install their icons into hicolor, which every theme is meant
// to inherit from; a theme whose parents are not installed does not reach
// it, so it is searched here, in the folders of application icons of the
// sizes a 16-pixel icon is drawn from on any screen: a few file tests a name.
QIcon HicolorIcon(const QString &name)
{
    static const int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
    QIcon icon;
    for (const QString &folder : ThemeFolders())
        for (int pixels : kSizes)
            for (const char *ext : {".png", ".xpm"}) {
                const QString file = QStringLiteral("%1/hicolor/%2x%2/apps/%3%4")
                                         .arg(folder)
                                         .arg(pixels)
                                         .arg(name, QLatin1String(ext));
                if (QFileInfo(file).isFile())
                    icon.addFile(file, QSize(pixels, pixels));
            }
    return icon;
}

// The first of names the theme has, or a null icon. Names only hicolor has
// are looked up there when the theme does not inherit from it.
QIcon FirstThemeIcon(const QStringList &names)
{
    for (const QString &name : names)
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    for (const QString &name : names)
        if (!name.isEmpty())
            if (QIcon icon = HicolorIcon(name); !icon.isNull())
                return icon;
    return {};
}

// An icon file named by its path, when it can be read.
QIcon IconFile(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {};
    QIcon icon(path);
    return icon.isNull() ? QIcon() : icon;
}

// Theme names a program may have its icon under: its file name as it is
// and in lower case, with and without its extensions.
QStringList ProgramNames(const QString &target)
{
    QString name = target;
    name = name.mid(std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\'))) + 1);
    const QFileInfo info(name);
    QStringList names;
    for (const QString &n : {name, info.completeBaseName(), info.baseName()})
        for (const QString &spelling : {n, n.toLower()})
            if (!spelling.isEmpty() && !names.contains(spelling))
                names << spelling;
    return names;
}

QIcon ProgramIcon(const QString &target, bool game)
{
    if (platform::IsDesktopEntryPath(target)) {
        if (const std::optional<platform::DesktopEntry> entry = platform::ReadDesktopEntry(target)) {
            const QString icon = entry->icon;
            if (QDir::isAbsolutePath(icon)) {
                if (QIcon file = IconFile(icon); !file.isNull())
                    return file;
            } else if (!icon.isEmpty()) {
                // An old-style entry names its icon with the file's extension.
                QString bare = icon;
                for (const char *ext : {".png", ".svg", ".xpm"})
                    if (bare.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
                        bare.chop(4);
                if (QIcon themed = FirstThemeIcon({icon, bare}); !themed.isNull())
                    return themed;
            }
        }
    }
    if (QIcon named = FirstThemeIcon(ProgramNames(target)); !named.isNull())
        return named;
    QStringList generic;
    if (game)
        generic << QStringLiteral("applications-games");
    generic << QStringLiteral("application-x-executable") << QStringLiteral("applications-other")
            << QStringLiteral("system-run");
    return FirstThemeIcon(generic);
}

QIcon FileIcon(const QString &target)
{
    // By the name alone: reading the file's first bytes could wait on a
    // slow or lost network share.
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(target, QMimeDatabase::MatchExtension);
    return FirstThemeIcon({type.iconName(), type.genericIconName(), QStringLiteral("text-x-generic"),
                           QStringLiteral("unknown")});
}

QIcon LookUp(int type, const QString &target)
{
    switch (type) {
    case ctApplications:
        return ProgramIcon(target, false);
    case ctGames:
        return ProgramIcon(target, true);
    case ctWebsites:
        return FirstThemeIcon({QStringLiteral("internet-web-browser"),
                               QStringLiteral("applications-internet"), QStringLiteral("text-html")});
    case ctDirectories:
        return FirstThemeIcon({QStringLiteral("folder"), QStringLiteral("inode-directory"),
                               QStringLiteral("gnome-fs-directory")});
    case ctFiles:
        return FileIcon(target);
    default: // launches nothing
        return {};
    }
}

} // namespace

bool LoadingAllowed()
{
    return g_loadingAllowed;
}

void AllowLoading(bool allowed)
{
    g_loadingAllowed = allowed;
}

QIcon IconFor(int type, const QString &target)
{
    if (!g_loadingAllowed)
        return {};
    // Websites, directories and unknown types look the same whatever their
    // target: one entry each.
    const bool byTarget = type == ctApplications || type == ctGames || type == ctFiles;
    const QString key = QString::number(type) + QLatin1Char('\n') + (byTarget ? target : QString());
    if (const auto found = g_cache.constFind(key); found != g_cache.constEnd()) {
        ++g_stats.hits;
        return *found;
    }
    ++g_stats.misses;
    ChooseTheme();
    const QIcon icon = LookUp(type, target);
    g_cache.insert(key, icon);
    return icon;
}

QString ThemeInUse()
{
    ChooseTheme();
    return QIcon::themeName();
}

CacheStats Stats()
{
    return g_stats;
}

void ClearCache()
{
    g_cache.clear();
    g_stats = {};
}

} // namespace linkicons
