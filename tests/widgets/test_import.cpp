// "Import Applications...": the dialog proposes the categories of the
// applications a private XDG data folder holds (hidden ones left out), OK adds
// the checked ones and saves, Cancel changes nothing, and a model without a
// free category slot is refused.
//
// Each test that reads entries runs in a child: this binary again, on that one
// test, with the private XDG folders in its environment, so that no other
// test of the run sees them (the toolkit keeps some of what it read of them).

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <sstream>

#include "CategoryPanels.h"
#include "ImportFormUnit.h"
#include "MainMenus.h"
#include "WindowFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *kChildVariable = "KV_IMPORT_TEST_CHILD";
constexpr const char *kDesktop = "KVTest";

// The entries: the user's own folder and one system folder.
struct EntryFile {
    const char *folder; // "home" or "system"
    const char *id;     // file name without .desktop
    const char *body;   // the lines after [Desktop Entry] and Type=Application
};
const EntryFile kEntries[] = {
    {"home", "writer", "Name=Writer\nCategories=Office;WordProcessor;\n"},
    {"home", "browser", "Name=Browser\nCategories=Network;WebBrowser;\n"},
    {"system", "mail", "Name=mail\nCategories=GTK;Network;Email;\n"},
    {"system", "editor", "Name=Text Editor\nCategories=Utility;TextEditor;\n"},
    {"system", "tuner", "Name=Tuner\nCategories=Settings;HardwareSettings;\n"},
    {"home", "paint", "Name=Paint\nOnlyShowIn=KVTest;\nCategories=Graphics;\n"},
    {"home", "plain", "Name=<b>Plain</b>\n"},
    // Left out: not shown, removed, meant for other desktops, or hidden by
    // the user's own entry of the same id.
    {"home", "helper", "Name=Helper\nNoDisplay=true\nCategories=Utility;\n"},
    {"home", "removed", "Name=Removed\nHidden=true\nCategories=Utility;\n"},
    {"system", "elsewhere", "Name=Elsewhere\nOnlyShowIn=SomethingElse;\nCategories=Utility;\n"},
    {"system", "nothere", "Name=Not Here\nNotShowIn=KVTest;\nCategories=Office;\n"},
    {"system", "overridden", "Name=Overridden\nCategories=Game;\n"},
    {"home", "overridden", "Name=Overridden\nHidden=true\nCategories=Game;\n"},
};

// The folder the child's entries are in, named by the parent.
fs::path EntriesRoot()
{
    return fs::path(qEnvironmentVariable(kChildVariable).toStdString());
}

std::string EntryPath(const char *folder, const char *id)
{
    const char *data = std::string(folder) == "home" ? "home-data" : "system-data";
    return (EntriesRoot() / data / "applications" / (std::string(id) + ".desktop")).string();
}

void WriteEntries(const fs::path &root)
{
    for (const char *data : {"home-data", "system-data"})
        fs::create_directories(root / data / "applications");
    for (const EntryFile &e : kEntries) {
        const char *data = std::string(e.folder) == "home" ? "home-data" : "system-data";
        std::ofstream(root / data / "applications" / (std::string(e.id) + ".desktop"))
            << "[Desktop Entry]\nType=Application\nExec=true\n"
            << e.body;
    }
}

struct Import : WindowFixture {
    std::unique_ptr<TKVGUIForm> window;

    void TearDown() override
    {
        window.reset(); // the dialog goes with its owner
        WindowFixture::TearDown();
    }

