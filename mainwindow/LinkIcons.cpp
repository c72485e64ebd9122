#include "LinkIcons.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QPixmap>
#include <QStandardPaths>
#include <QStringList>
#include <QThreadPool>

#include "DesktopEntries.h"
#include "IconThemes.h"
#include "Kvguiglobals.h"

namespace linkicons {

namespace {

// What a lookup found: the pictures for 16 and 32 pixels (one when a
// single file serves both) and the file the first came from.
struct Found {
    QImage small, large;
    QString source;
};

// What the lookup thread needs of the GUI thread's icon settings.
struct ThemeSettings {
    QStringList searchPaths;
    QString theme, fallback;
};

struct Entry {
    QIcon icon;
    QString source;
};

QString KeyOf(int type, const QString &target)
{
    // Websites, directories and unknown types look the same whatever their
    // target: one entry each.
    const bool byTarget = type == ctApplications || type == ctGames || type == ctFiles;
    return QString::number(type) + QLatin1Char('\n') + (byTarget ? target : QString());
}

bool g_loadingAllowed = false;
bool g_themeChosen = false;
ThemeSettings g_settings;
QHash<QString, Entry> g_cache;
CacheStats g_stats;
int g_pending = 0;
// Lookups started before the last ClearCache bring nothing back.
int g_generation = 0;
std::function<void()> g_arrived;

// Complete themes, in the order they are preferred, for a platform that
// names no theme of its own: hicolor alone holds application icons only.
const char *const kCompleteThemes[] = {"Tango", "Adwaita"};

// Folders on disk where icon themes live: the toolkit's, and the XDG data
// folders' that a platform without a desktop theme of its own may not name.
QStringList ThemeFolders()
{
    QStringList folders;
    for (const QString &folder : QIcon::themeSearchPaths())
        if (!folder.startsWith(QLatin1Char(':')))
            folders << folder;
    for (const QString &folder : QStandardPaths::locateAll(
             QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory))
        if (!folders.contains(folder))
            folders << folder;
    return folders;
}

bool ThemeInstalled(const QStringList &folders, const QString &name)
{
    for (const QString &folder : folders)
        if (QFileInfo(folder + QLatin1Char('/') + name + QStringLiteral("/index.theme")).isFile())
            return true;
    return false;
}

// The desktop's theme, or an installed complete one when the platform names
// none or only the bare "hicolor". The toolkit's own settings stay as they
// are: its dialogs keep the icons they have on this desktop.
void ChooseTheme()
{
    if (g_themeChosen)
        return;
    g_themeChosen = true;
    g_settings = {ThemeFolders(), QIcon::themeName(), QIcon::fallbackThemeName()};
    for (const char *candidate : kCompleteThemes) {
        const QString complete = QString::fromLatin1(candidate);
        if (!ThemeInstalled(g_settings.searchPaths, complete))
            continue;
        if (g_settings.theme.isEmpty() || g_settings.theme == QLatin1String("hicolor"))
            g_settings.theme = complete;
        // A theme that inherits from nothing falls back here rather than
        // on hicolor alone.
        if (g_settings.fallback.isEmpty() || g_settings.fallback == QLatin1String("hicolor"))
            g_settings.fallback = complete;
        break;
    }
}

// --- on the lookup thread ----------------------------------------------------

// The pictures of the first of names a theme has.
Found ThemePictures(platform::IconThemeFiles &themes, const QStringList &names)
{
    Found found;
    found.source = themes.Find(names, kIconSize);
    if (found.source.isEmpty())
        return found;
    found.small = platform::ReadImageFile(found.source);
    // The same name drawn for a screen scaled twice.
    const QString name = QFileInfo(found.source).completeBaseName();
    if (const QString large = themes.Find({name}, 2 * kIconSize); !large.isEmpty() && large != found.source)
        found.large = platform::ReadImageFile(large);
    if (found.small.isNull())
        found = {};
    return found;
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

Found ProgramPictures(platform::IconThemeFiles &themes, const QString &target, bool game)
{
    // An entry the user has not trusted does not lend its icon to the link:
    // a file in the downloads could look like a document that way.
    if (platform::IsDesktopEntryPath(target) && platform::IsTrustedDesktopEntry(target)) {
        if (const std::optional<platform::DesktopEntry> entry = platform::ReadDesktopEntry(target)) {
            const QString icon = entry->icon;
            if (QDir::isAbsolutePath(icon)) {
                if (QImage picture = platform::ReadImageFile(icon); !picture.isNull())
                    return {picture, {}, icon};
            } else if (!icon.isEmpty()) {
                // An old-style entry names its icon with the file's extension.
                QString bare = icon;
                for (const char *ext : {".png", ".svg", ".xpm"})
                    if (bare.endsWith(QLatin1String(ext), Qt::CaseInsensitive))
                        bare.chop(4);
                if (Found themed = ThemePictures(themes, {icon, bare}); !themed.small.isNull())
                    return themed;
            }
        }
    }
    if (Found named = ThemePictures(themes, ProgramNames(target)); !named.small.isNull())
        return named;
    QStringList generic;
    if (game)
        generic << QStringLiteral("applications-games");
    generic << QStringLiteral("application-x-executable") << QStringLiteral("applications-other")
            << QStringLiteral("system-run");
    return ThemePictures(themes, generic);
}

Found FilePictures(platform::IconThemeFiles &themes, const QString &target)
{
    // By the name alone: reading the file's first bytes could wait on a
    // slow or lost network share, or on a FIFO.
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(target, QMimeDatabase::MatchExtension);
    return ThemePictures(themes, {type.iconName(), type.genericIconName(), QStringLiteral("text-x-generic"),
                                  QStringLiteral("unknown")});
}

Found LookUp(platform::IconThemeFiles &themes, int type, const QString &target)
{
    switch (type) {
    case ctApplications:
        return ProgramPictures(themes, target, false);
    case ctGames:
        return ProgramPictures(themes, target, true);
    case ctWebsites:
        return ThemePictures(themes, {QStringLiteral("internet-web-browser"),
                                      QStringLiteral("applications-internet"), QStringLiteral("text-html")});
    case ctDirectories:
        return ThemePictures(themes, {QStringLiteral("folder"), QStringLiteral("inode-directory"),
                                      QStringLiteral("gnome-fs-directory")});
    case ctFiles:
        return FilePictures(themes, target);
    default: // launches nothing
        return {};
    }
}

// Lookups not started yet are dropped when the application goes, and the
// one under way is given a moment to end: it reads only regular files, so
// it ends soon, but a share that stopped answering must not hold the exit.
void StopLookups();

// One thread makes every lookup, in the order they were asked for, and
// keeps what it learnt of the themes; it ends when it has nothing to do,
// so that the program sleeps at rest. Never destroyed, so that a lookup
// left running at the very end finds it still there.
QThreadPool &LookupThread()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(1);
        p->setExpiryTimeout(1000);
        qAddPostRoutine(StopLookups);
        return p;
    }();
    return *pool;
}

void StopLookups()
{
    LookupThread().clear();
    LookupThread().waitForDone(2000);
}

std::unique_ptr<platform::IconThemeFiles> g_themes; // the lookup thread's own
std::mutex g_themesMutex;

// --- back on the GUI thread --------------------------------------------------

void Arrive(int generation, const QString &key, const Found &found)
{
    if (generation != g_generation)
        return;
    --g_pending;
    Entry &entry = g_cache[key];
    entry.source = found.source;
    if (!found.small.isNull()) {
        QIcon icon;
        icon.addPixmap(QPixmap::fromImage(found.small));
        if (!found.large.isNull())
            icon.addPixmap(QPixmap::fromImage(found.large));
        entry.icon = icon;
        // Labels are drawn again once for a burst of arrivals.
        static bool scheduled = false;
        if (g_arrived && !scheduled) {
            scheduled = true;
            QMetaObject::invokeMethod(
                qApp,
                [] {
                    scheduled = false;
                    if (g_arrived)
                        g_arrived();
                },
                Qt::QueuedConnection);
        }
    }
}

void Start(const QString &key, int type, const QString &target)
{
    ++g_pending;
    const ThemeSettings settings = g_settings;
    const int generation = g_generation;
    LookupThread().start([=] {
        Found found;
        {
            std::lock_guard<std::mutex> lock(g_themesMutex);
            if (!g_themes)
                g_themes = std::make_unique<platform::IconThemeFiles>(settings.searchPaths, settings.theme,
                                                                      settings.fallback);
            found = LookUp(*g_themes, type, target);
        }
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [=] { Arrive(generation, key, found); }, Qt::QueuedConnection);
    });
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
    const QString key = KeyOf(type, target);
    if (const auto found = g_cache.constFind(key); found != g_cache.constEnd()) {
        ++g_stats.hits;
        return found->icon;
    }
    ++g_stats.misses;
    g_cache.insert(key, {});
    if (type < ctApplications || type > ctGames)
        return {};
    ChooseTheme();
    Start(key, type, target);
    return {};
}

void OnArrival(std::function<void()> arrived)
{
    g_arrived = std::move(arrived);
}

int Pending()
{
    return g_pending;
}

QString SourceOf(int type, const QString &target)
{
    return g_cache.value(KeyOf(type, target)).source;
}

QString ThemeInUse()
{
    ChooseTheme();
    return g_settings.theme;
}

CacheStats Stats()
{
    return g_stats;
}

void ClearCache()
{
    g_cache.clear();
    g_stats = {};
    g_pending = 0;
    ++g_generation;
    // A theme changed by a test is read afresh.
    std::lock_guard<std::mutex> lock(g_themesMutex);
    g_themes.reset();
    g_themeChosen = false;
}

} // namespace linkicons
