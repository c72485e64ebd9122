// Drops on the category panels and the title strip. The drags are real
// QDragEnter/QDragMove/QDrop events sent to the widgets with a QMimeData as
// a file manager or a browser fills it: a drag between programs cannot be
// driven from outside (a synthetic pointer drag does not run the XDND
// exchange), and what the window does with the events is the same either way.

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "AddEntryFormUnit.h"
#include "CategoryPanels.h"
#include "CategoryTypeDropDown.h"
#include "Forms.h"
#include "WindowFixture.h"

namespace {

constexpr Qt::DropActions kFileManager = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

struct Drops : WindowFixture {
    std::string exe, folder, doc, entry, invoice, pipe;

    // A program, a folder, a document and an application entry in the
    // test's own folder.
    void MakeFiles()
    {
        exe = (dir / "tool.sh").string();
        std::ofstream(exe) << "#!/bin/sh\n";
        ::chmod(exe.c_str(), 0755);
        folder = (dir / "Music").string();
        std::filesystem::create_directories(folder);
        doc = (dir / "notes.txt").string();
        std::ofstream(doc) << "notes\n";
        entry = (dir / "painter.desktop").string();
        std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=Paint Studio\nExec=" << exe << "\n";
        ::chmod(entry.c_str(), 0755); // trusted by its owner
        // Left in the downloads by someone else: it poses as a document.
        invoice = (dir / "Invoice.pdf.desktop").string();
        std::ofstream(invoice) << "[Desktop Entry]\nType=Application\nName=Invoice.pdf\nIcon=application-pdf\nExec="
                               << exe << "\n";
        pipe = (dir / "pipe").string();
        ::mkfifo(pipe.c_str(), 0600);
    }
};

std::unique_ptr<QMimeData> UriList(const std::vector<std::string> &items)
{
    QList<QUrl> urls;
    for (const std::string &item : items)
        urls.push_back(item.starts_with('/') ? QUrl::fromLocalFile(QString::fromStdString(item))
                                             : QUrl(QString::fromStdString(item)));
    auto mime = std::make_unique<QMimeData>();
    mime->setUrls(urls);
    return mime;
}

std::unique_ptr<QMimeData> PlainText(const QString &text)
{
    auto mime = std::make_unique<QMimeData>();
    mime->setText(text);
    return mime;
}

// Enters w and moves to at; true when the drag is taken there.
bool DragOver(QWidget *w, QPoint at, const QMimeData *mime, Qt::DropActions actions = kFileManager)
{
    QDragEnterEvent enter(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    QDragMoveEvent move(at, actions, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
    if (move.isAccepted()) { // never a move: the source would delete what it gave
        EXPECT_TRUE(move.dropAction() == Qt::LinkAction || move.dropAction() == Qt::CopyAction);
    }
    return move.isAccepted();
}

void Leave(QWidget *w)
{
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(w, &leave);
}

// Drags over w and drops at at, then lets the window act on it; drive runs
// inside the add-link dialog if one opens, and whatever it leaves open is
// cancelled. Returns whether the dialog was shown.
bool Drop(QWidget *w, QPoint at, const QMimeData *mime, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
          const std::function<void(TAddEntryForm &)> &drive = {})
{
    EXPECT_TRUE(DragOver(w, at, mime));
    QDropEvent drop(at, kFileManager, mime, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(w, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_NE(drop.dropAction(), Qt::MoveAction);
    bool shown = false;
    QTimer::singleShot(0, [&] {
        if (!AddEntryForm || !AddEntryForm->isVisible())
            return;
        shown = true;
        if (drive)
            drive(*AddEntryForm);
        if (AddEntryForm && AddEntryForm->isVisible())
            AddEntryForm->reject();
    });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return shown;
}

QPoint Middle(const QWidget *w)
{
    return w->rect().center();
}

QPoint OnTitle(const TKVGUIForm &form)
{
    return {form.width() / 2, form.CategoryArea->y() / 2};
}

struct Link {
    std::string name, path;
    int type;
    bool operator==(const Link &) const = default;
};

std::vector<Link> SavedLinks(int c, int from = 0)
{
    auto m = WindowFixture::Saved();
    std::vector<Link> links;
    for (int l = from; l < m->LinkCount(c); ++l)
        links.push_back(
            {m->categories[c].links[l].name, m->categories[c].links[l].path, m->categories[c].links[l].type});
    return links;
}

void PrintTo(const Link &l, std::ostream *os)
{
    *os << "{" << l.name << ", " << l.path << ", " << l.type << "}";
}

TEST_F(Drops, EveryKindLandsInAMultipleCategoryAndIsSaved)
{
    MakeFiles();
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "mixed", 1, ctMultiple); });
    TKVGUIForm form;
    TKVPanel *panel = form.CategoryArea->panels[0];
    const auto mime = UriList({exe, folder, "https://www.example.org/page?q=1", doc, entry, invoice});
    EXPECT_FALSE(Drop(panel, Middle(panel), mime.get())); // several items: no dialog
    for (const auto &m : forms::ShownMessages())
        ADD_FAILURE() << m.caption.toStdString() << ": " << m.text.toStdString();
    const std::vector<Link> expected = {
        {"tool.sh", exe, ctApplications},
        {"Music", folder, ctDirectories},
        {"www.example.org", "https://www.example.org/page?q=1", ctWebsites},
        {"notes.txt", doc, ctFiles},
        {"Paint Studio", entry, ctApplications},
        // Not executable and not from the applications folders: a plain file.
        {"Invoice.pdf.desktop", invoice, ctFiles},
    };
    EXPECT_EQ(SavedLinks(0, 1), expected);
    // The panel shows them.
    ASSERT_EQ(panel->linkCount, 7);
    EXPECT_EQ(panel->linkLabels[5]->text(), QStringLiteral("Paint Studio"));
    EXPECT_EQ(panel->linkLabels[2]->toolTip(), QString::fromStdString(folder));
}

TEST_F(Drops, AnyExecuteBitMakesAProgram)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "mixed", 0, ctMultiple); });
    TKVGUIForm form;
    TKVPanel *panel = form.CategoryArea->panels[0];
    // Programs only their owner, or their group too, may run are programs.
    const struct {
        mode_t mode;
        int type;
    } cases[] = {
        {0755, ctApplications}, {0700, ctApplications}, {0750, ctApplications}, {0710, ctApplications},
        {0701, ctApplications}, {0644, ctFiles},        {0600, ctFiles},        {0666, ctFiles},
    };
    std::vector<std::string> dropped;
    std::vector<Link> expected;
    for (const auto &tc : cases) {
        char name[16];
        std::snprintf(name, sizeof name, "tool-%04o", static_cast<unsigned>(tc.mode));
        const std::string path = (dir / name).string();
        std::ofstream(path) << "#!/bin/sh\n";
        ASSERT_EQ(::chmod(path.c_str(), tc.mode), 0);
        dropped.push_back(path);
        expected.push_back({name, path, tc.type});
    }
    const auto mime = UriList(dropped);
    EXPECT_FALSE(Drop(panel, Middle(panel), mime.get()));
    EXPECT_EQ(SavedLinks(0), expected);
    EXPECT_TRUE(forms::ShownMessages().empty());
}

