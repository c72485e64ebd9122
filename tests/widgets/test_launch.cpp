#include <QApplication>
#include <QFileDialog>
#include <QListView>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include "CategoryPanels.h"
#include "Execute.h"
#include "MemberRows.h"
#include "WindowFixture.h"
#include "X11Launcher.h"

namespace fs = std::filesystem;

namespace {

using Launching = WindowFixture;

TEST_F(Launching, DispatchByType)
{
    fs::create_directories("some dir");
    std::ofstream("some dir/a program") << "#!/bin/sh\n";
    std::ofstream("some dir/an app.desktop") << "[Desktop Entry]\n";
    // Trusted by its owner: made executable. The other entry is a file that
    // was only saved here, and is never started as a program.
    fs::permissions("some dir/an app.desktop", fs::perms::owner_exec, fs::perm_options::add);
    std::ofstream("some dir/Invoice.pdf.desktop") << "[Desktop Entry]\nType=Application\nExec=/bin/true\n";
    ASSERT_EQ(::mkfifo("some dir/pipe", 0600), 0);
    const QString untrusted = QString::fromStdString((dir / "some dir/Invoice.pdf.desktop").string());
    const QString fifo = QString::fromStdString((dir / "some dir/pipe").string());
    const QString program = QString::fromStdString((dir / "some dir/a program").string());
    const QString entry = QString::fromStdString((dir / "some dir/an app.desktop").string());
    const QString missingEntry = QString::fromStdString((dir / "gone.desktop").string());
    const QString folder = QString::fromStdString((dir / "some dir").string());
    const QString missing = QString::fromStdString((dir / "gone").string());
    struct Case {
        int type;
        QString target;
        const char *call;    // expected launcher call, or nullptr
        const char *workDir; // expected working folder of a spawn
        const char *caption; // expected message box caption, or nullptr
        const char *says = nullptr; // what the box says, when not that the target does not exist
    } cases[] = {
        {0, program, "spawn", "some dir/", nullptr},
        {0, program + " --flag", nullptr, nullptr, "Execute File"},
        {0, folder, nullptr, nullptr, "Execute File"},
        // A desktop entry starts its application, in the entry's own folder.
        {0, entry, "entry", nullptr, nullptr},
        {0, missingEntry, nullptr, nullptr, "Execute File"},
        {4, entry, "entry", nullptr, nullptr},
        {4, missingEntry, nullptr, nullptr, "Execute File"},
        {3, entry, "path", nullptr, nullptr},
        // An entry from outside the applications folders that is not
        // executable is a plain file: it opens as a document, never runs.
        {0, untrusted, nullptr, nullptr, "Untrusted Desktop Entry", "chmod +x"},
        {4, untrusted, nullptr, nullptr, "Untrusted Desktop Entry", "chmod +x"},
        {3, untrusted, "path", nullptr, nullptr},
        // A FIFO is never opened: whatever opened it would wait for a writer.
        {0, fifo, nullptr, nullptr, "Execute File", "is a FIFO (named pipe), not a file or folder"},
        {3, fifo, nullptr, nullptr, "Execute File", "is a FIFO (named pipe), not a file or folder"},
        {4, fifo, nullptr, nullptr, "Execute File", "is a FIFO (named pipe), not a file or folder"},
        {2, fifo, nullptr, nullptr, "Open Folder"},
        {1, QStringLiteral("https://example.invalid/x y"), "uri", nullptr, nullptr},
        {1, QStringLiteral("not a real address"), "uri", nullptr, nullptr},
        {2, folder, "path", nullptr, nullptr},
        {2, missing, nullptr, nullptr, "Open Folder"},
        {2, program, nullptr, nullptr, "Open Folder"},
        {3, program, "path", nullptr, nullptr},
        {3, missing, nullptr, nullptr, "Execute File"},
        {4, program, "spawn", "some dir/", nullptr},
        {4, missing, nullptr, nullptr, "Execute File"},
        {5, program, nullptr, nullptr, nullptr},
        {-1, program, nullptr, nullptr, nullptr},
        {77, program, nullptr, nullptr, nullptr},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.type);
        SCOPED_TRACE(tc.target.toStdString());
        platform::FakeLaunch() = platform::FakeLauncher{};
        forms::ClearShownMessages();
        if (tc.caption)
            forms::SetNextAnswer(forms::idOK);
        OpenLink(tc.type, tc.target);
        auto &calls = platform::FakeLaunch().calls;
        if (tc.call) {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].what, QString(tc.call));
            // The target goes as stored: unquoted, spaces and all.
            EXPECT_EQ(calls[0].target, tc.type == 1
                                           ? tc.target.startsWith("https") ? tc.target : "http://" + tc.target
                                           : tc.target);
            if (tc.workDir) {
                EXPECT_EQ(calls[0].workingDir, QString::fromStdString((dir / tc.workDir).string()));
            }
        } else {
            EXPECT_TRUE(calls.empty());
        }
        if (tc.caption) {
            ASSERT_EQ(forms::ShownMessages().size(), 1u);
            EXPECT_EQ(forms::ShownMessages()[0].caption, QString(tc.caption));
            if (tc.says)
                EXPECT_TRUE(forms::ShownMessages()[0].text.contains(QString::fromUtf8(tc.says)))
                    << forms::ShownMessages()[0].text.toStdString();
            else
                EXPECT_EQ(forms::ShownMessages()[0].text, tc.target + " does not exist!");
            EXPECT_EQ(forms::ShownMessages()[0].icon, forms::Icon::Exclamation);
            EXPECT_EQ(forms::ShownMessages()[0].buttons, forms::Buttons::OK);
        } else {
            EXPECT_TRUE(forms::ShownMessages().empty());
        }
    }
}

