// The settings form: opening on a page with an undo copy, the category
// editor with its member rows and checks, the switches, dock picture,
// colours and fonts, and what OK and Cancel leave in the model and the file.

#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QKeyEvent>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstring>
#include <map>
#include <fstream>
#include <sstream>

#include "AddEntryFormUnit.h"
#include "CategoryPanels.h"
#include "CategoryTypeDropDown.h"
#include "DebugFormUnit.h"
#include "FontList.h"
#include "Forms.h"
#include "MemberRows.h"
#include "SettingsFormUnit.h"
#include "WindowFixture.h"

namespace {

using forms::ShownMessages;

struct Settings : WindowFixture {
    std::unique_ptr<TKVGUIForm> window;

    void Open()
    {
        window = std::make_unique<TKVGUIForm>();
        SettingsForm = new TSettingsForm(window.get());
    }
    void TearDown() override
    {
        window.reset(); // the form goes with its owner
        SettingsForm = nullptr;
        WindowFixture::TearDown();
    }

    // Opens the form on page and runs script inside its modal loop; a form
    // the script left open is cancelled.
    void Run(int page, const std::function<void(TSettingsForm &)> &script)
    {
        QTimer::singleShot(0, window.get(), [&] {
            script(*SettingsForm);
            if (SettingsForm->isVisible())
                SettingsForm->CancelButton->click();
        });
        window->ShowSettingsPage(page);
    }

    static std::string FileBytes(const std::string &name = "KVUI_Config.dat")
    {
        std::ifstream in(name, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Every block the configuration file holds, as bytes.
    static std::string Persisted()
    {
        std::string s;
        const auto add = [&s](const void *p, std::size_t n) { s.append(static_cast<const char *>(p), n); };
        add(&KVOP->header, sizeof KVOP->header);
        add(KVOP->categories, sizeof KVOP->categories);
        add(&KVOP->settings, sizeof KVOP->settings);
        add(&KVOP->savedSettings, sizeof KVOP->savedSettings);
        add(&KVOP->appearance, sizeof KVOP->appearance);
        add(&KVOP->useWindowsColours, 1);
        return s;
    }

    static std::vector<QString> Messages()
    {
        std::vector<QString> texts;
        for (const forms::ShownMessage &m : ShownMessages())
            texts.push_back(m.text);
        return texts;
    }
};

TEST_F(Settings, PagesByNumber)
{
    WriteConfig([](KVUIOperationClass &) {});
    Open();
    const struct {
        int page;
        QString tab;
    } cases[] = {{1, "Category Editor"}, {2, "Settings"}, {3, "About"},    {4, "Appearance"},
                 {0, "Settings"},        {5, "Settings"}, {-1, "Settings"}};
    for (const auto &tc : cases) {
        QString shown;
        Run(tc.page,
            [&](TSettingsForm &f) { shown = f.PageControl->tabText(f.PageControl->currentIndex()); });
        EXPECT_EQ(shown, tc.tab) << "page " << tc.page;
    }
}

// Types text as the keyboard would, any characters.
void Type(QWidget *w, const QString &text)
{
    for (QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
    }
}

// Three categories: two files, one with links of several types.
void ThreeCategories(KVUIOperationClass &m)
{
    WindowFixture::AddCategory(m, 0, "alpha", 3);
    WindowFixture::AddCategory(m, 1, "beta", 2, ctMultiple);
    m.categories[1].links[0].type = ctWebsites;
    m.categories[1].links[1].type = ctGames;
    WindowFixture::AddCategory(m, 2, "gamma", 1, ctWebsites);
    for (int c = 3; c < kMaxCategories; ++c)
        m.ClearCategory(c);
}

TEST_F(Settings, CancelUndoesEveryLiveEditAndSavesNothing)
{
    WriteConfig(ThreeCategories);
    Open();
    const std::string file = FileBytes();
    const auto written = std::filesystem::last_write_time("KVUI_Config.dat");
    const std::string before = Persisted();
    forms::SetNextColour(0x123456);     // links colour
    forms::SetNextColour(0x00FF00);     // a colour role
    forms::SetNextAnswer(forms::idYes); // defaults
    Run(1, [&](TSettingsForm &f) {
        QTest::keyClicks(f.CatNameEdit, "renamed");
        QTest::keyClicks(f.Rows[0]->NameEdit, "x");
        f.Rows[1]->UpButton->click();
        f.Rows[2]->DeleteButton->click();
        f.LinksColourButton->click();
        f.ColourButtons[crTitle]->click();
        f.TitleFontCombo->setCurrentIndex(f.TitleFontCombo->count() - 1);
        f.TitleFontComboChange();
        f.DockRadios[dpCentre]->click();
        f.WinColoursCheck->click();
        f.DefaultsButton->click();
        EXPECT_NE(Persisted(), before) << "the edits reach the model at once";
    });
    EXPECT_FALSE(SettingsForm->isVisible());
    EXPECT_EQ(Persisted(), before);
    EXPECT_EQ(FileBytes(), file);
    EXPECT_EQ(std::filesystem::last_write_time("KVUI_Config.dat"), written);
    EXPECT_FALSE(KVOP->HasSnapshot());
}

// "Absolute Right" chosen in the form docks the window at once, stretched
// over the work area's height. Cancel takes back the window's size and place
// as well as the settings, so that no later save stores the stretch.
TEST_F(Settings, CancelBringsBackTheWindowAnAbsolutePositionStretched)
{
    WriteConfig([](KVUIOperationClass &m) {
        ThreeCategories(m);
        m.settings.autoMode = m.settings.dockWindow = true;
        m.settings.dockPosition = m.savedSettings.dockPosition = dpTopRight;
        m.settings.height = 300;
    });
    Open();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    const QRect before = window->geometry();
    const QPoint placed = window->pos();
    ASSERT_EQ(before.height(), 300);
    Run(2, [&](TSettingsForm &f) {
        f.DockRadios[dpAbsoluteRight]->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->height() > 300; }, 2000))
            << "the window was not docked while the form is open";
    });
    EXPECT_EQ(window->geometry(), before);
    QTest::qWait(100); // ticks of the docking timer
    EXPECT_EQ(window->geometry(), before);
    window->RefreshLayout(true); // any later save
    auto saved = Saved();
    EXPECT_EQ(saved->settings.dockPosition, dpTopRight);
    EXPECT_EQ(saved->settings.height, 300);
    EXPECT_EQ(saved->settings.width, before.width());
    EXPECT_EQ(saved->settings.left, placed.x());
    EXPECT_EQ(saved->settings.top, placed.y());
}

