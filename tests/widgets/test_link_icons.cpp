// Icons before link labels: with the preference off nothing about the labels
// changes; with it on each kind of link shows its icon, the text moves right,
// lookups are made once, and the icons are drawn at the screen's resolution.

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <fstream>
#include <sys/stat.h>
#include <vector>

#include "CategoryPanels.h"
#include "LinkIcons.h"
#include "WindowFixture.h"

namespace {

struct LinkIcons : WindowFixture {
    void SetUp() override
    {
        WindowFixture::SetUp();
        linkicons::ClearCache();
        linkicons::AllowLoading(false);
    }
    void TearDown() override
    {
        linkicons::ClearCache();
        linkicons::AllowLoading(false);
        WindowFixture::TearDown();
    }

    static void Link(KVUIOperationClass &m, int c, int l, const std::string &name, const std::string &path,
                     int type)
    {
        LinkRecord &link = m.categories[c].links[l];
        SetField(link.name, name);
        SetField(link.path, path);
        link.type = type;
        link.used = 1;
    }

    // Until every lookup started has arrived; false when one never did.
    static bool WaitForIcons()
    {
        QElapsedTimer waited;
        waited.start();
        while (linkicons::Pending() > 0 && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return linkicons::Pending() == 0;
    }

    // A 16 x 16 picture of one colour, for a desktop entry to name.
    static std::string MakePicture(const std::string &file, QColor colour)
    {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(colour);
        const std::string path = (std::filesystem::current_path() / file).string();
        EXPECT_TRUE(image.save(QString::fromStdString(path)));
        return path;
    }

    static std::string MakeEntry(const std::string &file, const std::string &icon)
    {
        const std::string path = (std::filesystem::current_path() / file).string();
        std::ofstream(path) << "[Desktop Entry]\nType=Application\nName=" << file
                            << "\nExec=/bin/true\nIcon=" << icon << "\n";
        // Made executable, as the user trusts an entry from outside the
        // applications folders; an untrusted one lends no icon.
        std::filesystem::permissions(path, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
        return path;
    }

    // One category of several types with one link of each kind, and a
    // second, plain one.
    static void EveryKind(KVUIOperationClass &m)
    {
        m.ClearCategory(0);
        SetField(m.categories[0].name, "every kind");
        m.categories[0].type = ctMultiple;
        m.categories[0].expanded = true;
        int l = 0;
        Link(m, 0, l++, "entry", MakeEntry("tool.desktop", MakePicture("tool.png", QColor(255, 0, 255))),
             ctApplications);
        Link(m, 0, l++, "program", "/opt/tools/utilities-terminal", ctApplications);
        Link(m, 0, l++, "site", "https://example.org/", ctWebsites);
        Link(m, 0, l++, "folder", "/tmp", ctDirectories);
        Link(m, 0, l++, "file", "/tmp/notes.txt", ctFiles);
        Link(m, 0, l++, "game", "/usr/games/no-such-game", ctGames);
        AddCategory(m, 1, "plain", 2, ctFiles);
        m.categories[1].expanded = true;
    }

    struct Shape {
        QRect label;
        int panelHeight;
        bool operator==(const Shape &o) const { return label == o.label && panelHeight == o.panelHeight; }
    };

    static std::vector<Shape> Shapes(TKVGUIForm &form)
    {
        std::vector<Shape> shapes;
        for (TKVPanel *panel : form.CategoryArea->panels)
            if (panel)
                for (TKVLabel *label : panel->linkLabels)
                    if (label)
                        shapes.push_back({label->geometry(), panel->height()});
        return shapes;
    }

    // The window drawn once, as on the screen: its parts take their final
    // sizes on the way.
    static void Settle(TKVGUIForm &form)
    {
        QImage image(form.size(), QImage::Format_ARGB32_Premultiplied);
        form.render(&image);
    }

    // The panel as the screen shows it, at a device pixel ratio.
    static QImage Picture(TKVPanel *panel, qreal dpr = 1)
    {
        QImage image(panel->size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::black);
        panel->render(&image);
        return image;
    }

    // Pixels of the icon's place of a label that are not the panel's background.
    static int MarkedPixels(const QImage &picture, const TKVLabel *label, QRgb background)
    {
        const QRect at(label->x(), label->y() + (label->height() - 16) / 2, 16, 16);
        int marked = 0;
        for (int y = at.top(); y <= at.bottom(); ++y)
            for (int x = at.left(); x <= at.right(); ++x)
                marked += picture.pixel(x, y) != background;
        return marked;
    }
};

TEST_F(LinkIcons, OffLeavesEveryLabelAsItWas)
{
    const char *const inis[] = {nullptr, "[Preferences]\nLinkIcons=0\n", "[Preferences]\nLinkIcons=yes\n",
                                "[Debug]\nLinkIcons=1\n"};
    std::vector<Shape> first;
    QImage firstPicture;
    for (const char *ini : inis) {
        std::filesystem::remove("Kestrava.ini");
        if (ini)
            std::ofstream("Kestrava.ini") << ini;
        WriteConfig(EveryKind);
        TKVGUIForm form;
        linkicons::AllowLoading(); // as after the first frame
        TKVPanel *panel = form.CategoryArea->panels[0];
        int y = 22;
        for (int k = 0; k < panel->linkCount; ++k) {
            const TKVLabel *label = panel->linkLabels[k];
            const QFontMetrics metrics(label->font());
            // The label as the text alone sizes it.
            EXPECT_EQ(label->geometry(),
                      QRect(10, y, metrics.horizontalAdvance(label->text()), metrics.height()))
                << (ini ? ini : "no ini") << " link " << k;
            EXPECT_FALSE(label->hasIconSlot());
            y += metrics.height() + 2;
        }
        EXPECT_EQ(panel->height(), y);
        Settle(form);
        const std::vector<Shape> shapes = Shapes(form);
        const QImage picture = Picture(panel);
        if (first.empty()) {
            first = shapes;
            firstPicture = picture;
        } else {
            EXPECT_TRUE(shapes == first) << (ini ? ini : "no ini");
            EXPECT_TRUE(picture == firstPicture) << (ini ? ini : "no ini");
        }
        EXPECT_EQ(linkicons::Stats().misses, 0) << "nothing is looked up";
    }
}

TEST_F(LinkIcons, OnEveryKindOfLinkShowsItsIconBeforeTheText)
{
    std::ofstream("Kestrava.ini") << "[Preferences]\nLinkIcons=1\n";
    WriteConfig(EveryKind);
    TKVGUIForm form;
    ASSERT_TRUE(KVOP->linkIcons);
    TKVPanel *panel = form.CategoryArea->panels[0];
    Settle(form);
    const QRgb background = Picture(panel).pixel(panel->width() / 2, panel->height() - 1);

    // Before the first frame the room is there but nothing is looked up.
    const QImage early = Picture(panel);
    for (int k = 0; k < panel->linkCount; ++k)
        EXPECT_EQ(MarkedPixels(early, panel->linkLabels[k], background), 0) << k;
    EXPECT_EQ(linkicons::Stats().misses, 0);

    linkicons::AllowLoading();
    // The first drawing asks for the icons; they are drawn once they arrive.
    Picture(panel);
    ASSERT_TRUE(WaitForIcons());
    const QImage picture = Picture(panel);
    int y = 22;
    for (int k = 0; k < panel->linkCount; ++k) {
        const TKVLabel *label = panel->linkLabels[k];
        ASSERT_TRUE(label->hasIconSlot());
        const QFontMetrics metrics(label->font());
        const int h = std::max(metrics.height(), 16);
        EXPECT_EQ(label->geometry(), QRect(10, y, 20 + metrics.horizontalAdvance(label->text()), h)) << k;
        y += h + 2;
        EXPECT_GT(MarkedPixels(picture, label, background), 16) << "no icon drawn for link " << k;
    }
    // The desktop entry's own picture, not a theme's.
    const TKVLabel *entry = panel->linkLabels[0];
    EXPECT_EQ(picture.pixel(entry->x() + 8, entry->y() + entry->height() / 2), qRgb(255, 0, 255));
    // The text starts after the icon: nothing of it left of the indent.
    const TKVLabel *site = panel->linkLabels[2];
    for (int x = site->x() + 16; x < site->x() + 20; ++x)
        for (int yy = site->y(); yy < site->y() + site->height(); ++yy)
            EXPECT_EQ(picture.pixel(x, yy), background) << x << "," << yy;
}

TEST_F(LinkIcons, WhatEachKindLooksUp)
{
    linkicons::AllowLoading();
    ASSERT_FALSE(linkicons::ThemeInUse().isEmpty());
    ASSERT_NE(linkicons::ThemeInUse(), QStringLiteral("hicolor"));
    const std::string named = MakeEntry("calc.desktop", "accessories-calculator");
    const std::string oldStyle = MakeEntry("old.desktop", "accessories-text-editor.png");
    const std::string broken = MakeEntry("broken.desktop", "/no/such/picture.png");
    struct Case {
        int type;
        std::string target;
        const char *icon; // theme name; empty for a picture file
    } cases[] = {
        {ctApplications, named, "accessories-calculator"},
        {ctApplications, oldStyle, "accessories-text-editor"},
        {ctApplications, broken, "application-x-executable"},
        {ctApplications, "/opt/tools/Utilities-Terminal.sh", "utilities-terminal"},
        {ctApplications, "/opt/tools/xyzzy", "application-x-executable"},
        {ctGames, "/usr/games/xyzzy", "applications-games"},
        {ctWebsites, "https://example.org/", "internet-web-browser"},
        {ctDirectories, "/no/such/folder", "folder"},
        {ctFiles, "/tmp/notes.txt", "text-x-generic"},
        {ctFiles, "/tmp/page.html", "text-html"},
        {ctFiles, "/tmp/no-extension", "text-x-generic"},
    };
    for (const Case &tc : cases)
        EXPECT_TRUE(linkicons::IconFor(tc.type, QString::fromStdString(tc.target)).isNull()) << "not at once";
    ASSERT_TRUE(WaitForIcons());
    for (const Case &tc : cases) {
        const QString target = QString::fromStdString(tc.target);
        EXPECT_FALSE(linkicons::IconFor(tc.type, target).isNull()) << tc.target;
        EXPECT_EQ(QFileInfo(linkicons::SourceOf(tc.type, target)).completeBaseName().toStdString(), tc.icon)
            << tc.target;
    }
    EXPECT_TRUE(linkicons::IconFor(ctMultiple, "x").isNull());
    EXPECT_TRUE(linkicons::IconFor(77, "x").isNull());
}

TEST_F(LinkIcons, NothingReadCanHoldTheWindowUp)
{
    // FIFOs where a desktop entry, a theme's index and a theme's icon are
    // looked for, and an entry from the downloads posing as a document:
    // every lookup arrives, the window paints, and the posing entry shows a
    // program's icon, not the document's.
    namespace fs = std::filesystem;
    const fs::path data = dir / "data";
    fs::create_directories(data / "applications");
    const std::string trap = (data / "applications/trap.desktop").string();
    ASSERT_EQ(::mkfifo(trap.c_str(), 0700), 0);
    const fs::path icons = dir / "icons";
    fs::create_directories(icons / "Trap/16x16/apps");
    fs::create_directories(icons / "Loop");
    std::ofstream(icons / "Trap/index.theme")
        << "[Icon Theme]\nName=Trap\nInherits=Loop,Tango\nDirectories=16x16/apps\n\n[16x16/apps]\nSize=16\n";
    ASSERT_EQ(::mkfifo((icons / "Trap/16x16/apps/trap-tool.png").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((icons / "Loop/index.theme").c_str(), 0600), 0);
    const std::string pictureFifo = (dir / "picture.png").string();
    ASSERT_EQ(::mkfifo(pictureFifo.c_str(), 0600), 0);
    const std::string pictureEntry = MakeEntry("fifo-picture.desktop", pictureFifo);
    const std::string posing = (dir / "Invoice.pdf.desktop").string();
    std::ofstream(posing) << "[Desktop Entry]\nType=Application\nName=Invoice.pdf\nIcon=application-pdf\nExec=/bin/true\n";

    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const QStringList oldPaths = QIcon::themeSearchPaths();
    const QString oldTheme = QIcon::themeName();
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data.string()));
    QIcon::setThemeSearchPaths(QStringList{QString::fromStdString(icons.string())} + oldPaths);
    QIcon::setThemeName(QStringLiteral("Trap"));
    std::ofstream("Kestrava.ini") << "[Preferences]\nLinkIcons=1\n";
    WriteConfig([&](KVUIOperationClass &m) {
        AddCategory(m, 0, "traps", 0, ctApplications);
        m.categories[0].expanded = true;
        Link(m, 0, 0, "trap", trap, ctApplications);
        Link(m, 0, 1, "tool", "/opt/tools/trap-tool", ctApplications);
        Link(m, 0, 2, "picture", pictureEntry, ctApplications);
        Link(m, 0, 3, "invoice", posing, ctApplications);
    });
    {
        TKVGUIForm form;
        linkicons::AllowLoading();
        TKVPanel *panel = form.CategoryArea->panels[0];
        Picture(panel);
        EXPECT_TRUE(WaitForIcons()) << "a lookup never came back";
        Picture(panel);
        for (const std::string &target : {trap, std::string("/opt/tools/trap-tool"), pictureEntry, posing})
            EXPECT_EQ(QFileInfo(linkicons::SourceOf(ctApplications, QString::fromStdString(target))).completeBaseName(),
                      QStringLiteral("application-x-executable"))
                << target;
    }
    QIcon::setThemeName(oldTheme);
    QIcon::setThemeSearchPaths(oldPaths);
    if (oldData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData);
}

TEST_F(LinkIcons, EachLookupIsMadeOncePerRun)
{
    EXPECT_TRUE(linkicons::IconFor(ctDirectories, "/tmp").isNull()) << "not before the first frame";
    EXPECT_EQ(linkicons::Stats().misses, 0);
    linkicons::AllowLoading();
    linkicons::IconFor(ctFiles, "/tmp/a.txt");
    EXPECT_EQ(linkicons::Stats().misses, 1);
    EXPECT_EQ(linkicons::Stats().hits, 0);
    ASSERT_TRUE(WaitForIcons());
    const QIcon first = linkicons::IconFor(ctFiles, "/tmp/a.txt");
    EXPECT_EQ(linkicons::Stats().hits, 1);
    const QIcon second = linkicons::IconFor(ctFiles, "/tmp/a.txt");
    EXPECT_EQ(linkicons::Stats().misses, 1);
    EXPECT_EQ(linkicons::Stats().hits, 2);
    EXPECT_EQ(first.cacheKey(), second.cacheKey());
    // Another file is another lookup; every website shares one.
    linkicons::IconFor(ctFiles, "/tmp/b.txt");
    linkicons::IconFor(ctWebsites, "https://a.example/");
    linkicons::IconFor(ctWebsites, "https://b.example/");
    EXPECT_EQ(linkicons::Stats().misses, 3);
    EXPECT_EQ(linkicons::Stats().hits, 3);
}

TEST_F(LinkIcons, SharpAtTwiceTheResolution)
{
    linkicons::AllowLoading();
    linkicons::IconFor(ctDirectories, "/tmp");
    ASSERT_TRUE(WaitForIcons());
    const QIcon folder = linkicons::IconFor(ctDirectories, "/tmp");
    const QPixmap pixmap = folder.pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(pixmap.size(), QSize(32, 32));
    EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(16, 16));