TEST_F(Launching, FailuresShowTheSystemText)
{
    std::ofstream("doc.txt") << "x";
    const QString doc = QString::fromStdString((dir / "doc.txt").string());
    std::ofstream("app.desktop") << "[Desktop Entry]\n";
    fs::permissions("app.desktop", fs::perms::owner_exec, fs::perm_options::add);
    const QString entry = QString::fromStdString((dir / "app.desktop").string());
    struct Case {
        int type;
        QString target;
        const char *caption;
    } cases[] = {
        {0, doc, "Error executing command"},
        {0, entry, "Error executing command"},
        {4, entry, "Error executing command"},
        {1, QStringLiteral("https://example.invalid/"), "Error opening URL"},
        {2, QString::fromStdString(dir.string()), "Error opening folder"},
        {3, doc, "Error opening document"},
    };
    for (const Case &tc : cases) {
        forms::ClearShownMessages();
        platform::FakeLaunch().result = {false, QStringLiteral("Permission denied")};
        forms::SetNextAnswer(forms::idOK);
        OpenLink(tc.type, tc.target);
        ASSERT_EQ(forms::ShownMessages().size(), 1u);
        EXPECT_EQ(forms::ShownMessages()[0].caption, QString(tc.caption));
        EXPECT_EQ(forms::ShownMessages()[0].text, "Trying to open \"" + tc.target + "\"\nPermission denied");
    }
}

TEST_F(Launching, ADesktopEntryThatCannotStartShowsWhy)
{
    // The desktop launcher answers: the box carries its text, naming what is missing.
    platform::FakeLaunch().through = &platform::DesktopLauncher();
    struct Case {
        const char *file;
        const char *text;
        const char *says;
    } cases[] = {
        {"broken.desktop",
         "[Desktop Entry]\nType=Application\nName=Broken\nExec=/nonexistent/kv-program %U\n",
         "/nonexistent/kv-program"},
        {"needs.desktop",
         "[Desktop Entry]\nType=Application\nName=Needs\nExec=/bin/true\nTryExec=kv-not-installed\n",
         "kv-not-installed"},
        {"link.desktop", "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.invalid/\n",
         "not an application"},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.file);
        std::ofstream(tc.file) << tc.text;
        fs::permissions(tc.file, fs::perms::owner_exec, fs::perm_options::add);
        const QString entry = QString::fromStdString((dir / tc.file).string());
        forms::ClearShownMessages();
        forms::SetNextAnswer(forms::idOK);
        OpenLink(0, entry);
        ASSERT_EQ(forms::ShownMessages().size(), 1u);
        const forms::ShownMessage &box = forms::ShownMessages()[0];
        EXPECT_EQ(box.caption, QStringLiteral("Error executing command"));
        EXPECT_TRUE(box.text.startsWith("Trying to open \"" + entry + "\"\n")) << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(QString::fromUtf8(tc.says))) << box.text.toStdString();
    }
}

