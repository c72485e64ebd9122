// Icons before link labels: with the preference off nothing about the labels
// changes; with it on each kind of link shows its icon, the text moves right,
// lookups are made once, and the icons are drawn at the screen's resolution.

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <fstream>
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
    for (const Case &tc : cases) {
        const QIcon icon = linkicons::IconFor(tc.type, QString::fromStdString(tc.target));
        EXPECT_FALSE(icon.isNull()) << tc.target;
        EXPECT_EQ(icon.name().toStdString(), tc.icon) << tc.target;
    }
    EXPECT_TRUE(linkicons::IconFor(ctMultiple, "x").isNull());
    EXPECT_TRUE(linkicons::IconFor(77, "x").isNull());
}

TEST_F(LinkIcons, EachLookupIsMadeOncePerRun)
{
    EXPECT_TRUE(linkicons::IconFor(ctDirectories, "/tmp").isNull()) << "not before the first frame";
    EXPECT_EQ(linkicons::Stats().misses, 0);
    linkicons::AllowLoading();
    const QIcon first = linkicons::IconFor(ctFiles, "/tmp/a.txt");
    EXPECT_EQ(linkicons::Stats().misses, 1);
    EXPECT_EQ(linkicons::Stats().hits, 0);
    const QIcon second = linkicons::IconFor(ctFiles, "/tmp/a.txt");
    EXPECT_EQ(linkicons::Stats().misses, 1);
    EXPECT_EQ(linkicons::Stats().hits, 1);
    EXPECT_EQ(first.cacheKey(), second.cacheKey());
    // Another file is another lookup; every website shares one.
    linkicons::IconFor(ctFiles, "/tmp/b.txt");
    linkicons::IconFor(ctWebsites, "https://a.example/");
    linkicons::IconFor(ctWebsites, "https://b.example/");
    EXPECT_EQ(linkicons::Stats().misses, 3);
    EXPECT_EQ(linkicons::Stats().hits, 2);
}

TEST_F(LinkIcons, SharpAtTwiceTheResolution)
{
    linkicons::AllowLoading();
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