TEST_F(Settings, OkStoresSavesAndRebuildsThePanels)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        f.CatNameEdit->setText("first");
        f.CatNameEditChange();
        f.Rows[0]->NameEdit->setText("renamed link"); // stored on write-back
        f.AppNameEdit->setText("My launcher");
        f.AOTCheck->setChecked(false);
        f.DockRadios[dpBottomRight]->click();
        // A fourth category through Next, twice.
        f.NextCatButton->click();
        f.NextCatButton->click();
        f.NextCatButton->click();
        ASSERT_EQ(f.CurrentCategory, 3);
        f.CatNameEdit->setText("<b>new</b>");
        f.CatTypeDropDown->setCurrentIndex(ctDirectories);
        f.Rows[0]->NameEdit->setText("home");
        f.Rows[0]->PathEdit->setText("/home");
        f.OKButton->click();
        EXPECT_FALSE(f.isVisible());
    });
    EXPECT_TRUE(Messages().empty());
    auto saved = Saved();
    EXPECT_EQ(FieldText(saved->categories[0].name), "first");
    EXPECT_EQ(FieldText(saved->categories[0].links[0].name), "renamed link");
    EXPECT_EQ(FieldText(saved->categories[3].name), "<b>new</b>");
    EXPECT_EQ(saved->categories[3].type, ctDirectories);
    EXPECT_EQ(FieldText(saved->categories[3].links[0].path), "/home");
    EXPECT_EQ(saved->LinkCount(3), 1);
    EXPECT_EQ(FieldText(saved->header.title), "My launcher");
    EXPECT_EQ(saved->settings.dockPosition, dpBottomRight);
    EXPECT_FALSE(saved->settings.alwaysOnTop);
    ASSERT_EQ(PanelCount, 4);
    EXPECT_EQ(window->CategoryArea->panels[0]->header->text(), "first");
    EXPECT_EQ(window->CategoryArea->panels[3]->header->text(), "<b>new</b>");
    EXPECT_EQ(window->CategoryArea->panels[0]->linkLabels[0]->text(), "renamed link");
}

TEST_F(Settings, ClearMembersThenOkOrNextStoresTheCategoryEmpty)
{
    for (bool viaNext : {false, true}) {
        WriteConfig(ThreeCategories);
        Open();
        Run(1, [&](TSettingsForm &f) {
            f.ClearLinksButton->click();
            EXPECT_EQ(f.ShownRowCount(), kMaxLinks) << "empty slots count as shown";
            EXPECT_EQ(f.Label3->text(), "0 / 50");
            EXPECT_FALSE(f.ClearLinksButton->isEnabled());
            if (viaNext) {
                f.NextCatButton->click();
                EXPECT_EQ(f.CurrentCategory, 1);
            }
            f.OKButton->click();
        });
        EXPECT_TRUE(Messages().empty());
        auto saved = Saved();
        EXPECT_EQ(saved->LinkCount(0), 0) << (viaNext ? "next" : "ok");
        EXPECT_EQ(FieldText(saved->categories[0].name), "alpha");
        EXPECT_EQ(saved->LinkCount(1), 2);
        window.reset();
    }
}

TEST_F(Settings, NextAndPrevCheckInOrderAndStay)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        f.NextCatButton->click(); // to "beta"
        ASSERT_EQ(f.CurrentCategory, 1);
        f.Rows[1]->PathEdit->setText("");
        f.CatTypeDropDown->setCurrentIndex(-1);
        f.CatNameEdit->setText("");
        const QString incomplete = "Please complete the current Category Members.";
        for (QPushButton *button : {f.NextCatButton, f.PrevCatButton}) {
            forms::ClearShownMessages();
            button->click();
            f.CatNameEdit->setText("beta");
            button->click();
            f.CatTypeDropDown->setCurrentIndex(ctMultiple);
            button->click();
            EXPECT_EQ(Messages(), (std::vector<QString>{"Please fill in the Category Name field.",
                                                        "Please choose a valid Category Type.", incomplete}));
            for (const forms::ShownMessage &m : ShownMessages()) {
                EXPECT_EQ(m.caption, "Input Error");
                EXPECT_EQ(m.icon, forms::Icon::Exclamation);
            }
            EXPECT_EQ(f.CurrentCategory, 1);
            f.CatNameEdit->setText("");
            f.CatTypeDropDown->setCurrentIndex(-1);
        }
        forms::ClearShownMessages();
        f.Rows[1]->NameEdit->setText("");
        f.AddLinkButton->click();
        EXPECT_EQ(Messages(),
                  std::vector<QString>{"Please complete the current Category Members before adding more."});
        EXPECT_EQ(f.MemberCount[1], 2);
    });
}

TEST_F(Settings, OkChecksShowTheirPage)
{
    WriteConfig(ThreeCategories);
    Open();
    const struct {
        std::function<void(TSettingsForm &)> spoil;
        QString message, tab;
    } cases[] = {
        {[](TSettingsForm &f) { f.AppNameEdit->clear(); }, "Please enter a Program Name.", "Settings"},
        {[](TSettingsForm &f) { f.CatNameEdit->clear(); }, "Please fill in the Category Name field.",
         "Category Editor"},
        {[](TSettingsForm &f) { f.CatTypeDropDown->setCurrentIndex(-1); },
         "Please choose a valid Category Type.", "Category Editor"},
        {[](TSettingsForm &f) { f.Rows[2]->PathEdit->clear(); },
         "Please complete the current Category Members before continuing.", "Category Editor"},
    };
    for (const auto &tc : cases) {
        forms::ClearShownMessages();
        Run(3, [&](TSettingsForm &f) {
            tc.spoil(f);
            f.OKButton->click();
            EXPECT_TRUE(f.isVisible()) << "the form stays open";
            EXPECT_EQ(f.PageControl->tabText(f.PageControl->currentIndex()), tc.tab);
        });
        EXPECT_EQ(Messages(), std::vector<QString>{tc.message});
    }
}

TEST_F(Settings, TheFirstUnusedSlot)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        f.NextCatButton->click();
        f.NextCatButton->click();
        f.NextCatButton->click();
        ASSERT_EQ(f.CurrentCategory, 3);
        EXPECT_TRUE(f.IsNewCategory());
        EXPECT_EQ(f.Label3->text(), "1 / 50");
        EXPECT_EQ(f.ShownRowCount(), 1);
        EXPECT_EQ(f.CatTypeDropDown->currentIndex(), -1);
        // Back without any check: the empty slot is left alone.
        f.PrevCatButton->click();
        EXPECT_TRUE(Messages().empty());
        EXPECT_EQ(f.CurrentCategory, 2);
        f.NextCatButton->click();
        f.OKButton->click();
        EXPECT_FALSE(f.isVisible());
    });
    EXPECT_TRUE(Messages().empty());
    auto saved = Saved();
    EXPECT_EQ(saved->CategoryCount(), 3);
    EXPECT_EQ(PanelCount, 3);
}

// The row shown at once on a new category loads before the category has a
// type; its link must still be stored with the category's type, or it would
// do nothing when clicked. Only a category of several types keeps each
// row's own choice.
TEST_F(Settings, LinksOfANewCategoryTakeItsType)
{
    for (int type : {ctApplications, ctWebsites, ctDirectories, ctFiles, ctGames, ctMultiple}) {
        SCOPED_TRACE(type);
        WriteConfig(ThreeCategories);
        Open();
        Run(1, [&](TSettingsForm &f) {
            for (int i = 0; i < 3; ++i)
                f.NextCatButton->click();
            ASSERT_EQ(f.CurrentCategory, 3);
            ASSERT_EQ(f.Rows[0]->TypeDropDown->currentIndex(), -1) << "the row came before the type";
            QTest::keyClicks(f.CatNameEdit, "new");
            f.CatTypeDropDown->setCurrentIndex(type);
            if (type == ctMultiple)
                f.Rows[0]->TypeDropDown->setCurrentIndex(ctGames);
            QTest::keyClicks(f.Rows[0]->NameEdit, "first");
            QTest::keyClicks(f.Rows[0]->PathEdit, "/first");
            f.AddLinkButton->click();
            QTest::keyClicks(f.Rows[1]->NameEdit, "second");
            QTest::keyClicks(f.Rows[1]->PathEdit, "/second");
            f.OKButton->click();
            EXPECT_FALSE(f.isVisible());
        });
        const auto saved = Saved();
        const LinkRecord *links = saved->categories[3].links;
        const int expected = type == ctMultiple ? ctGames : type;
        EXPECT_EQ(links[0].type, expected);
        EXPECT_EQ(links[1].type, type == ctMultiple ? ctApplications : type);
        EXPECT_EQ(window->CategoryArea->panels[3]->linkLabels[0]->type, expected);
        window.reset();
    }
}

