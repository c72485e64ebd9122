#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "AddEntryFormUnit.h"
#include "Forms.h"
#include "CategoryPanels.h"
#include "CategoryTypeDropDown.h"
#include "Controls.h"
#include "WindowFixture.h"

namespace {

using AddEntry = WindowFixture;

const QString kExecutables = QStringLiteral("Executables (*.exe)|*.exe");
const QString kAllFiles = QStringLiteral("All Files (*.*)|*.*");

// Clicks category c's add button and runs drive inside the modal dialog's
// own loop. Whatever drive leaves open is cancelled, so a failing check
// cannot leave the test waiting. True when the dialog was shown.
bool AddThroughDialog(TKVGUIForm &form, int c, const std::function<void(TAddEntryForm &)> &drive)
{
    bool shown = false;
    QTimer::singleShot(0, [&] {
        if (!AddEntryForm || !AddEntryForm->isVisible())
            return;
        shown = true;
        drive(*AddEntryForm);
        if (AddEntryForm && AddEntryForm->isVisible())
            AddEntryForm->reject();
    });
    form.CategoryArea->panels[c]->addButton->click();
    // A refused add opens no loop; the pending call must not reach a later test.
    QCoreApplication::processEvents();
    return shown;
}

void Fill(TAddEntryForm &d, const QString &name, const QString &target)
{
    d.ShortNameEdit->setText(name);
    d.URLEdit->setText(target);
}

// A saved file nobody but the test wrote: the program saving anything puts
// its own description of category 0 back.
void MarkSavedFile()
{
    auto m = WindowFixture::Saved();
    SetField(m->categories[0].description, "untouched");
    ASSERT_TRUE(m->SaveConfiguration());
}

bool SavedFileUntouched()
{
    return std::string(WindowFixture::Saved()->categories[0].description) == "untouched";
}

// The dialog on its own, filled as the main window fills it: one section per
// type given, the first selected.
struct AddEntryDialog : ::testing::Test {
    TAddEntryForm dialog;

    void SetUp() override { forms::ClearShownMessages(); }
    void TearDown() override { forms::ClearShownMessages(); }