TEST_F(Launching, BrowsingForAProgramOffersDesktopEntries)
{
    // Both browse buttons open the dialog on the one filter for a link type.
    EXPECT_EQ(BrowseFilterFor(ctFiles), QStringLiteral("All Files (*.*)|*.*"));
    for (int type : {ctApplications, ctGames})
        EXPECT_EQ(BrowseFilterFor(type), QStringLiteral("Executables (*.exe)|*.exe")) << type;

    fs::create_directories(dir / "folder");
    std::ofstream(dir / "tool") << "#!/bin/sh\n";
    fs::permissions(dir / "tool", fs::perms::owner_all);
    std::ofstream(dir / "app.desktop") << "[Desktop Entry]\n";
    std::ofstream(dir / "app.desktop.bak") << "[Desktop Entry]\n";
    std::ofstream(dir / "notes.txt") << "text";
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(dir.string()));
    forms::SetUnattended(false);
    QStringList shown;
    for (int type : {ctApplications, ctFiles}) {
        QTimer::singleShot(0, [&] {
            QFileDialog *dialog = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *d = qobject_cast<QFileDialog *>(w); d && d->isVisible())
                    dialog = d;
            ASSERT_NE(dialog, nullptr);
            auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
            ASSERT_NE(view, nullptr);
            QTRY_VERIFY_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()) > 0, 5000);
            QApplication::processEvents();
            QStringList names;
            for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
                names << view->model()->index(r, 0, view->rootIndex()).data().toString();
            names.sort();
            shown << names.join(',');
            dialog->reject();
        });
        QString file;
        EXPECT_FALSE(forms::OpenFileName(nullptr, BrowseFilterFor(type), &file));
    }
    forms::SetUnattended(true);
    qputenv("HOME", home);
    EXPECT_EQ(shown.join(u'|').toStdString(),
              "app.desktop,folder,tool|app.desktop,app.desktop.bak,folder,notes.txt,tool");
}

// Files written before links took their category's type hold the first link
// of a new category with no type (-1). In a category of one type such a link
// launches as the category's type; in a category of several types it stays
// without one and does nothing.
TEST_F(Launching, ALinkWithoutATypeLaunchesAsItsCategorysType)
{
    std::ofstream("tool") << "#!/bin/sh\n";
    fs::create_directories("folder");
    const std::string tool = (dir / "tool").string(), folder = (dir / "folder").string();
    const struct {
        int categoryType;
        std::string target;
        const char *call; // nullptr: nothing is launched
    } cases[] = {
        {ctApplications, tool, "spawn"}, {ctWebsites, "https://example.org/", "uri"},
        {ctDirectories, folder, "path"}, {ctFiles, tool, "path"},
        {ctGames, tool, "spawn"},        {ctMultiple, tool, nullptr},
    };
    WriteConfig([&](KVUIOperationClass &m) {
        int c = 0;
        for (const auto &tc : cases) {
            AddCategory(m, c, "c" + std::to_string(c), 1, tc.categoryType);
            SetField(m.categories[c].links[0].path, tc.target);
            m.categories[c].links[0].type = ctUnused;
            ++c;
        }
    });
    TKVGUIForm form;
    form.show();
    int c = 0;
    for (const auto &tc : cases) {
        SCOPED_TRACE(tc.categoryType);
        platform::FakeLaunch() = platform::FakeLauncher{};
        TKVPanel *panel = form.CategoryArea->panels[c++];
        QTest::mouseClick(panel, Qt::LeftButton, {}, panel->linkLabels[0]->geometry().center());
        auto &calls = platform::FakeLaunch().calls;
        if (tc.call) {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].what.toStdString(), tc.call);
            EXPECT_EQ(calls[0].target.toStdString(), tc.target);
        } else {
            EXPECT_TRUE(calls.empty());
        }
        EXPECT_TRUE(forms::ShownMessages().empty());
        form.show(); // a game hides it
    }
}

TEST_F(Launching, AGameHidesTheWindowFirstAndALinkClickLaunches)
{
    std::ofstream("game") << "x";
    WriteConfig([this](KVUIOperationClass &m) {
        AddCategory(m, 0, "games", 1, ctGames);
        SetField(m.categories[0].links[0].path, (dir / "game").string());
    });
    TKVGUIForm form;
    form.show();
    TKVLabel *label = form.CategoryArea->panels[0]->linkLabels[0];
    label->Click();
    ASSERT_EQ(platform::FakeLaunch().calls.size(), 1u);
    EXPECT_EQ(platform::FakeLaunch().calls[0].what, QStringLiteral("spawn"));
    EXPECT_FALSE(form.isVisible());
}

} // namespace