TEST_F(Drops, AddressesInABrowsersPlainText)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "sites", 0, ctWebsites); });
    TKVGUIForm form;
    TKVPanel *panel = form.CategoryArea->panels[0];
    // Lines that are no web address are no items.
    const auto mime =
        PlainText(QStringLiteral("https://one.example/a\nsome words\n  http://two.example:8080/ \n"
                                 "ftp://three.example/\n"));
    Drop(panel, Middle(panel), mime.get());
    const std::vector<Link> expected = {{"one.example", "https://one.example/a", ctWebsites},
                                        {"two.example", "http://two.example:8080/", ctWebsites}};
    EXPECT_EQ(SavedLinks(0), expected);
    EXPECT_TRUE(forms::ShownMessages().empty());

    // Text without an address, or a drag that can only move, is not taken.
    const auto words = PlainText(QStringLiteral("just words"));
    EXPECT_FALSE(DragOver(panel, Middle(panel), words.get()));
    const auto site = PlainText(QStringLiteral("https://one.example/"));
    EXPECT_FALSE(DragOver(panel, Middle(panel), site.get(), Qt::MoveAction));
    EXPECT_TRUE(panel->DropMark().isNull());
}

TEST_F(Drops, ATypedCategoryTakesItsOwnTypeAndSaysWhatItRefused)
{
    MakeFiles();
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "tools", 0, ctApplications);
        AddCategory(m, 1, "games", 0, ctGames);
    });
    TKVGUIForm form;
    TKVPanel *tools = form.CategoryArea->panels[0];
    const std::string gone = (dir / "gone").string();
    const auto mime = UriList({doc, exe, folder, "https://example.org/", entry, gone, invoice, pipe});
    forms::SetNextAnswer(forms::idOK);
    Drop(tools, Middle(tools), mime.get());
    const std::vector<Link> expected = {{"tool.sh", exe, ctApplications},
                                        {"Paint Studio", entry, ctApplications}};
    EXPECT_EQ(SavedLinks(0), expected);
    ASSERT_EQ(forms::ShownMessages().size(), 1u); // one box for all refusals
    const forms::ShownMessage &box = forms::ShownMessages()[0];
    EXPECT_EQ(box.caption, QStringLiteral("Add Link"));
    EXPECT_EQ(box.text.toStdString(),
              "These dropped items were not added to \"tools\":\n" + doc +
                  ": Files, but the category takes Applications only\n" + folder +
                  ": Directories, but the category takes Applications only\n"
                  "https://example.org/: Websites, but the category takes Applications only\n" +
                  gone + ": no such file or folder\n" + invoice +
                  ": Files, but the category takes Applications only\n" + pipe +
                  ": a FIFO, a socket or a device, which is never opened");

    // A games category keeps programs as games.
    forms::ClearShownMessages();
    TKVPanel *games = form.CategoryArea->panels[1];
    const auto program = UriList({exe, doc});
    forms::SetNextAnswer(forms::idOK);
    Drop(games, Middle(games), program.get());
    EXPECT_EQ(SavedLinks(1), (std::vector<Link>{{"tool.sh", exe, ctGames}}));
    EXPECT_EQ(forms::ShownMessages().size(), 1u);
}