    // True in the child, which goes on with the test. In the parent, runs the
    // child on this test with the private folders and checks that it passed.
    bool InChild()
    {
        if (qEnvironmentVariableIsSet(kChildVariable))
            return true;
        const fs::path root = dir / "xdg";
        WriteEntries(root);
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("GTEST_OUTPUT")); // the parent's report is the one kept
        // The one test runs whole in the child, whichever shard of the run the parent is.
        env.remove(QStringLiteral("GTEST_TOTAL_SHARDS"));
        env.remove(QStringLiteral("GTEST_SHARD_INDEX"));
        env.insert(kChildVariable, QString::fromStdString(root.string()));
        env.insert("XDG_DATA_HOME", QString::fromStdString((root / "home-data").string()));
        env.insert("XDG_DATA_DIRS", QString::fromStdString((root / "system-data").string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((root / "config").string()));
        env.insert("XDG_CURRENT_DESKTOP", kDesktop);
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name())});
        EXPECT_TRUE(child.waitForFinished(100000));
        const QString out = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << out.toStdString();
        return false;
    }

    void Open() { window = std::make_unique<TKVGUIForm>(); }

    // Chooses the menu item and runs script inside the dialog's modal loop;
    // a dialog the script left open is cancelled. False when no dialog showed.
    bool Run(const std::function<void(TImportForm &)> &script)
    {
        // The applications are listed first, on a thread, while events go on;
        // the script waits for the dialog.
        bool shown = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, window.get(), [&] {
            if (shown || !ImportForm || !ImportForm->isVisible())
                return;
            shown = true;
            script(*ImportForm);
            if (ImportForm->isVisible())
                ImportForm->CancelButton->click();
        });
        poll.start();
        window->Menus().ImportApplications1->trigger();
        poll.stop();
        return shown;
    }

    static QStringList Items(const TImportForm &f)
    {
        QStringList items;
        for (int i = 0; i < f.ProposalList->count(); ++i) {
            const QListWidgetItem *item = f.ProposalList->item(i);
            items << (item->checkState() == Qt::Checked ? "[x] " : "[ ] ") + item->text();
        }
        return items;
    }

    // The saved file and the model's categories: a refused or cancelled
    // import neither saves nor leaves anything in the model for a later save.
    static std::string FileAndCategories()
    {
        return FileBytes() +
               std::string(reinterpret_cast<const char *>(KVOP->categories), sizeof KVOP->categories);
    }

    static std::string FileBytes()
    {
        std::ifstream in("KVUI_Config.dat", std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Every category's name and links as "Name: link=path ...", as saved.
    static std::vector<std::string> SavedCategories()
    {
        const auto m = Saved();
        std::vector<std::string> lines;
        for (int c = 0; c < m->CategoryCount(); ++c) {
            const CategoryRecord &cat = m->categories[c];
            std::string line = FieldText(cat.name) + " (" + std::to_string(cat.type) + "):";
            for (int l = 0; l < m->LinkCount(c); ++l)
                line += " " + FieldText(cat.links[l].name) + "=" + FieldText(cat.links[l].path) + "/" +
                        std::to_string(cat.links[l].type);
            lines.push_back(line);
        }
        return lines;
    }

    static std::vector<QString> Messages()
    {
        std::vector<QString> texts;
        for (const forms::ShownMessage &m : forms::ShownMessages())
            texts.push_back(m.caption + ": " + m.text);
        return texts;
    }
};

TEST_F(Import, ProposesTheShownEntriesAndOKStoresTheCheckedOnes)
{
    if (!InChild())
        return;
    // The defaults' two categories and an "Office" the user made before.
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 2, "Office", 1, ctApplications); });
    Open();
    QStringList items, note;
    bool okEnabled = false;
    EXPECT_TRUE(Run([&](TImportForm &f) {
        items = Items(f);
        note << f.NoteLabel->text();
        okEnabled = f.OKButton->isEnabled();
        EXPECT_EQ(f.windowTitle(), "Import Applications");
        f.OKButton->click();
    }));
    // Office is there already: not checked, so not added again.
    EXPECT_EQ(items, (QStringList{"[x] Graphics (1)", "[x] Internet (2)", "[ ] Office (1)", "[x] System (1)",
                                  "[x] Utilities (1)", "[x] Other (1)"}));
    EXPECT_EQ(note, QStringList{"Room for 17 more categories."});
    EXPECT_TRUE(okEnabled);
    const auto at = [](const char *folder, const char *id) { return "=" + EntryPath(folder, id) + "/0"; };
    const std::vector<std::string> expected = {
        "Example (0): Example link=notepad.exe/0",
        "Kestrava Pages (1): Kestrava Home Page=https://kestrava.org//1",
        "Office (0): Office0=/tmp/Office0/0",
        "Graphics (0): Paint" + at("home", "paint"),
        "Internet (0): Browser" + at("home", "browser") + " mail" + at("system", "mail"),
        "System (0): Tuner" + at("system", "tuner"),
        "Utilities (0): Text Editor" + at("system", "editor"),
        "Other (0): <b>Plain</b>" + at("home", "plain"),
    };
    const auto saved = SavedCategories();
    // The defaults' own links are whatever a first start writes; the rest is the import.
    ASSERT_EQ(saved.size(), expected.size());
    for (std::size_t c = 2; c < expected.size(); ++c)
        EXPECT_EQ(saved[c], expected[c]) << c;
    EXPECT_EQ(FieldText(Saved()->categories[3].description), kImportedCategoryDescription);
    // The main window shows them at once, the names as they are.
    ASSERT_NE(window->CategoryArea->panels[7], nullptr);
    EXPECT_EQ(PanelCount, 8);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(Import, CancelAndEscapeChangeNothing)
{
    if (!InChild())
        return;
    WriteConfig([](KVUIOperationClass &) {});
    Open();
    const std::string before = FileAndCategories();
    const struct {
        const char *what;
        std::function<void(TImportForm &)> close;
    } cases[] = {
        {"Cancel", [](TImportForm &f) { f.CancelButton->click(); }},
        {"Escape", [](TImportForm &f) { QTest::keyClick(&f, Qt::Key_Escape); }},
        {"the window's close button", [](TImportForm &f) { f.close(); }},
    };
    for (const auto &tc : cases) {
        EXPECT_TRUE(Run(tc.close)) << tc.what;
        EXPECT_EQ(KVOP->CategoryCount(), 2) << tc.what;
        EXPECT_EQ(window->CategoryArea->panels[2], nullptr) << tc.what;
        EXPECT_TRUE(FileAndCategories() == before) << tc.what << " saved or changed the categories";
    }
}