// A category of one type whose type the user changes stores its links with
// the new type, though the rows were not loaded again.
TEST_F(Settings, LinksFollowAChangedCategoryType)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        f.CatTypeDropDown->setCurrentIndex(ctDirectories);
        f.OKButton->click();
    });
    auto saved = Saved();
    for (int l = 0; l < 3; ++l)
        EXPECT_EQ(saved->categories[0].links[l].type, ctDirectories) << l;
}

TEST_F(Settings, ButtonStatesAtTheLimits)
{
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 0; c < kMaxCategories; ++c)
            AddCategory(m, c, "c" + std::to_string(c), c == 0 ? 50 : 1);
    });
    Open();
    Run(1, [&](TSettingsForm &f) {
        EXPECT_FALSE(f.PrevCatButton->isEnabled());
        EXPECT_TRUE(f.NextCatButton->isEnabled());
        EXPECT_EQ(f.Label3->text(), "50 / 50");
        EXPECT_FALSE(f.AddLinkButton->isEnabled());
        EXPECT_TRUE(f.ClearLinksButton->isEnabled());
        f.AddLinkButtonClick(); // reached anyway
        EXPECT_EQ(f.MemberCount[0], 50);
        EXPECT_EQ(Messages().size(), 1u);
        EXPECT_FALSE(f.Rows[0]->UpButton->isVisibleTo(f.Rows[0]));
        EXPECT_TRUE(f.Rows[0]->DownButton->isVisibleTo(f.Rows[0]));
        EXPECT_TRUE(f.Rows[49]->UpButton->isVisibleTo(f.Rows[49]));
        EXPECT_FALSE(f.Rows[49]->DownButton->isVisibleTo(f.Rows[49]));
        f.ClearLinksButton->click();
        EXPECT_TRUE(f.AddLinkButton->isEnabled());
        EXPECT_FALSE(f.ClearLinksButton->isEnabled());
        f.AddLinkButton->click();
        f.Rows[0]->NameEdit->setText("n");
        f.Rows[0]->PathEdit->setText("/p");
        for (int i = 0; i < 19; ++i)
            f.NextCatButton->click();
        EXPECT_EQ(f.CurrentCategory, 19);
        EXPECT_FALSE(f.NextCatButton->isEnabled());
        EXPECT_TRUE(f.PrevCatButton->isEnabled());
        forms::ClearShownMessages();
        f.NextCatButtonClick(); // a 21st category, reached anyway
        EXPECT_EQ(f.CurrentCategory, 19);
        EXPECT_EQ(Messages().size(), 1u);
    });
}

// ">>" disables itself on the last category while it has the keyboard
// focus. The focus must not pass on to the category's name with its text
// selected, where the next key would overwrite the name; nor may "<<", on
// the first category, hand it to anything that takes typing.
TEST_F(Settings, AnArrowThatDisablesItselfLeavesTheFocusHarmless)
{
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 0; c < kMaxCategories; ++c)
            AddCategory(m, c, "c" + std::to_string(c), 1);
    });
    Open();
    Run(1, [&](TSettingsForm &f) {
        f.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
        const struct {
            QPushButton *arrow;
            int from, to;
        } cases[] = {{f.NextCatButton, 18, 19}, {f.PrevCatButton, 1, 0}};
        for (const auto &tc : cases) {
            SCOPED_TRACE(tc.to);
            while (f.CurrentCategory < tc.from)
                f.NextCatButton->click();
            while (f.CurrentCategory > tc.from)
                f.PrevCatButton->click();
            tc.arrow->setFocus();
            QTest::keyClick(tc.arrow, Qt::Key_Space);
            ASSERT_EQ(f.CurrentCategory, tc.to);
            EXPECT_FALSE(tc.arrow->isEnabled());
            QWidget *focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            EXPECT_TRUE(qobject_cast<QPushButton *>(focus)) << focus->metaObject()->className();
            QTest::keyClicks(focus, "x");
            EXPECT_EQ(f.CatNameEdit->text().toStdString(), "c" + std::to_string(tc.to));
            EXPECT_EQ(FieldText(KVOP->categories[tc.to].name), "c" + std::to_string(tc.to));
        }
    });
}

TEST_F(Settings, TypeDropDownsFollowTheCategoryType)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        // Files: rows show the category's type and cannot change it.
        EXPECT_FALSE(f.Rows[0]->TypeDropDown->isEnabled());
        EXPECT_EQ(f.Rows[0]->TypeDropDown->currentIndex(), ctFiles);
        EXPECT_EQ(f.Rows[0]->TypeDropDown->count(), 5) << "no \"Multiple\" for a link";
        EXPECT_TRUE(f.Rows[0]->PathBrowseButton->isEnabled());
        f.NextCatButton->click(); // several types: each row its own
        EXPECT_TRUE(f.Rows[0]->TypeDropDown->isEnabled());
        EXPECT_EQ(f.Rows[0]->TypeDropDown->currentIndex(), ctWebsites);
        EXPECT_EQ(f.Rows[1]->TypeDropDown->currentIndex(), ctGames);
        EXPECT_FALSE(f.Rows[0]->PathBrowseButton->isEnabled());
        EXPECT_TRUE(f.Rows[1]->PathBrowseButton->isEnabled());
        f.Rows[0]->TypeDropDown->setCurrentIndex(ctFiles);
        EXPECT_TRUE(f.Rows[0]->PathBrowseButton->isEnabled());
        // Changing the category's type leaves the rows until they load again.
        f.CatTypeDropDown->setCurrentIndex(ctDirectories);
        EXPECT_FALSE(f.Rows[1]->TypeDropDown->isEnabled());
        EXPECT_EQ(f.Rows[1]->TypeDropDown->currentIndex(), ctGames);
        EXPECT_FALSE(f.Rows[0]->PathBrowseButton->isEnabled());
        f.CatTypeDropDown->setCurrentIndex(ctMultiple);
        f.NextCatButton->click();
        f.PrevCatButton->click();
        EXPECT_EQ(f.Rows[0]->TypeDropDown->currentIndex(), ctFiles) << "stored on write-back";
    });
}