TEST_F(Drops, TheFiftyLinkLimitHolds)
{
    MakeFiles();
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "nearly", 48, ctMultiple);
        AddCategory(m, 1, "full", 50, ctMultiple);
    });
    TKVGUIForm form;
    TKVPanel *nearly = form.CategoryArea->panels[0];
    const auto mime = UriList({exe, folder, doc, entry});
    forms::SetNextAnswer(forms::idOK);
    Drop(nearly, Middle(nearly), mime.get());
    EXPECT_EQ(SavedLinks(0, 48),
              (std::vector<Link>{{"tool.sh", exe, ctApplications}, {"Music", folder, ctDirectories}}));
    EXPECT_EQ(nearly->linkCount, 50);
    ASSERT_EQ(forms::ShownMessages().size(), 1u);
    const QString text = forms::ShownMessages()[0].text;
    EXPECT_TRUE(text.contains(QString::fromStdString(doc) + ": the category already holds 50 links"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString(entry) + ": the category already holds 50 links"));

    // A single item on a full category is refused without the dialog.
    forms::ClearShownMessages();
    TKVPanel *full = form.CategoryArea->panels[1];
    const auto one = UriList({doc});
    forms::SetNextAnswer(forms::idOK);
    EXPECT_FALSE(Drop(full, Middle(full), one.get()));
    EXPECT_EQ(Saved()->LinkCount(1), 50);
    EXPECT_EQ(forms::ShownMessages().size(), 1u);
}

