// Desktop entries through GIO, which knows the rules of the format: the
// localised keys, TryExec, and which entries the current desktop shows. GIO
// only ever parses bytes read here: its own loaders open a file with a
// blocking open(), which waits for good on a FIFO.

// GIO first: its headers use the word Qt defines as a keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "DesktopAppInfo.h"
#include "DesktopEntries.h"

#include <algorithm>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include "LocalFiles.h"

namespace platform {

namespace {

// Real entries are a few kilobytes; those of big applications with many
// translations reach a few hundred.
constexpr qint64 kEntryLimit = 4 << 20;

DesktopEntry FromAppInfo(GDesktopAppInfo *info, const QString &file)
{
    DesktopEntry e;
    e.file = QFileInfo(file).absoluteFilePath();
    if (const char *name = g_app_info_get_display_name(G_APP_INFO(info)))
        e.name = QString::fromUtf8(name);
    if (GIcon *icon = g_app_info_get_icon(G_APP_INFO(info))) {
        if (gchar *text = g_icon_to_string(icon)) {
            e.icon = QString::fromUtf8(text);
            g_free(text);
        }
    }
    if (const char *categories = g_desktop_app_info_get_categories(info))
        e.categories = QString::fromUtf8(categories).split(u';', Qt::SkipEmptyParts);
    return e;
}

bool Inside(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

} // namespace

GDesktopAppInfo *LoadDesktopAppInfo(const QString &path)
{
    const std::optional<QByteArray> bytes = ReadDesktopEntryBytes(path);
    if (!bytes)
        return nullptr;
    GKeyFile *keys = g_key_file_new();
    GDesktopAppInfo *info = nullptr;
    if (g_key_file_load_from_data(keys, bytes->constData(), static_cast<gsize>(bytes->size()),
                                  G_KEY_FILE_KEEP_TRANSLATIONS, nullptr))
        info = g_desktop_app_info_new_from_keyfile(keys);
    g_key_file_free(keys);
    return info;
}

bool IsDesktopEntryPath(const QString &path)
{
    return path.endsWith(QLatin1String(".desktop"));
}

std::optional<QByteArray> ReadDesktopEntryBytes(const QString &path, QString *why)
{
    return ReadRegularFile(path, kEntryLimit, why);
}

std::optional<DesktopEntry> ReadDesktopEntry(const QString &path)
{
    if (!IsDesktopEntryPath(path))
        return std::nullopt;
    GDesktopAppInfo *info = LoadDesktopAppInfo(path);
    if (!info)
        return std::nullopt;
    DesktopEntry e = FromAppInfo(info, path);
    g_object_unref(info);
    return e;
}

QStringList ApplicationFolders()
{
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

bool IsTrustedDesktopEntry(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const QString &folder : ApplicationFolders()) {
        if (Inside(absolute, QDir::cleanPath(folder)))
            return true;
        if (!canonical.isEmpty() && Inside(canonical, QFileInfo(folder).canonicalFilePath()))
            return true;
    }
    return IsExecutableFile(path);
}

std::vector<DesktopEntry> InstalledApplications()
{
    // As the desktop's menu reads them: the first entry of each id counts
    // (the user's own before the system's, even a hidden one), and ids name
    // entries in subfolders with a dash for each slash.
    std::vector<DesktopEntry> entries;
    QSet<QString> seen;
    for (const QString &folder : ApplicationFolders()) {
        const QDir base(folder);
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QString id = base.relativeFilePath(file);
            id.replace(u'/', u'-');
            if (seen.contains(id))
                continue;
            seen.insert(id);
            GDesktopAppInfo *info = LoadDesktopAppInfo(file);
            if (!info)
                continue;
            if (!g_desktop_app_info_get_is_hidden(info) && g_app_info_should_show(G_APP_INFO(info)))
                entries.push_back(FromAppInfo(info, file));
            g_object_unref(info);
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const DesktopEntry &a, const DesktopEntry &b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

} // namespace platform
