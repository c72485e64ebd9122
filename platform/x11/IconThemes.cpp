#include "IconThemes.h"

#include <glib.h>

#include <climits>
#include <cstdlib>

#include <QDir>
#include <QFileInfo>

#include "LocalFiles.h"

namespace platform {

namespace {

// Index files are a few kilobytes, big themes' some tens; icons of the
// sizes looked for here a few.
constexpr qint64 kIndexLimit = 1 << 20;
constexpr qint64 kImageLimit = 8 << 20;

const char *const kExtensions[] = {".png", ".xpm"};

int IntOf(GKeyFile *keys, const QByteArray &group, const char *key, int otherwise)
{
    GError *error = nullptr;
    const gint value = g_key_file_get_integer(keys, group.constData(), key, &error);
    if (error) {
        g_error_free(error);
        return otherwise;
    }
    return value;
}

QStringList ListOf(GKeyFile *keys, const char *group, const char *key)
{
    gchar *value = g_key_file_get_string(keys, group, key, nullptr);
    const QStringList list = value ? QString::fromUtf8(value).split(u',', Qt::SkipEmptyParts) : QStringList();
    g_free(value);
    QStringList trimmed;
    for (const QString &item : list)
        if (!item.trimmed().isEmpty())
            trimmed << item.trimmed();
    return trimmed;
}

} // namespace

IconThemeFiles::IconThemeFiles(QStringList searchPaths, QString theme, QString fallback)
    : m_searchPaths(std::move(searchPaths))
{
    // Each theme before its parents, depth first, each once; a loop of
    // parents ends where it meets a theme already in the chain.
    std::vector<QString> pending;
    for (const QString &start : {theme, fallback, QStringLiteral("hicolor")}) {
        if (start.isEmpty())
            continue;
        pending.push_back(start);
        while (!pending.empty()) {
            const QString name = pending.back();
            pending.pop_back();
            if (m_chain.contains(name) || name == QLatin1String("hicolor"))
                continue;
            m_chain << name;
            if (const Theme *t = Load(name))
                for (auto it = t->parents.crbegin(); it != t->parents.crend(); ++it)
                    pending.push_back(*it);
        }
    }
    m_chain << QStringLiteral("hicolor");
}

IconThemeFiles::~IconThemeFiles() = default;

const IconThemeFiles::Theme *IconThemeFiles::Load(const QString &name)
{
    if (const auto found = m_themes.find(name); found != m_themes.end())
        return found->second ? &*found->second : nullptr;
    std::optional<Theme> theme;
    for (const QString &folder : m_searchPaths) {
        const std::optional<QByteArray> bytes =
            ReadRegularFile(folder + u'/' + name + QStringLiteral("/index.theme"), kIndexLimit);
        if (!bytes)
            continue;
        GKeyFile *keys = g_key_file_new();
        if (g_key_file_load_from_data(keys, bytes->constData(), static_cast<gsize>(bytes->size()), G_KEY_FILE_NONE,
                                      nullptr)) {
            theme.emplace();
            theme->parents = ListOf(keys, "Icon Theme", "Inherits");
            for (const QString &dir : ListOf(keys, "Icon Theme", "Directories")) {
                const QByteArray group = dir.toUtf8();
                if (!g_key_file_has_group(keys, group.constData()) || IntOf(keys, group, "Scale", 1) != 1)
                    continue;
                Directory d;
                d.name = dir;
                d.size = IntOf(keys, group, "Size", 0);
                d.minSize = IntOf(keys, group, "MinSize", d.size);
                d.maxSize = IntOf(keys, group, "MaxSize", d.size);
                d.threshold = IntOf(keys, group, "Threshold", 2);
                gchar *type = g_key_file_get_string(keys, group.constData(), "Type", nullptr);
                const QByteArray t(type ? type : "Threshold");
                g_free(type);
                d.type = t == "Fixed" ? Directory::Fixed : t == "Scalable" ? Directory::Scalable : Directory::Threshold;
                if (d.size > 0)
                    theme->directories.push_back(d);
            }
        }
        g_key_file_free(keys);
        if (theme)
            break;
    }
    const auto stored = m_themes.emplace(name, std::move(theme)).first;
    return stored->second ? &*stored->second : nullptr;
}

const std::set<QString> &IconThemeFiles::Listing(const QString &folder)
{
    if (const auto found = m_listings.find(folder); found != m_listings.end())
        return found->second;
    std::set<QString> names;
    for (const QString &file : QDir(folder).entryList(QDir::Files))
        names.insert(file);
    return m_listings.emplace(folder, std::move(names)).first->second;
}

QString IconThemeFiles::InTheme(const QString &themeName, const QString &name, int size)
{
    const Theme *theme = Load(themeName);
    if (!theme)
        return {};
    // A folder made for the size wins; otherwise the one nearest to it.
    QString nearest;
    int nearestDistance = INT_MAX;
    for (const Directory &d : theme->directories) {
        int distance = 0;
        switch (d.type) {
        case Directory::Fixed:
            distance = std::abs(d.size - size);
            break;
        case Directory::Scalable:
            distance = size < d.minSize ? d.minSize - size : size > d.maxSize ? size - d.maxSize : 0;
            break;
        case Directory::Threshold:
            distance = size < d.size - d.threshold   ? d.size - size
                       : size > d.size + d.threshold ? size - d.size
                                                     : 0;
            break;
        }
        if (distance >= nearestDistance)
            continue;
        for (const QString &base : m_searchPaths) {
            const QString folder = base + u'/' + themeName + u'/' + d.name;
            const std::set<QString> &files = Listing(folder);
            for (const char *ext : kExtensions)
                if (files.count(name + QLatin1String(ext))) {
                    nearest = folder + u'/' + name + QLatin1String(ext);
                    nearestDistance = distance;
                    break;
                }
            if (nearestDistance == distance)
                break;
        }
        if (nearestDistance == 0)
            break;
    }
    return nearest;
}

QString IconThemeFiles::Find(const QStringList &names, int size)
{
    for (const QString &name : names) {
        if (name.isEmpty() || name.contains(u'/'))
            continue;
        for (const QString &theme : m_chain)
            if (QString file = InTheme(theme, name, size); !file.isEmpty())
                return file;
    }
    for (const QString &name : names) {
        if (name.isEmpty() || name.contains(u'/'))
            continue;
        for (const QString &base : m_searchPaths) {
            const QString folder = QFileInfo(base).dir().filePath(QStringLiteral("pixmaps"));
            for (const char *ext : kExtensions)
                if (Listing(folder).count(name + QLatin1String(ext)))
                    return folder + u'/' + name + QLatin1String(ext);
        }
    }
    return {};
}

QImage ReadImageFile(const QString &path)
{
    const std::optional<QByteArray> bytes = ReadRegularFile(path, kImageLimit);
    if (!bytes)
        return {};
    QImage image;
    image.loadFromData(*bytes);
    return image;
}

} // namespace platform