TEST_F(Drops, OneItemOpensTheDialogFilledInAndShiftAddsItDirectly)
{
    MakeFiles();
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "zero", 0, ctFiles);
        AddCategory(m, 1, "mixed", 1, ctMultiple);
    });
    TKVGUIForm form;
    TKVPanel *mixed = form.CategoryArea->panels[1];
    const auto mime = UriList({folder});

    // Cancelled: nothing is added.
    EXPECT_TRUE(Drop(mixed, Middle(mixed), mime.get(), Qt::NoModifier, [&](TAddEntryForm &d) {
        EXPECT_EQ(d.SectionChoice->currentIndex(), 1);
        EXPECT_EQ(d.ShortNameEdit->text(), QStringLiteral("Music"));
        EXPECT_EQ(d.URLEdit->text(), QString::fromStdString(folder));
        EXPECT_EQ(d.TypeChoice->currentIndex(), ctDirectories);
        EXPECT_TRUE(d.AddEntryOK->isEnabled());
        d.CancelButton->click();
    }));
    EXPECT_EQ(Saved()->LinkCount(1), 1);

    // Confirmed, with the name changed by the user.
    EXPECT_TRUE(Drop(mixed, Middle(mixed), mime.get(), Qt::NoModifier, [](TAddEntryForm &d) {
        d.ShortNameEdit->setText(QStringLiteral("Songs"));
        d.AddEntryOK->click();
    }));
    EXPECT_EQ(SavedLinks(1, 1), (std::vector<Link>{{"Songs", folder, ctDirectories}}));

    // With Shift the link is made at once.
    EXPECT_FALSE(Drop(mixed, Middle(mixed), mime.get(), Qt::ShiftModifier));
    EXPECT_EQ(SavedLinks(1, 2), (std::vector<Link>{{"Music", folder, ctDirectories}}));

    // The next add through the button starts empty again.
    bool empty = false;
    QTimer::singleShot(0, [&] {
        if (!AddEntryForm || !AddEntryForm->isVisible())
            return;
        empty = AddEntryForm->ShortNameEdit->text().isEmpty() && AddEntryForm->URLEdit->text().isEmpty();
        AddEntryForm->reject();
    });
    mixed->addButton->click();
    EXPECT_TRUE(empty);
    EXPECT_TRUE(forms::ShownMessages().empty());
}

TEST_F(Drops, TheMarkShowsWhereTheLinksLandWhileDragging)
{
    MakeFiles();
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "open", 3, ctMultiple);
        AddCategory(m, 1, "shut", 2, ctMultiple);
        m.categories[1].expanded = false;
    });
    TKVGUIForm form;
    TKVPanel *open = form.CategoryArea->panels[0];
    TKVPanel *shut = form.CategoryArea->panels[1];
    const auto mime = UriList({doc});
    EXPECT_TRUE(open->DropMark().isNull());

    ASSERT_TRUE(DragOver(open, Middle(open), mime.get()));
    const TKVLabel *last = open->linkLabels[2];
    EXPECT_EQ(open->DropMark().top(), last->y() + last->height()); // under the last link
    EXPECT_GT(open->DropMark().width(), 0);
    Leave(open);
    EXPECT_TRUE(open->DropMark().isNull());

    // A folded panel marks its header's foot.
    ASSERT_TRUE(DragOver(shut, Middle(shut), mime.get()));
    EXPECT_FALSE(shut->DropMark().isNull());
    EXPECT_LT(shut->DropMark().bottom(), shut->height());
    Leave(shut);
    EXPECT_TRUE(shut->DropMark().isNull());

    // A drop clears it too.
    Drop(open, Middle(open), mime.get(), Qt::ShiftModifier);
    EXPECT_TRUE(open->DropMark().isNull());
    EXPECT_EQ(open->linkCount, 4);
}