TEST_F(Settings, MemberRowsEditMoveDeleteAndBrowse)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        const int h = f.Rows[0]->height();
        for (int i : {0, 1, 2, 49}) {
            EXPECT_EQ(f.Rows[i]->y(), i * (h + 1) + 1);
            EXPECT_EQ(f.Rows[i]->NumberLabel->text(), QString::number(i + 1));
        }
        // Typing reaches the model at once (here before the old name), and no
        // more can be typed than the field holds in whole characters.
        Type(f.Rows[0]->NameEdit, QString(60, QChar(0x00E9)));
        EXPECT_EQ(forms::ModelText(KVOP->categories[0].links[0].name), QString(21, QChar(0x00E9)) + "alpha0");
        f.Rows[0]->NameEdit->setText("a");
        f.Rows[0]->NameEdit->textEdited("a");
        f.Rows[1]->UpButton->click();
        EXPECT_EQ(FieldText(KVOP->categories[0].links[0].name), "alpha1");
        EXPECT_EQ(f.Rows[0]->NameEdit->text(), "alpha1");
        EXPECT_EQ(f.Rows[1]->NameEdit->text(), "a");
        f.Rows[0]->DownButton->click();
        EXPECT_EQ(f.Rows[0]->NameEdit->text(), "a");
        f.Rows[0]->DeleteButton->click();
        EXPECT_EQ(f.MemberCount[0], 2);
        EXPECT_EQ(f.Label3->text(), "2 / 50");
        EXPECT_EQ(f.Rows[0]->NameEdit->text(), "alpha1");
        EXPECT_FALSE(f.Rows[2]->isVisibleTo(f.TargetContent));
        // Browse: all files for a Files member; a cancelled dialog changes nothing.
        forms::SetNextFileName("/usr/bin/env");
        forms::SetNextFileName("");
        f.Rows[0]->PathBrowseButton->click();
        f.Rows[0]->PathBrowseButton->click();
        EXPECT_EQ(FieldText(KVOP->categories[0].links[0].path), "/usr/bin/env");
        EXPECT_EQ(f.Rows[0]->PathEdit->text(), "/usr/bin/env");
        ASSERT_EQ(forms::ShownFileDialogs().size(), 2u);
        EXPECT_EQ(forms::ShownFileDialogs()[0], "All Files (*.*)|*.*");
        f.CatTypeDropDown->setCurrentIndex(ctGames);
        f.Rows[0]->PathBrowseButton->click();
        EXPECT_EQ(forms::ShownFileDialogs().back(), "Executables (*.exe)|*.exe");
    });
}

// The WCAG contrast ratio of two colours, 1 (none) to 21 (black on white).
double Contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) {
            v /= 255.0;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
    };
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// What a control looks like inside its frame, from the pixels: the colour
// most of it has, and the colour that stands out most from that (its text).
struct Ink {
    QColor background, text;
    double contrast = 1;
};

Ink InkOf(const QImage &image, const QRect &inside)
{
    std::map<QRgb, int> counts;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y) | 0xFF000000u];
    Ink ink;
    ink.background = QColor(std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) {
                                return a.second < b.second;
                            })->first);
    for (const auto &[rgb, n] : counts)
        if (const double c = Contrast(QColor(rgb), ink.background); c > ink.contrast) {
            ink.contrast = c;
            ink.text = QColor(rgb);
        }
    return ink;
}

// A member row shows the link colour on its panel only: its edits, drop-down
// and button keep the desktop's colours, so that their text reads on any
// link colour and a disabled control looks disabled.
TEST_F(Settings, MemberRowsReadOnAnyLinkColour)
{
    const struct {
        const char *name;
        RGBColour colour;
    } colours[] = {{"dark", {20, 20, 60}}, {"light", {250, 240, 200}}, {"default", {255, 156, 0}}};
    std::map<std::string, QColor> browseBackgrounds;
    for (const auto &lc : colours) {
        SCOPED_TRACE(lc.name);
        WriteConfig([&](KVUIOperationClass &m) {
            ThreeCategories(m);
            for (int c : {0, 2})
                m.categories[c].linkColour = lc.colour;
        });
        Open();
        Run(1, [&](TSettingsForm &f) {
            const auto shot = [&](const char *what) {
                TKVCategoryPanel *row = f.Rows[0];
                row->NameEdit->setText("Wide Wide Wide");
                row->PathEdit->setText("/usr/bin/WWWW");
                const QImage image = row->grab().toImage();
                EXPECT_EQ(image.pixelColor(row->NumberLabel->x() - 1, 2), QColor(lc.colour.r, lc.colour.g, lc.colour.b))
                    << what << ": the panel takes the link colour";
                for (QWidget *edit : {static_cast<QWidget *>(row->NameEdit), static_cast<QWidget *>(row->PathEdit)}) {
                    const Ink ink = InkOf(image, edit->geometry().adjusted(4, 4, -4, -4));
                    EXPECT_GT(ink.contrast, 4.5) << what << ": text " << ink.text.name().toStdString() << " on "
                                                 << ink.background.name().toStdString();
                    EXPECT_LT(Contrast(ink.text, QColor(30, 30, 30)), 1.5) << what << ": the edits' text";
                    EXPECT_EQ(ink.background, QApplication::palette().color(QPalette::Base))
                        << what << ": the desktop's colour for edits";
                }
                return image;
            };
            // Files: Browse enabled. Websites: Browse disabled.
            const QImage files = shot("files");
            const Ink enabled = InkOf(files, f.Rows[0]->PathBrowseButton->geometry().adjusted(3, 3, -3, -3));
            f.NextCatButton->click();
            f.NextCatButton->click();
            ASSERT_EQ(f.CatTypeDropDown->currentIndex(), ctWebsites);
            ASSERT_FALSE(f.Rows[0]->PathBrowseButton->isEnabled());
            const QImage web = shot("websites");
            const Ink disabled = InkOf(web, f.Rows[0]->PathBrowseButton->geometry().adjusted(3, 3, -3, -3));
            EXPECT_GT(enabled.contrast, 4.5) << "Browse's caption";
            EXPECT_LT(disabled.contrast, enabled.contrast - 1) << "a disabled Browse looks like an enabled one";
            browseBackgrounds[lc.name] = enabled.background;
        });
        window.reset();
    }
    EXPECT_EQ(browseBackgrounds["dark"], browseBackgrounds["light"]) << "buttons take the desktop's colour";
}

// Each member's number fits whole in the margin left of the edits, with a
// gap before the name edit, up to 50.
TEST_F(Settings, MemberNumbersFitBesideTheNameEdit)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "full", 50); });
    Open();
    Run(1, [&](TSettingsForm &f) {
        for (int i = 0; i < kMaxLinks; ++i) {
            SCOPED_TRACE(i + 1);
            const TKVCategoryPanel *row = f.Rows[i];
            const QLabel *number = row->NumberLabel;
            ASSERT_EQ(number->text(), QString::number(i + 1));
            const QRect at = number->geometry();
            EXPECT_GE(at.left(), 0);
            EXPECT_LE(at.right() + 3, row->NameEdit->x()) << "touches the name edit";
            EXPECT_GE(at.width(), QFontMetrics(number->font()).horizontalAdvance(number->text()))
                << "the number is cut";
            EXPECT_GE(at.top(), 0);
            EXPECT_LE(at.bottom(), row->PathEdit->y());
        }
        // One size for all of them, bold, and no smaller than it must be.
        const QFont font = f.Rows[0]->NumberLabel->font();
        EXPECT_EQ(font, f.Rows[49]->NumberLabel->font());
        EXPECT_TRUE(font.bold());
        EXPECT_GE(font.pointSizeF(), 10);
    });
}