    void ShowWithSections(const std::vector<int> &types)
    {
        dialog.EnsureBuilt();
        dialog.SectionChoice->clear();
        for (int c = 0; c < kMaxCategories; ++c) {
            dialog.SectionTypes[c] = c < static_cast<int>(types.size()) ? types[c] : ctUnused;
            if (c < static_cast<int>(types.size()))
                dialog.SectionChoice->addItem(QStringLiteral("s%1").arg(c));
        }
        dialog.SectionChoice->setCurrentIndex(0);
        dialog.show();
    }
};

TEST_F(AddEntryDialog, DesignedLayout)
{
    dialog.EnsureBuilt();
    EXPECT_EQ(dialog.font(), forms::DialogFont());
    // The control column starts at its designed left, or further right when
    // the captions need it, and the name edit ends where the target edit does.
    const int column = dialog.SectionChoice->x();
    EXPECT_GE(column, 73);
    // Rows five pixels apart, the gap of the first two designed rows.
    EXPECT_EQ(dialog.SectionChoice->geometry(), QRect(column, 5, 127, 21));
    EXPECT_EQ(dialog.ShortNameEdit->geometry(), QRect(column, 31, 298 - column, 21));
    EXPECT_EQ(dialog.TypeChoice->geometry(), QRect(column, 57, 127, 21));
    EXPECT_EQ(dialog.LinkURLLabel->geometry().topLeft(), QPoint(7, 83));
    const int urlTop = 83 + dialog.LinkURLLabel->height() + 5;
    EXPECT_EQ(dialog.URLEdit->geometry(), QRect(7, urlTop, 291, 21));
    EXPECT_EQ(dialog.BrowseButton->geometry(), QRect(6, urlTop + 26, 74, 25));
    EXPECT_EQ(dialog.CancelButton->geometry(), QRect(143, urlTop + 26, 75, 25));
    EXPECT_EQ(dialog.AddEntryOK->geometry(), QRect(224, urlTop + 26, 75, 25));
    EXPECT_EQ(dialog.size(), QSize(306, urlTop + 26 + 25 + 5));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    // Each caption on its control's middle line, halves rounded down, and
    // clear of the control.
    int captionsRight = 0;
    const std::pair<forms::TLabel *, QWidget *> rows[] = {{dialog.LinkSectionLabel, dialog.SectionChoice},
                                                          {dialog.LinkNameLabel, dialog.ShortNameEdit},
                                                          {dialog.LinkTypeLabel, dialog.TypeChoice}};
    for (auto [label, control] : rows) {
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_EQ(label->x(), 7);
        EXPECT_EQ(label->y(), control->y() + control->height() / 2 - label->height() / 2);
        EXPECT_EQ(label->size(), label->sizeHint()); // the whole caption
        captionsRight = std::max(captionsRight, label->x() + label->width());
    }
    EXPECT_GE(column - captionsRight, 6);
    EXPECT_TRUE(column == 73 || column - captionsRight == 6) << "moved further than the captions need";
    EXPECT_TRUE(dialog.AddEntryOK->isDefault());
    EXPECT_EQ(dialog.ShortNameEdit->maxLength(), 49);
    EXPECT_EQ(dialog.URLEdit->maxLength(), 1999);
    ASSERT_EQ(dialog.TypeChoice->count(), 5);
    EXPECT_EQ(dialog.TypeChoice->itemText(4), QStringLiteral("Games"));
    EXPECT_FALSE(dialog.Accepted);
    for (int type : dialog.SectionTypes)
        EXPECT_EQ(type, -1);
}

// The state of the type choice and Browse for each kind of section, and the
// file dialog Browse opens.
TEST_F(AddEntryDialog, TypeChoiceAndBrowseFollowTheSectionType)
{
    struct Case {
        int sectionType;
        int chosen; // selected in the type choice, for a section of several types
        bool typeEnabled;
        int shownType;
        QString filter; // empty: Browse disabled
    };
    const Case cases[] = {
        {ctApplications, -1, false, ctApplications, kExecutables},
        {ctWebsites, -1, false, ctWebsites, {}},
        {ctDirectories, -1, false, ctDirectories, {}},
        {ctFiles, -1, false, ctFiles, kAllFiles},
        {ctGames, -1, false, ctGames, kExecutables},
        {ctMultiple, ctApplications, true, ctApplications, kExecutables},
        {ctMultiple, ctWebsites, true, ctWebsites, {}},
        {ctMultiple, ctDirectories, true, ctDirectories, {}},
        {ctMultiple, ctFiles, true, ctFiles, kAllFiles},
        {ctMultiple, ctGames, true, ctGames, kExecutables},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << "section type " << k.sectionType << ", chosen " << k.chosen);
        forms::ClearShownMessages();
        ShowWithSections({k.sectionType});
        if (k.chosen >= 0)
            dialog.TypeChoice->setCurrentIndex(k.chosen);
        EXPECT_EQ(dialog.TypeChoice->isEnabled(), k.typeEnabled);
        EXPECT_EQ(dialog.TypeChoice->currentIndex(), k.shownType);
        EXPECT_EQ(dialog.LinkType(), k.shownType);
        EXPECT_EQ(dialog.BrowseButton->isEnabled(), !k.filter.isEmpty());
        dialog.URLEdit->clear();
        forms::SetNextFileName(QStringLiteral("/usr/bin/env"));
        dialog.BrowseButtonClick(); // also what a disabled button would do if it were pressed
        if (k.filter.isEmpty()) {
            EXPECT_TRUE(forms::ShownFileDialogs().empty());
            EXPECT_TRUE(dialog.URLEdit->text().isEmpty());
        } else {
            ASSERT_EQ(forms::ShownFileDialogs().size(), 1u);
            EXPECT_EQ(forms::ShownFileDialogs()[0], k.filter);
            EXPECT_EQ(dialog.URLEdit->text(), QStringLiteral("/usr/bin/env"));
        }
        dialog.hide();
    }
}