TEST_F(Drops, TheTitleStripMakesANewCategory)
{
    MakeFiles();
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 1; c < kMaxCategories; ++c)
            m.ClearCategory(c);
        AddCategory(m, 0, "first", 1);
    });
    TKVGUIForm form;
    ASSERT_EQ(PanelCount, 1);
    const auto sites = UriList({"https://a.example/", "http://b.example/x"});

    // The strip is marked while a drag is over it, and only there.
    ASSERT_TRUE(DragOver(&form, OnTitle(form), sites.get()));
    auto *mark = form.findChild<QWidget *>(QStringLiteral("TitleDropMark"));
    ASSERT_NE(mark, nullptr);
    EXPECT_FALSE(mark->isHidden());
    EXPECT_EQ(mark->geometry().bottom(), form.CategoryArea->y() - 1);
    EXPECT_FALSE(DragOver(&form, QPoint(form.width() / 2, form.CategoryArea->y() + 5), sites.get()));
    EXPECT_TRUE(mark->isHidden());
    // A drag that enters off the strip is followed there.
    QDragEnterEvent enter(QPoint(form.width() / 2, form.height() - 5), kFileManager, sites.get(),
                          Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::IgnoreAction);
    EXPECT_TRUE(mark->isHidden());
    ASSERT_TRUE(DragOver(&form, OnTitle(form), sites.get()));
    Leave(&form);
    EXPECT_TRUE(mark->isHidden());

    Drop(&form, OnTitle(form), sites.get());
    EXPECT_TRUE(mark->isHidden());
    EXPECT_EQ(PanelCount, 2);
    ASSERT_NE(form.CategoryArea->panels[1], nullptr);
    EXPECT_EQ(form.CategoryArea->panels[1]->linkCount, 2);
    auto saved = Saved();
    EXPECT_STREQ(saved->categories[1].name, "Websites");
    EXPECT_EQ(int{saved->categories[1].type}, ctWebsites);
    EXPECT_EQ(SavedLinks(1), (std::vector<Link>{{"a.example", "https://a.example/", ctWebsites},
                                                {"b.example", "http://b.example/x", ctWebsites}}));

    // Items of different types make a category of several types. One item goes in
    // directly: the dialog makes no categories.
    const auto mixed = UriList({doc, folder});
    Drop(&form, OnTitle(form), mixed.get());
    saved = Saved();
    EXPECT_STREQ(saved->categories[2].name, "Dropped");
    EXPECT_EQ(int{saved->categories[2].type}, ctMultiple);
    EXPECT_EQ(SavedLinks(2),
              (std::vector<Link>{{"notes.txt", doc, ctFiles}, {"Music", folder, ctDirectories}}));
    const auto one = UriList({exe});
    EXPECT_FALSE(Drop(&form, OnTitle(form), one.get()));
    EXPECT_EQ(int{Saved()->categories[3].type}, ctApplications);
    EXPECT_TRUE(forms::ShownMessages().empty());
    EXPECT_EQ(PanelCount, 4);
}

TEST_F(Drops, NoNewCategoryWhenAllSlotsAreTaken)
{
    MakeFiles();
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 0; c < kMaxCategories; ++c)
            AddCategory(m, c, "c" + std::to_string(c), 1);
    });
    TKVGUIForm form;
    const auto mime = UriList({doc});
    forms::SetNextAnswer(forms::idOK);
    Drop(&form, OnTitle(form), mime.get());
    ASSERT_EQ(forms::ShownMessages().size(), 1u);
    EXPECT_EQ(forms::ShownMessages()[0].caption, QStringLiteral("New Category"));
    EXPECT_TRUE(forms::ShownMessages()[0].text.startsWith(QStringLiteral("All 20 categories are in use.")));
    EXPECT_EQ(PanelCount, kMaxCategories);
    auto saved = Saved();
    for (int c = 0; c < kMaxCategories; ++c)
        EXPECT_EQ(saved->LinkCount(c), 1) << c;
}

} // namespace