    // A label painted at a device pixel ratio of 2 (as on a screen scaled
    // twice) shows the theme's 32-pixel picture, not the 16-pixel one scaled up.
    std::ofstream("Kestrava.ini") << "[Preferences]\nLinkIcons=1\n";
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "dirs", 1, ctDirectories);
        m.categories[0].expanded = true;
    });
    TKVGUIForm form;
    const TKVLabel *label = form.CategoryArea->panels[0]->linkLabels[0];
    const QRgb background = qRgb(75, 75, 75);
    const auto paintAt = [&](qreal dpr) {
        QImage image(QSize(label->x() + label->width(), label->y() + label->height()) * dpr,
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(background);
        QPainter p(&image);
        label->Paint(p);
        return image;
    };
    const auto expect = [&](int pixels) {
        QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(background);
        QPainter p(&image);
        p.drawPixmap(0, 0, folder.pixmap(QSize(pixels, pixels), 1.0));
        p.end();
        return image;
    };
    const int iconTop = label->y() + (label->height() - 16) / 2;
    const QImage twice = paintAt(2.0).copy(label->x() * 2, iconTop * 2, 32, 32);
    EXPECT_TRUE(twice == expect(32));
    EXPECT_FALSE(twice == expect(16).scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    EXPECT_TRUE(paintAt(1.0).copy(label->x(), iconTop, 16, 16) == expect(16));
}

} // namespace