TEST_F(Settings, DockPictureAndAutoModeSwitches)
{
    WriteConfig([](KVUIOperationClass &m) {
        m.settings.dockPosition = dpTopRight;
        m.settings.autoMode = m.settings.dockWindow = m.settings.alwaysOnTop = true;
        m.settings.autoAlpha = m.settings.mouseOverSectionResize = true;
    });
    Open();
    Run(2, [&](TSettingsForm &f) {
        const auto highlighted = [&] {
            std::vector<int> blue;
            for (int k = 0; k < 11; ++k)
                if (f.DockShapes[k]->brushColor() == 0xF0CAA6)
                    blue.push_back(k);
                else
                    EXPECT_EQ(f.DockShapes[k]->brushColor(), 0xFFFFFFu);
            return blue;
        };
        EXPECT_EQ(highlighted(), std::vector<int>{dpTopRight});
        EXPECT_TRUE(f.DockRadios[dpTopRight]->isChecked());
        f.DockRadios[dpAbsoluteLeft]->click();
        EXPECT_EQ(highlighted(), std::vector<int>{dpAbsoluteLeft});
        EXPECT_EQ(KVOP->settings.dockPosition, dpAbsoluteLeft) << "at once";

        QCheckBox *four[] = {f.DWCheck, f.AOTCheck, f.AACheck, f.MOSRCheck};
        for (QCheckBox *box : four) {
            EXPECT_TRUE(f.AMCheck->isChecked());
            box->click();
        }
        EXPECT_FALSE(f.AMCheck->isChecked());
        f.AACheck->click();
        EXPECT_FALSE(f.AMCheck->isChecked()) << "nothing is checked for the user";
        EXPECT_TRUE(KVOP->settings.autoMode) << "the model changes only on OK";
    });
}

// The transparency slider is 13 pixels high with its ticks below; its
// handle, 10 pixels long across the groove, lies wholly inside it at either
// end of the range, with the ticks below it.
TEST_F(Settings, TheTransparencyHandleIsWhollyShown)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(2, [&](TSettingsForm &f) {
        QSlider *track = f.AlphaTrack;
        EXPECT_EQ(track->geometry(), QRect(6, 168, 189, 13));
        for (int value : {track->minimum(), 150, track->maximum()}) {
            SCOPED_TRACE(value);
            track->setValue(value);
            QStyleOptionSlider option;
            option.initFrom(track);
            option.subControls = QStyle::SC_All;
            option.orientation = track->orientation();
            option.minimum = track->minimum();
            option.maximum = track->maximum();
            option.sliderPosition = option.sliderValue = track->value();
            option.tickPosition = track->tickPosition();
            option.tickInterval = track->tickInterval();
            const QRect handle =
                track->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, track);
            EXPECT_TRUE(track->rect().contains(handle))
                << handle.x() << "," << handle.y() << " " << handle.width() << "x" << handle.height();
            EXPECT_EQ(handle.height(), 10);
            EXPECT_LT(handle.bottom(), track->height() - 1) << "no room left for the ticks";
        }
        // The pixels agree: above the handle's middle the page shows, as it
        // does at the far end, so the handle's top edge is drawn inside.
        track->setValue(track->minimum());
        const QImage image = track->grab().toImage();
        EXPECT_EQ(image.pixelColor(7, 0), image.pixelColor(image.width() / 2, 0));
    });
}

TEST_F(Settings, ColoursDefaultsAndFonts)
{
    WriteConfig([](KVUIOperationClass &m) {
        SetField(m.appearance.headingsFont, "No Such Font Family");
        SetField(m.appearance.linksFont, "");
        m.useWindowsColours = true;
    });
    Open();
    Run(4, [&](TSettingsForm &f) {
        for (QPushButton *b : f.ColourButtons)
            EXPECT_FALSE(b->isEnabled());
        // A font the screen lacks is listed, marked and kept.
        EXPECT_EQ(f.HeadingFontCombo->Name(), "No Such Font Family");
        EXPECT_FALSE(TKVFontList::Installed(f.HeadingFontCombo, f.HeadingFontCombo->currentIndex()));
        EXPECT_EQ(f.LinkFontCombo->currentIndex(), -1);
        forms::SetNextAnswer(forms::idNo);
        f.DefaultsButton->click();
        EXPECT_TRUE(KVOP->useWindowsColours);
        forms::SetNextAnswer(forms::idYes);
        f.DefaultsButton->click();
        ASSERT_EQ(ShownMessages().size(), 2u);
        EXPECT_EQ(ShownMessages()[0].text, "Do you really want to revert to the defaults?");
        EXPECT_EQ(ShownMessages()[0].caption, "Defaults");
        EXPECT_EQ(ShownMessages()[0].defaultButton, 2);
        EXPECT_FALSE(KVOP->useWindowsColours);
        EXPECT_FALSE(f.WinColoursCheck->isChecked());
        for (QPushButton *b : f.ColourButtons)
            EXPECT_TRUE(b->isEnabled());
        EXPECT_EQ(f.HeadingFontCombo->Name(), forms::ModelText(KVOP->appearance.headingsFont));
        forms::SetNextColour(0x0000FF);
        f.ColourButtons[crClock]->click();
        EXPECT_EQ(f.ColourShapes[crClock]->brushColor(), 0x0000FFu);
        EXPECT_EQ(TColorFromColour(KVOP->GetColour(crClock)), 0x0000FFu);
        forms::SetNextColour(std::nullopt);
        f.ColourButtons[crClock]->click();
        EXPECT_EQ(TColorFromColour(KVOP->GetColour(crClock)), 0x0000FFu);
        f.HeadingFontCombo->SelectName("No Such Font Family");
        f.OKButton->click();
    });
    auto saved = Saved();
    EXPECT_EQ(FieldText(saved->appearance.headingsFont), "No Such Font Family");
    EXPECT_EQ(TColorFromColour(saved->GetColour(crClock)), 0x0000FFu);
}

// A font name too long for its list is cut with an ellipsis, in the closed
// list and in its drop-down; the mark of a font the screen lacks stays whole
// after it, so the user sees why the name is not in its own face.
TEST_F(Settings, LongFontNamesAreCutAndKeepTheirMark)
{
    const QString missing = QStringLiteral("SF Proverbial Gothic Extended");
    WriteConfig([&](KVUIOperationClass &m) { SetField(m.appearance.titleFont, missing.toStdString()); });
    Open();
    Run(4, [&](TSettingsForm &f) {
        TKVFontList *list = f.TitleFontCombo;
        ASSERT_EQ(list->Name(), missing);
        ASSERT_FALSE(TKVFontList::Installed(list, list->currentIndex()));
        QFont face = list->font();
        face.setItalic(true);
        face.setPointSize(12);
        const QFontMetrics metrics(face);
        ASSERT_GT(metrics.horizontalAdvance(missing + " (not installed)"), list->width())
            << "the case needs a name too long for the list";

        const auto expectCutWithMark = [&](const QString &shown, int width) {
            EXPECT_TRUE(shown.endsWith(" (not installed)")) << shown.toStdString();
            EXPECT_TRUE(shown.startsWith("SF P")) << shown.toStdString();
            EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
            EXPECT_LE(metrics.horizontalAdvance(shown), width) << shown.toStdString();
        };
        const QString field = list->FieldText();
        SCOPED_TRACE(field.toStdString());
        expectCutWithMark(field, list->width());
        list->showPopup();
        const int popupWidth = list->view()->viewport()->width();
        expectCutWithMark(list->ShownText(list->currentIndex(), popupWidth), popupWidth);
        list->hidePopup();
        // An installed name that fits is shown as it is.
        TKVFontList *other = f.HeadingFontCombo;
        int shortest = -1;
        for (int i = 0; i < other->count(); ++i)
            if (TKVFontList::Installed(other, i) &&
                (shortest < 0 || other->itemText(i).size() < other->itemText(shortest).size()))
                shortest = i;
        ASSERT_GE(shortest, 0);
        other->setCurrentIndex(shortest);
        EXPECT_EQ(other->FieldText().toStdString(), other->Name().toStdString());
    });
}