TEST_F(AddEntryDialog, CancelledFileDialogChangesNothing)
{
    ShowWithSections({ctFiles});
    Fill(dialog, QStringLiteral("notes"), QStringLiteral("/home/notes.txt"));
    forms::SetNextFileName(QString());
    dialog.BrowseButton->click();
    EXPECT_EQ(forms::ShownFileDialogs().size(), 1u);
    EXPECT_EQ(dialog.URLEdit->text(), QStringLiteral("/home/notes.txt"));
    EXPECT_TRUE(dialog.AddEntryOK->isEnabled());
}

TEST_F(AddEntryDialog, TypeChoiceKeepsALinkTypeAndOtherwiseOffersApplications)
{
    ShowWithSections({ctMultiple, ctWebsites, ctMultiple});
    dialog.TypeChoice->setCurrentIndex(ctGames);
    dialog.SectionChoice->setCurrentIndex(2); // another section of several types
    EXPECT_TRUE(dialog.TypeChoice->isEnabled());
    EXPECT_EQ(dialog.TypeChoice->currentIndex(), ctGames);

    dialog.SectionChoice->setCurrentIndex(1);
    EXPECT_FALSE(dialog.TypeChoice->isEnabled());
    EXPECT_EQ(dialog.TypeChoice->currentIndex(), ctWebsites);
    EXPECT_FALSE(dialog.BrowseButton->isEnabled());
    dialog.SectionChoice->setCurrentIndex(0); // the shown type is a link type: it stays
    EXPECT_TRUE(dialog.TypeChoice->isEnabled());
    EXPECT_EQ(dialog.TypeChoice->currentIndex(), ctWebsites);

    // No section: nothing to add to, and no type to show.
    Fill(dialog, QStringLiteral("a"), QStringLiteral("b"));
    dialog.SectionChoice->setCurrentIndex(-1);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Add link to section: "));
    EXPECT_FALSE(dialog.AddEntryOK->isEnabled());
    EXPECT_FALSE(dialog.TypeChoice->isEnabled());
    EXPECT_EQ(dialog.TypeChoice->currentIndex(), -1);
    EXPECT_FALSE(dialog.BrowseButton->isEnabled());
    dialog.SectionChoice->setCurrentIndex(2); // nothing chosen: the first type
    EXPECT_EQ(dialog.TypeChoice->currentIndex(), ctApplications);
    EXPECT_TRUE(dialog.AddEntryOK->isEnabled());
}

TEST_F(AddEntry, OKNeedsAShortNameAndATargetAndAddsTheLink)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "tools", 2, ctApplications); });
    TKVGUIForm form;
    const int aboveCalls = platform::FakeWindows().aboveCalls;
    ASSERT_TRUE(AddThroughDialog(form, 0, [](TAddEntryForm &d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Add link to section: tools"));
        EXPECT_EQ(d.SectionChoice->currentIndex(), 0);
        EXPECT_EQ(d.focusWidget(), d.ShortNameEdit);
        EXPECT_FALSE(d.AddEntryOK->isEnabled());
        QTest::keyClicks(d.ShortNameEdit, QStringLiteral("Editor"));
        EXPECT_FALSE(d.AddEntryOK->isEnabled());
        QTest::keyClicks(d.URLEdit, QStringLiteral("/usr/bin/editor"));
        EXPECT_TRUE(d.AddEntryOK->isEnabled());
        d.ShortNameEdit->clear();
        EXPECT_FALSE(d.AddEntryOK->isEnabled());
        QTest::keyClicks(d.ShortNameEdit, QStringLiteral("Editor"));
        d.AddEntryOK->click();
    }));
    EXPECT_EQ(platform::FakeWindows().aboveCalls, aboveCalls + 1);
    EXPECT_TRUE(platform::FakeWindows().above);
    EXPECT_FALSE(AddEntryForm->Accepted); // read and cleared by the main window
    ASSERT_EQ(KVOP->LinkCount(0), 3);
    TKVLabel *label = form.CategoryArea->panels[0]->linkLabels[2];
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Editor"));
    const auto file = Saved();
    const LinkRecord &saved = file->categories[0].links[2];
    EXPECT_STREQ(saved.name, "Editor");
    EXPECT_STREQ(saved.path, "/usr/bin/editor");
    EXPECT_EQ(saved.type, ctApplications);
    EXPECT_EQ(saved.used, 1);

    // The next showing starts empty again.
    ASSERT_TRUE(AddThroughDialog(form, 0, [](TAddEntryForm &d) {
        EXPECT_TRUE(d.ShortNameEdit->text().isEmpty());
        EXPECT_TRUE(d.URLEdit->text().isEmpty());
        EXPECT_FALSE(d.AddEntryOK->isEnabled());
    }));
    EXPECT_EQ(KVOP->LinkCount(0), 3);
}

