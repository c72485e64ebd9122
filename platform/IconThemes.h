#pragma once

// Icon files of the desktop's icon themes, found by the freedesktop rules and
// read without ever waiting on a file: an index or an icon that is a FIFO or
// a device is passed over. Meant for a worker thread: one object answers the
// lookups of one thread, and remembers the themes and folders it has read.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include <QImage>
#include <QString>
#include <QStringList>

namespace platform {

class IconThemeFiles {
  public:
    // searchPaths: the folders themes live in, in the order they count;
    // theme: the one in use; fallback: a theme searched after it and its
    // parents (empty for none). hicolor always comes last.
    IconThemeFiles(QStringList searchPaths, QString theme, QString fallback);
    ~IconThemeFiles();

    // The file of the first of names that a theme of the chain has, the one
    // drawn best at size pixels; PNG and XPM files only. Names no theme has
    // are looked for in the unthemed folders (".../pixmaps"). Empty when none.
    QString Find(const QStringList &names, int size);

  private:
    struct Directory {
        QString name;
        int size = 0, minSize = 0, maxSize = 0, threshold = 2;
        enum { Fixed, Scalable, Threshold } type = Threshold;
    };
    struct Theme {
        QStringList parents;
        std::vector<Directory> directories;
    };
    const Theme *Load(const QString &name);
    const std::set<QString> &Listing(const QString &folder);
    QString InTheme(const QString &theme, const QString &name, int size);

    QStringList m_searchPaths;
    QStringList m_chain; // the themes in the order they are searched
    std::map<QString, std::optional<Theme>> m_themes;
    std::map<QString, std::set<QString>> m_listings;
};

// The picture in the regular file at path, or a null image when it is not one
// (a FIFO, a device, a missing or oversized file, or no picture).
QImage ReadImageFile(const QString &path);

} // namespace platform