TEST_F(Settings, CaptionsFitAndControlsStayInside)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        for (int tab = 0; tab < f.PageControl->count(); ++tab) {
            f.PageControl->setCurrentIndex(tab);
            for (QWidget *w : f.findChildren<QWidget *>()) {
                if (!w->isVisible() || !w->parentWidget() || qobject_cast<QScrollArea *>(w->parentWidget()))
                    continue;
                const QString where = w->metaObject()->className() + QStringLiteral(" ") + w->objectName();
                // Nothing hangs out of what holds it (the rows scroll inside their box).
                if (w->parentWidget() != f.TargetContent &&
                    w->parentWidget()->parentWidget() != f.TargetContent &&
                    w->parentWidget()->objectName() != "qt_scrollarea_viewport") {
                    EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
                        << where.toStdString() << " in " << w->parentWidget()->metaObject()->className()
                        << " at " << w->x() << "," << w->y() << " " << w->width() << "x" << w->height()
                        << " of " << w->parentWidget()->width() << "x" << w->parentWidget()->height();
                }
                // Siblings do not overlap, but for what is drawn on a shape.
                if (!qobject_cast<forms::TShape *>(w) && w->parentWidget() != f.TargetContent)
                    for (QObject *o : w->parentWidget()->children()) {
                        auto *other = qobject_cast<QWidget *>(o);
                        if (other && other != w && other->isVisible() &&
                            !qobject_cast<forms::TShape *>(other) && other->isWindow() == false) {
                            EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                                << where.toStdString() << " and " << other->metaObject()->className();
                        }
                    }
                QString text;
                int room = w->width();
                if (auto *b = qobject_cast<QPushButton *>(w)) {
                    text = b->text();
                    room -= 4; // the frame
                } else if (auto *l = qobject_cast<QLabel *>(w)) {
                    text = l->text();
                }
                if (!text.isEmpty() && !text.contains('\n')) {
                    EXPECT_LE(w->fontMetrics().horizontalAdvance(text), room)
                        << text.toStdString() << " in " << where.toStdString();
                }
            }
        }
    });
}

TEST_F(Settings, ClosingTheProgramUnderTheFormSavesOnlyWhatWasConfirmed)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        f.CatNameEdit->setText("unconfirmed");
        f.CatNameEditChange();
        ASSERT_EQ(FieldText(KVOP->categories[0].name), "unconfirmed");
        window->FormClose(); // the tray's Exit, or a signal
    });
    EXPECT_EQ(FieldText(Saved()->categories[0].name), "alpha");
}

TEST_F(Settings, ShowIconsGoesIntoTheIniFileAndNothingElse)
{
    const std::string ini = "; kept as written\r\n[Debug]\r\nDebugMode=0\r\n\r\n[Other]\r\nx = 1\r\n";
    std::ofstream("Kestrava.ini", std::ios::binary) << ini;
    WriteConfig(ThreeCategories);
    Open();
    const std::string config = FileBytes();
    const auto iconSlots = [&] {
        int on = 0, off = 0;
        for (TKVPanel *panel : window->CategoryArea->panels)
            for (int k = 0; panel && k < kMaxLinks; ++k)
                if (const TKVLabel *label = panel->linkLabels[k])
                    (label->hasIconSlot() ? on : off)++;
        return std::make_pair(on, off);
    };
    ASSERT_EQ(iconSlots().first, 0);
    const int labels = iconSlots().second;
    ASSERT_GT(labels, 0);

    struct Step {
        const char *what;
        bool check;       // the box as the step leaves it
        bool ok;          // OK, or Cancel
        const char *tail; // what the file then holds after ini, if anything
    } steps[] = {
        {"cancelled", true, false, ""},
        {"on", true, true, "[Preferences]\r\nLinkIcons=1\r\n"},
        {"unchanged", true, true, "[Preferences]\r\nLinkIcons=1\r\n"},
        {"off", false, true, "[Preferences]\r\nLinkIcons=0\r\n"},
    };
    bool shown = false;
    for (const Step &step : steps) {
        Run(4, [&](TSettingsForm &f) {
            EXPECT_EQ(f.PageControl->currentWidget(), f.AppearanceSheet);
            shown = f.LinkIconsCheck->isChecked();
            f.LinkIconsCheck->setChecked(step.check);
            (step.ok ? f.OKButton : f.CancelButton)->click();
        });
        EXPECT_EQ(FileBytes("Kestrava.ini"), ini + step.tail) << step.what;
        const bool on = step.ok ? step.check : shown;
        EXPECT_EQ(KVOP->linkIcons, on) << step.what;
        EXPECT_EQ(iconSlots(), on ? std::make_pair(labels, 0) : std::make_pair(0, labels)) << step.what;
        EXPECT_EQ(FileBytes(), config) << step.what << ": the configuration file holds no preference";
    }
    EXPECT_TRUE(ShownMessages().empty());
}

TEST_F(Settings, ShowIconsLeftOffMakesNoIniFile)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(4, [&](TSettingsForm &f) { f.OKButton->click(); });
    EXPECT_FALSE(std::filesystem::exists("Kestrava.ini"));
}

TEST_F(Settings, ShowIconsThatCannotBeStoredIsSaidAndKeptForTheRun)
{
    std::filesystem::create_directory("Kestrava.ini");
    WriteConfig(ThreeCategories);
    Open();
    Run(4, [&](TSettingsForm &f) {
        f.LinkIconsCheck->setChecked(true);
        f.OKButton->click();
    });
    EXPECT_TRUE(KVOP->linkIcons);
    ASSERT_EQ(ShownMessages().size(), 1u);
    EXPECT_TRUE(ShownMessages()[0].text.contains("Show icons")) << ShownMessages()[0].text.toStdString();
    EXPECT_TRUE(std::filesystem::is_directory("Kestrava.ini"));
}

TEST_F(Settings, OkWritesTheSettingsToTheDebugWindow)
{
    std::ofstream("Kestrava.ini") << "[Debug]\nDebugMode=1\n";
    WriteConfig([](KVUIOperationClass &m) { m.settings.dockPosition = dpAbsoluteLeft; });
    TDebugForm debug;
    DebugForm = &debug;
    Open();
    Run(2, [&](TSettingsForm &f) { f.OKButton->click(); });
    DebugForm = nullptr;
    const QStringList lines = debug.Memo1->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 12);
    const QStringList last = lines.mid(lines.size() - 12);
    EXPECT_TRUE(last[0].startsWith("Title Font = "));
    EXPECT_EQ(last[9], "Dock Position: Absolute Left");
    EXPECT_EQ(last[10], "-----==========-----");
}