TEST_F(AddEntry, TypeChosenInASectionOfSeveralTypes)
{
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "mixed", 1, ctMultiple);
        AddCategory(m, 1, "sites", 1, ctWebsites);
    });
    TKVGUIForm form;
    ASSERT_TRUE(AddThroughDialog(form, 0, [](TAddEntryForm &d) {
        EXPECT_TRUE(d.TypeChoice->isEnabled());
        EXPECT_EQ(d.TypeChoice->currentIndex(), ctApplications);
        d.TypeChoice->setCurrentIndex(ctDirectories);
        EXPECT_FALSE(d.BrowseButton->isEnabled());
        Fill(d, QStringLiteral("home"), QStringLiteral("/home"));
        d.AddEntryOK->click();
    }));
    ASSERT_TRUE(AddThroughDialog(form, 1, [](TAddEntryForm &d) {
        EXPECT_FALSE(d.TypeChoice->isEnabled());
        EXPECT_EQ(d.TypeChoice->currentIndex(), ctWebsites);
        Fill(d, QStringLiteral("news"), QStringLiteral("https://example.org/"));
        d.AddEntryOK->click();
    }));
    auto saved = Saved();
    EXPECT_EQ(saved->categories[0].links[1].type, ctDirectories);
    EXPECT_EQ(saved->categories[1].links[1].type, ctWebsites);
}

TEST_F(AddEntry, LinkLandsInTheSectionChosenLast)
{
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "zero", 1);
        AddCategory(m, 1, "one", 1, ctGames);
        AddCategory(m, 2, "two", 1, ctWebsites);
    });
    TKVGUIForm form;
    ASSERT_TRUE(AddThroughDialog(form, 0, [](TAddEntryForm &d) {
        ASSERT_EQ(d.SectionChoice->count(), 3);
        Fill(d, QStringLiteral("game"), QStringLiteral("/usr/games/game"));
        d.SectionChoice->setCurrentIndex(2);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Add link to section: two"));
        EXPECT_EQ(d.TypeChoice->currentIndex(), ctWebsites);
        EXPECT_FALSE(d.BrowseButton->isEnabled());
        d.SectionChoice->setCurrentIndex(1);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Add link to section: one"));
        EXPECT_EQ(d.TypeChoice->currentIndex(), ctGames);
        EXPECT_TRUE(d.BrowseButton->isEnabled());
        d.AddEntryOK->click();
    }));
    EXPECT_EQ(form.CategoryArea->panels[1]->linkCount, 2);
    auto saved = Saved();
    EXPECT_EQ(saved->LinkCount(0), 1);
    EXPECT_EQ(saved->LinkCount(2), 1);
    ASSERT_EQ(saved->LinkCount(1), 2);
    EXPECT_STREQ(saved->categories[1].links[1].name, "game");
    EXPECT_EQ(saved->categories[1].links[1].type, ctGames);
}

