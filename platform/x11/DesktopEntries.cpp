// Desktop entries through GIO, which knows the rules of the format: the
// localised keys, TryExec, and which entries the current desktop shows.

// GIO first: its headers use the word Qt defines as a keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "DesktopEntries.h"

#include <algorithm>

#include <QFileInfo>

namespace platform {

namespace {

DesktopEntry FromAppInfo(GDesktopAppInfo *info)
{
    DesktopEntry e;
    if (const char *file = g_desktop_app_info_get_filename(info))
        e.file = QFileInfo(QString::fromUtf8(file)).absoluteFilePath();
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

} // namespace

bool IsDesktopEntryPath(const QString &path)
{
    return path.endsWith(QLatin1String(".desktop"));
}

std::optional<DesktopEntry> ReadDesktopEntry(const QString &path)
{
    if (!IsDesktopEntryPath(path))
        return std::nullopt;
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(path).constData());
    if (!info)
        return std::nullopt;
    DesktopEntry e = FromAppInfo(info);
    g_object_unref(info);
    return e;
}

std::vector<DesktopEntry> InstalledApplications()
{
    std::vector<DesktopEntry> entries;
    GList *all = g_app_info_get_all();
    for (GList *it = all; it; it = it->next) {
        GAppInfo *app = G_APP_INFO(it->data);
        if (G_IS_DESKTOP_APP_INFO(app) && g_app_info_should_show(app))
            entries.push_back(FromAppInfo(G_DESKTOP_APP_INFO(app)));
    }
    g_list_free_full(all, g_object_unref);
    std::stable_sort(entries.begin(), entries.end(), [](const DesktopEntry &a, const DesktopEntry &b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

} // namespace platform