TEST_F(Settings, FooterAndWindowsColours)
{
    WriteConfig([](KVUIOperationClass &m) { m.useWindowsColours = true; });
    QPalette desktop = QApplication::palette();
    desktop.setColor(QPalette::Button, QColor(1, 2, 3));
    desktop.setColor(QPalette::Shadow, QColor(4, 5, 6));
    QApplication::setPalette(desktop);
    Open();
    EXPECT_EQ(window->Colour(crBackground), 0x030201u);
    EXPECT_EQ(window->Colour(crPanels), 0x060504u);
    QApplication::setPalette(QPalette());
    Run(3, [&](TSettingsForm &f) {
        EXPECT_EQ(f.VersionLabel->text(), "Version: 1.1.8");
        EXPECT_EQ(f.LinkLabel->toolTip(), QString::fromStdString(KVUIOperationClass::GetHomePageURL()));
        // Centred between the version and OK, and on the screen.
        EXPECT_LE(std::abs((f.LinkLabel->x() - f.VersionLabel->geometry().right()) -
                           (f.OKButton->x() - f.LinkLabel->geometry().right())),
                  2);
        EXPECT_LE((f.geometry().center() - f.screen()->availableGeometry().center()).manhattanLength(), 4);
        QTest::mousePress(f.LinkLabel, Qt::LeftButton);
        EXPECT_EQ(forms::FontColor(f.LinkLabel), 0xFFFFFFu);
        EXPECT_TRUE(platform::FakeLaunch().calls.empty());
        QTest::mouseRelease(f.LinkLabel, Qt::LeftButton);
        EXPECT_EQ(forms::FontColor(f.LinkLabel), 0xFF0000u);
        ASSERT_EQ(platform::FakeLaunch().calls.size(), 1u);
        EXPECT_EQ(platform::FakeLaunch().calls[0].what, "uri");
        EXPECT_EQ(platform::FakeLaunch().calls[0].target,
                  QString::fromStdString(KVUIOperationClass::GetHomePageURL()));
    });
}

TEST_F(Settings, ExecutablesAreFilesWithTheExecuteBit)
{
    namespace fs = std::filesystem;
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "tool") << "#!/bin/sh\n";
    fs::permissions(dir / "tool", fs::perms::owner_all);
    std::ofstream(dir / "notes.txt") << "text";
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(dir.string()));
    forms::SetUnattended(false);
    QStringList shown;
    for (const char *filter : {"Executables (*.exe)|*.exe", "All Files (*.*)|*.*"}) {
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
        EXPECT_FALSE(forms::OpenFileName(nullptr, QString::fromLatin1(filter), &file));
    }
    forms::SetUnattended(true);
    qputenv("HOME", home);
    EXPECT_EQ(shown, (QStringList{"folder,tool", "folder,notes.txt,tool"}));
}

TEST_F(Settings, NothingIsSavedWhileTheFormIsOpen)
{
    WriteConfig([](KVUIOperationClass &m) {
        ThreeCategories(m);
        m.settings.autoMode = m.settings.dockWindow = true;
        m.settings.dockPosition = dpTopLeft;
    });
    Open();
    window->show();
    const std::string file = FileBytes();
    Run(2, [&](TSettingsForm &f) {
        f.DockRadios[dpBottomRight]->click(); // the docked window follows at once
        f.CatNameEdit->setText("unconfirmed");
        f.CatNameEditChange();
        QTest::qWait(700); // past the window's settling save
        EXPECT_EQ(FileBytes(), file);
    });
    QTest::qWait(700);
    EXPECT_EQ(FieldText(Saved()->categories[0].name), "alpha");
    EXPECT_EQ(Saved()->settings.dockPosition, dpTopLeft);
}

TEST_F(Settings, OkAppliesToTheWindow)
{
    WriteConfig([](KVUIOperationClass &m) {
        ThreeCategories(m);
        m.categories[0].lockedOpen = true;
        m.categories[0].expanded = false;
        m.settings.autoMode = true;
        m.settings.alpha = 200;
    });
    Open();
    window->AlphaTrack->setValue(180);
    forms::SetNextColour(0x010203);
    Run(1, [&](TSettingsForm &f) {
        EXPECT_EQ(f.AlphaTrack->value(), 180);
        f.AlphaTrack->setValue(120);
        f.CatDescMemo->setPlainText("described");
        f.CatColourButton->click();
        for (QCheckBox *box : {f.DWCheck, f.AOTCheck, f.AACheck, f.MOSRCheck})
            box->setChecked(false);
        f.AMCheck->setChecked(true); // on again by hand, with nothing to run
        f.OKButton->click();
    });
    EXPECT_FALSE(window->DoxBox->isChecked()) << "Auto-Mode with every switch off is off";
    EXPECT_EQ(window->AlphaTrack->value(), 120);
    auto saved = Saved();
    EXPECT_FALSE(saved->settings.autoMode);
    EXPECT_EQ(FieldText(saved->categories[0].description), "described");
    EXPECT_EQ(TColorFromColour(saved->categories[0].colour), 0x010203u);
    EXPECT_TRUE(saved->categories[0].lockedOpen);
    EXPECT_FALSE(saved->categories[0].expanded);
}

TEST_F(Settings, TextLimitsKeepWhatIsStored)
{
    WriteConfig([](KVUIOperationClass &m) {
        ThreeCategories(m);
        SetField(m.categories[0].name, "a stored name of thirty chars!");
    });
    Open();
    Run(1, [&](TSettingsForm &f) {
        EXPECT_EQ(f.CatNameEdit->text(), "a stored name of thirty chars!") << "shown whole";
        Type(f.CatNameEdit, "x");
        EXPECT_EQ(f.CatNameEdit->text().size(), 30) << "not grown";
        f.CatNameEdit->setText("");
        Type(f.CatNameEdit, QString(25, QChar(0x00E9)));
        EXPECT_EQ(f.CatNameEdit->text(), QString(20, QChar(0x00E9))) << "20 characters typed";
        // The description takes no more than its field holds.
        f.CatDescMemo->setPlainText(QString(249, 'd'));
        f.CatDescMemo->moveCursor(QTextCursor::Start);
        f.CatDescMemo->insertPlainText("more");
        EXPECT_EQ(f.CatDescMemo->toPlainText(), QString(249, 'd'));
    });
}

// Typing into a full description refuses the key and keeps every character
// already there, wherever the cursor is.
TEST_F(Settings, TheDescriptionRefusesKeysPastItsFieldAndKeepsItsText)
{
    WriteConfig(ThreeCategories);
    Open();
    Run(1, [&](TSettingsForm &f) {
        QPlainTextEdit *memo = f.CatDescMemo;
        memo->clear();
        Type(memo, QString(250, 'a'));
        EXPECT_EQ(memo->toPlainText().toStdString(), std::string(249, 'a')) << "the 250th key is refused, the run kept";

        // Full, with the cursor in the middle: a key or a line break there
        // changes nothing; a character of two bytes does not fit beside 248.
        const auto toMiddle = [memo] {
            QTextCursor c = memo->textCursor();
            c.setPosition(120);
            memo->setTextCursor(c);
        };
        memo->setPlainText(QString(120, 'b') + QString(129, 'c'));
        toMiddle();
        Type(memo, "xyz");
        QTest::keyClick(memo, Qt::Key_Return);
        EXPECT_EQ(memo->toPlainText().toStdString(), std::string(120, 'b') + std::string(129, 'c'));
        memo->setPlainText(QString(124, 'b') + QString(124, 'c'));
        toMiddle();
        Type(memo, QString(QChar(0x00E9)) + "x" + "y");
        EXPECT_EQ(memo->toPlainText().toStdString(),
                  std::string(120, 'b') + "x" + std::string(4, 'b') + std::string(124, 'c'));
        f.OKButton->click();
    });
    EXPECT_EQ(FieldText(Saved()->categories[0].description),
              std::string(120, 'b') + "x" + std::string(4, 'b') + std::string(124, 'c'));
}