TEST_F(Import, OKNeedsACheckedCategoryAndTheNoteFollowsTheChecks)
{
    if (!InChild())
        return;
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 2; c < 19; ++c)
            AddCategory(m, c, "C" + std::to_string(c), 1);
    });
    Open();
    const std::string before = FileAndCategories();
    const struct {
        std::vector<int> checked; // rows of the six proposals
        bool ok;
        const char *note;
    } cases[] = {
        {{}, false, "Room for 1 more category."},
        {{3}, true, "Room for 1 more category."},
        {{0, 5}, true, "Room for 1 more category. Only the first 1 checked will be added."},
    };
    for (const auto &tc : cases) {
        EXPECT_TRUE(Run([&](TImportForm &f) {
            ASSERT_EQ(f.ProposalList->count(), 6);
            for (int i = 0; i < 6; ++i)
                f.ProposalList->item(i)->setCheckState(Qt::Unchecked);
            for (int i : tc.checked)
                f.ProposalList->item(i)->setCheckState(Qt::Checked);
            EXPECT_EQ(f.OKButton->isEnabled(), tc.ok) << tc.note;
            EXPECT_EQ(f.NoteLabel->text(), tc.note);
        }));
    }
    EXPECT_TRUE(FileAndCategories() == before);
}

TEST_F(Import, WhatDoesNotFitIsToldAndTheRestAdded)
{
    if (!InChild())
        return;
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 2; c < 18; ++c)
            AddCategory(m, c, "C" + std::to_string(c), 1);
    });
    Open();
    EXPECT_TRUE(Run([](TImportForm &f) {
        for (int i = 0; i < 6; ++i)
            f.ProposalList->item(i)->setCheckState(i == 1 || i == 4 || i == 5 ? Qt::Checked : Qt::Unchecked);
        f.OKButton->click();
    }));
    const auto saved = SavedCategories();
    ASSERT_EQ(saved.size(), 20u);
    EXPECT_EQ(saved[18].substr(0, saved[18].find(':')), "Internet (0)");
    EXPECT_EQ(saved[19].substr(0, saved[19].find(':')), "Utilities (0)");
    EXPECT_EQ(Messages(),
              (std::vector<QString>{"Import Applications: There was no free category slot left for: "
                                    "Other. Delete a category to make room, then import again."}));
    EXPECT_EQ(PanelCount, 20);
}

// Needs no entries: the refusal comes before any are read.
TEST_F(Import, NoFreeSlotIsRefusedBeforeTheDialog)
{
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 2; c < kMaxCategories; ++c)
            AddCategory(m, c, "C" + std::to_string(c), 1);
    });
    Open();
    const std::string before = FileAndCategories();
    EXPECT_FALSE(Run([](TImportForm &f) { f.OKButton->click(); })) << "the dialog showed";
    EXPECT_EQ(Messages(),
              (std::vector<QString>{"Import Applications: All 20 category slots are in use. Delete a "
                                    "category before importing applications."}));
    ASSERT_EQ(forms::ShownMessages().size(), 1u);
    EXPECT_EQ(forms::ShownMessages()[0].icon, forms::Icon::Exclamation);
    EXPECT_TRUE(FileAndCategories() == before);
}

} // namespace