TEST_F(AddEntry, AFullChosenSectionIsRefused)
{
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "roomy", 49);
        AddCategory(m, 1, "full", 50);
    });
    TKVGUIForm form;
    MarkSavedFile();
    ASSERT_TRUE(AddThroughDialog(form, 0, [](TAddEntryForm &d) {
        Fill(d, QStringLiteral("extra"), QStringLiteral("/tmp/extra"));
        d.SectionChoice->setCurrentIndex(1);
        d.AddEntryOK->click();
    }));
    ASSERT_EQ(forms::ShownMessages().size(), 1u);
    EXPECT_EQ(forms::ShownMessages()[0].caption, QStringLiteral("Add Link"));
    EXPECT_TRUE(forms::ShownMessages()[0].text.contains(QStringLiteral("\"full\" already holds 50 links")));
    EXPECT_EQ(KVOP->LinkCount(0), 49);
    EXPECT_EQ(KVOP->LinkCount(1), 50);
    EXPECT_EQ(form.CategoryArea->panels[0]->linkCount, 49);
    EXPECT_TRUE(SavedFileUntouched());

    // The full one clicked itself: refused before the dialog opens.
    EXPECT_FALSE(AddThroughDialog(form, 1, [](TAddEntryForm &) {}));
    EXPECT_EQ(forms::ShownMessages().size(), 2u);

    // The roomy one still takes its fiftieth.
    ASSERT_TRUE(AddThroughDialog(form, 0, [](TAddEntryForm &d) {
        Fill(d, QStringLiteral("last"), QStringLiteral("/tmp/last"));
        d.AddEntryOK->click();
    }));
    EXPECT_EQ(Saved()->LinkCount(0), 50);
}

TEST_F(AddEntry, CancelCloseBoxAndEscapeChangeNothing)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "a", 1); });
    TKVGUIForm form;
    MarkSavedFile();
    const std::pair<const char *, std::function<void(TAddEntryForm &)>> ways[] = {
        {"Cancel", [](TAddEntryForm &d) { d.CancelButton->click(); }},
        {"close box", [](TAddEntryForm &d) { d.close(); }},
        {"Escape", [](TAddEntryForm &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
    };
    for (const auto &[how, way] : ways) {
        SCOPED_TRACE(how);
        const auto &leave = way;
        bool stillOpen = true;
        ASSERT_TRUE(AddThroughDialog(form, 0, [&](TAddEntryForm &d) {
            Fill(d, QStringLiteral("name"), QStringLiteral("/tmp/target"));
            leave(d);
            stillOpen = d.isVisible();
        }));
        EXPECT_FALSE(stillOpen);
        EXPECT_FALSE(AddEntryForm->Accepted);
        EXPECT_EQ(KVOP->LinkCount(0), 1);
        EXPECT_EQ(form.CategoryArea->panels[0]->linkLabels[1], nullptr);
    }
    EXPECT_TRUE(SavedFileUntouched());
    EXPECT_TRUE(forms::ShownMessages().empty());
}

TEST_F(AddEntry, MarkupInACategoryNameShowsLiterally)
{
    const std::string name = "<b>x</b><img src=\"/tmp/y.png\">";
    WriteConfig([&](KVUIOperationClass &m) { AddCategory(m, 0, name, 0); });
    TKVGUIForm form;
    ASSERT_TRUE(AddThroughDialog(form, 0, [&](TAddEntryForm &d) {
        EXPECT_EQ(d.SectionChoice->itemText(0), QString::fromStdString(name));
        EXPECT_EQ(d.windowTitle(), "Add link to section: " + QString::fromStdString(name));
        for (forms::TLabel *label : {d.LinkSectionLabel, d.LinkNameLabel, d.LinkTypeLabel, d.LinkURLLabel})
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
    }));
}

// The edits count characters, the model's fields bytes of UTF-8: what is
// stored is cut to the field, never inside a character.
TEST_F(AddEntry, LongTextIsCutOnACharacterBoundary)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "a", 0); });
    TKVGUIForm form;
    ASSERT_TRUE(AddThroughDialog(form, 0, [](TAddEntryForm &d) {
        Fill(d, QString(60, QChar(0x00E9)), QString(2100, QChar(0x20AC)));
        // The edits show what the fields will hold.
        EXPECT_EQ(d.ShortNameEdit->text(), QString(24, QChar(0x00E9)));
        EXPECT_EQ(d.URLEdit->text(), QString(666, QChar(0x20AC)));
        d.AddEntryOK->click();
    }));
    auto saved = Saved();
    std::string e, euro;
    for (int i = 0; i < 24; ++i)
        e += "\xC3\xA9"; // 48 of the field's 49 bytes
    for (int i = 0; i < 666; ++i)
        euro += "\xE2\x82\xAC"; // 1998 of its 1999
    EXPECT_EQ(std::string(saved->categories[0].links[0].name), e);
    EXPECT_EQ(std::string(saved->categories[0].links[0].path), euro);
}

} // namespace