// A paste longer than a field is cut at the field's limit, the same way in
// every limited edit: what the field held stays, on both sides of the cursor,
// and as much of the paste as fits goes in, in whole characters.
TEST_F(Settings, EveryPasteIsCutAtItsFieldsLimit)
{
    WriteConfig(ThreeCategories);
    Open();
    TAddEntryForm addLink;
    addLink.EnsureBuilt();
        struct Field {
        const char *name;
        std::function<QWidget *(TSettingsForm &)> edit;
        int maxBytes, maxChars;
    };
    const Field fields[] = {
        {"category name", [](TSettingsForm &f) { return f.CatNameEdit; }, 49, 20},
        {"category description", [](TSettingsForm &f) { return f.CatDescMemo; }, 249, -1},
        {"member name", [](TSettingsForm &f) { return f.Rows[0]->NameEdit; }, 49, -1},
        {"member path", [](TSettingsForm &f) { return f.Rows[0]->PathEdit; }, 1999, -1},
        {"program name", [](TSettingsForm &f) { return f.AppNameEdit; }, 49, -1},
        {"add-link name", [&](TSettingsForm &) { return addLink.ShortNameEdit; }, 49, -1},
        {"add-link target", [&](TSettingsForm &) { return addLink.URLEdit; }, 1999, -1},
    };
    const auto text = [](QWidget *w) {
        if (auto *memo = qobject_cast<QPlainTextEdit *>(w))
            return memo->toPlainText();
        return static_cast<QLineEdit *>(w)->text();
    };
    const auto setText = [](QWidget *w, const QString &t, int cursor) {
        if (auto *memo = qobject_cast<QPlainTextEdit *>(w)) {
            memo->setPlainText(t);
            QTextCursor c = memo->textCursor();
            c.setPosition(cursor);
            memo->setTextCursor(c);
        } else {
            static_cast<QLineEdit *>(w)->setText(t);
            static_cast<QLineEdit *>(w)->setCursorPosition(cursor);
        }
    };
    const auto paste = [](QWidget *w, const QString &t) {
        QApplication::clipboard()->setText(t);
        QTest::keyClick(w, Qt::Key_V, Qt::ControlModifier);
    };
    Run(1, [&](TSettingsForm &f) {
        for (const Field &field : fields) {
            SCOPED_TRACE(field.name);
            QWidget *w = field.edit(f);
            const int chars = field.maxChars < 0 ? field.maxBytes : field.maxChars;
            // Into an empty field: exactly the limit.
            setText(w, QString(), 0);
            paste(w, QString(field.maxBytes + 30, 'p'));
            EXPECT_EQ(text(w).toStdString(), std::string(chars, 'p'));
            // Between two characters already there: both stay, and the paste
            // is cut before a character that would not fit whole.
            setText(w, "ab", 1);
            paste(w, QString(field.maxBytes, QChar(0x00E9)));
            const int fit = field.maxChars < 0 ? (field.maxBytes - 2) / 2 : field.maxChars - 2;
            EXPECT_EQ(text(w).toStdString(), ("a" + QString(fit, QChar(0x00E9)) + "b").toStdString());
            EXPECT_LE(text(w).toUtf8().size(), field.maxBytes);
            // What room is left takes the start of the next paste, and then
            // the field is full: a further paste changes nothing.
            const int room = field.maxChars < 0 ? field.maxBytes - 2 - 2 * fit : 0;
            const QString full = "a" + QString(fit, QChar(0x00E9)) + QString("more").left(room) + "b";
            paste(w, "more");
            EXPECT_EQ(text(w).toStdString(), full.toStdString());
            paste(w, "more");
            EXPECT_EQ(text(w).toStdString(), full.toStdString());
        }
        f.CatNameEdit->setText("alpha"); // leave the category complete
        f.Rows[0]->NameEdit->setText("n");
        f.Rows[0]->PathEdit->setText("/p");
    });
}

// A member's path takes the whole 1999 bytes of its field, is shown whole
// and stored whole; not the 49 of a name.
TEST_F(Settings, AMembersPathTakesItsWholeField)
{
    WriteConfig(ThreeCategories);
    Open();
    const QString ascii = "/" + QString(1998, 'p');
    const QString wide = "/" + QString(999, QChar(0x00E9)); // 1 + 1998 bytes
    for (const QString &path : {ascii, wide}) {
        Run(1, [&](TSettingsForm &f) {
            TKVLabeledEdit *edit = f.Rows[1]->PathEdit;
            edit->clear();
            Type(edit, path + "tail");
            EXPECT_EQ(edit->text().toStdString(), path.toStdString()) << "typed up to the field's last byte";
            EXPECT_EQ(FieldText(KVOP->categories[0].links[1].path), path.toStdString()) << "at once";
            f.OKButton->click();
        });
        EXPECT_EQ(FieldText(Saved()->categories[0].links[1].path), path.toStdString());
        Run(1, [&](TSettingsForm &f) { EXPECT_EQ(f.Rows[1]->PathEdit->text().toStdString(), path.toStdString()) << "shown whole"; });
    }
}

TEST_F(Settings, LookAtThePages)
{
    const QString out = qEnvironmentVariable("KV_SETTINGS_SHOTS");
    if (out.isEmpty())
        GTEST_SKIP() << "set KV_SETTINGS_SHOTS to a folder to get pictures of the pages";
    WriteConfig([](KVUIOperationClass &m) {
        // A full category of several link types.
        const struct {
            const char *name, *path;
            int type;
        } kinds[] = {{"Terminal", "/usr/bin/xterm", ctApplications},
                     {"News", "https://news.example.org/", ctWebsites},
                     {"Projects", "/home/sam/projects", ctDirectories},
                     {"Budget", "/home/sam/budget.ods", ctFiles},
                     {"Chess", "/usr/games/xboard", ctGames}};
        AddCategory(m, 0, "Everyday", 50, ctMultiple);
        SetField(m.categories[0].description, "What I open every morning.");
        for (int l = 0; l < 50; ++l) {
            LinkRecord &link = m.categories[0].links[l];
            const auto &k = kinds[l % 5];
            SetField(link.name,
                     l < 5 ? std::string(k.name) : k.name + std::string(" ") + std::to_string(l / 5 + 1));
            SetField(link.path, k.path);
            link.type = k.type;
        }
        AddCategory(m, 1, "Web", 3, ctWebsites);
    });
    Open();
    const char *names[] = {"", "editor", "settings", "about", "appearance"};
    for (int page = 1; page <= 4; ++page)
        Run(page, [&](TSettingsForm &f) { f.grab().save(out + "/settings-" + names[page] + ".png"); });
}

} // namespace
