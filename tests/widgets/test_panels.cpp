#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include "AddEntryFormUnit.h"
#include "CategoryPanels.h"
#include "Forms.h"
#include "WindowFixture.h"

namespace {

using Panels = WindowFixture;

TKVPanel *Panel(TKVGUIForm &form, int i)
{
    return form.CategoryArea->panels[i];
}

TEST_F(Panels, HeightsAndStacking)
{
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "three", 3);
        AddCategory(m, 1, "empty", 0);
        AddCategory(m, 2, "one", 1);
        m.categories[2].expanded = false;
    });
    TKVGUIForm form;
    ASSERT_EQ(PanelCount, 3);
    TKVPanel *three = Panel(form, 0);
    const int h = three->linkLabels[0]->height();
    EXPECT_EQ(three->height(), 3 * 2 + 3 * h + 22);
    EXPECT_EQ(Panel(form, 1)->height(), 20); // no links: header only
    EXPECT_EQ(Panel(form, 2)->height(), 20); // shut
    EXPECT_EQ(three->y(), 0);
    for (int i = 1; i < 3; ++i)
        EXPECT_EQ(Panel(form, i)->y(), Panel(form, i - 1)->y() + Panel(form, i - 1)->height() + 1);
    // Links stack under the header, two pixels apart, indented by 10.
    EXPECT_EQ(three->linkLabels[0]->y(), 22);
    EXPECT_EQ(three->linkLabels[1]->y(), 22 + h + 2);
    EXPECT_EQ(three->linkLabels[2]->x(), 10);
    EXPECT_EQ(three->buttonPanel->x() + three->buttonPanel->width(), three->width());
    EXPECT_EQ(three->deleteButton->x(), 40);
    EXPECT_EQ(three->addButton->x(), 21);
    EXPECT_EQ(three->checkBox->x(), 4);
    EXPECT_EQ(three->checkBox->y(), 4);
    EXPECT_EQ(three->header->text(), QStringLiteral("three"));
    EXPECT_EQ(three->deleteButton->toolTip(), QStringLiteral("Click to delete category: three"));
    EXPECT_EQ(three->checkBox->toolTip(),
              QStringLiteral("Click to toggle \"Locked Open\" for category: three"));
}

TEST_F(Panels, HeaderFoldsUnlessLockedOpen)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "links", 2); });
    TKVGUIForm form;
    TKVPanel *p = Panel(form, 0);
    const int open = p->height();
    p->ToggleOpen();
    EXPECT_EQ(p->height(), 20);
    EXPECT_FALSE(KVOP->categories[0].expanded);
    EXPECT_FALSE(Saved()->categories[0].expanded); // a fold is saved

    p->checkBox->setChecked(true); // Locked Open shows the links whatever the flag says
    EXPECT_TRUE(KVOP->categories[0].lockedOpen);
    EXPECT_EQ(p->height(), open);
    p->ToggleOpen();
    EXPECT_EQ(p->height(), open);
    EXPECT_TRUE(Saved()->categories[0].lockedOpen);

    p->checkBox->setChecked(false);
    EXPECT_EQ(p->height(), 20);
    p->ToggleOpen();
    EXPECT_EQ(p->height(), open);
}

TEST_F(Panels, HoverOpensAndLockHoldsOpen)
{
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "a", 2);
        AddCategory(m, 1, "none", 0);
        m.categories[0].expanded = false;
    });
    TKVGUIForm form;
    TKVPanel *p = Panel(form, 0);
    p->SetHoverOpen(true);
    EXPECT_TRUE(p->open);
    EXPECT_GT(p->height(), 20);
    p->SetHoverOpen(false);
    EXPECT_FALSE(p->open);
    p->checkBox->setChecked(true);
    p->SetHoverOpen(false);
    EXPECT_TRUE(p->open);
    TKVPanel *none = Panel(form, 1);
    const bool before = none->open;
    none->SetHoverOpen(!before); // nothing to show: the flag stays
    EXPECT_EQ(none->open, before);
}

TEST_F(Panels, DeletingACategoryShiftsTheOthersUp)
{
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "zero", 1);
        AddCategory(m, 1, "one", 2);
        AddCategory(m, 2, "two", 3);
    });
    TKVGUIForm form;
    forms::SetNextAnswer(forms::idNo);
    form.CategoryArea->DeleteCategory(0);
    EXPECT_EQ(PanelCount, 3);
    EXPECT_STREQ(KVOP->categories[0].name, "zero");

    forms::SetNextAnswer(forms::idYes);
    form.CategoryArea->DeleteCategory(0);
    ASSERT_EQ(forms::ShownMessages().size(), 2u);
    const forms::ShownMessage &question = forms::ShownMessages()[1];
    EXPECT_EQ(question.text, QStringLiteral("Do you really want to delete this category?"));
    EXPECT_EQ(question.caption, QStringLiteral("Delete Category"));
    EXPECT_EQ(question.buttons, forms::Buttons::YesNo);
    EXPECT_EQ(question.icon, forms::Icon::Exclamation);
    EXPECT_EQ(question.defaultButton, 2);

    EXPECT_EQ(PanelCount, 2);
    EXPECT_EQ(KVOP->FirstFreeCategory(), 2);
    for (int i = 0; i < 2; ++i) {
        TKVPanel *p = Panel(form, i);
        const char *name = i == 0 ? "one" : "two";
        EXPECT_EQ(p->header->text(), QString(name));
        EXPECT_EQ(p->categoryIndex, i);
        EXPECT_EQ(p->linkCount, i + 2);
        EXPECT_EQ(p->linkLabels[0]->linkName, QString(name) + "0");
        EXPECT_EQ(p->linkLabels[0]->categoryIndex, i);
        EXPECT_EQ(p->deleteButton->categoryIndex, i);
    }
    EXPECT_EQ(Panel(form, 0)->linkLabels[2], nullptr); // "one" has two links
    EXPECT_EQ(Panel(form, 2), nullptr);
    EXPECT_EQ(Panel(form, 0)->y(), 0);
    EXPECT_STREQ(Saved()->categories[0].name, "one");
}

TEST_F(Panels, DeletingTheLastOfTwentyTouchesNothingElse)
{
    WriteConfig([](KVUIOperationClass &m) {
        for (int c = 0; c < kMaxCategories; ++c)
            AddCategory(m, c, "c" + std::to_string(c), 1);
    });
    TKVGUIForm form;
    EXPECT_FALSE(form.AddLabel->isVisibleTo(&form)); // no room for a 21st category
    const WindowSettings settings = KVOP->settings;
    forms::SetNextAnswer(forms::idYes);
    form.CategoryArea->DeleteCategory(19);
    EXPECT_EQ(PanelCount, 19);
    EXPECT_EQ(KVOP->categories[19].type, -1);
    EXPECT_STREQ(KVOP->categories[18].name, "c18");
    EXPECT_EQ(std::memcmp(&settings, &KVOP->settings, sizeof settings), 0);
    EXPECT_TRUE(form.AddLabel->isVisibleTo(&form));
}

TEST_F(Panels, AFullCategoryRefusesAnotherLink)
{
    WriteConfig([](KVUIOperationClass &m) {
        AddCategory(m, 0, "full", 50);
        AddCategory(m, 1, "roomy", 49);
    });
    TKVGUIForm form;
    forms::SetNextAnswer(forms::idOK);
    Panel(form, 0)->addButton->click();
    ASSERT_EQ(forms::ShownMessages().size(), 1u);
    EXPECT_TRUE(forms::ShownMessages()[0].text.contains(QStringLiteral("50 links")));
    EXPECT_EQ(KVOP->LinkCount(0), 50);
    // A category with room opens the add-link dialog instead; leave it.
    QTimer::singleShot(0, [] {
        if (AddEntryForm)
            AddEntryForm->reject();
    });
    Panel(form, 1)->addButton->click();
    EXPECT_EQ(forms::ShownMessages().size(), 1u);
}

TEST_F(Panels, LabelsAnswerHoverAndPress)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "a", 1, ctWebsites); });
    TKVGUIForm form;
    form.show();
    TKVPanel *p = Panel(form, 0);
    TKVLabel *link = p->linkLabels[0];
    const QPoint onLink = link->geometry().center();
    const QPoint onHeader = p->header->geometry().topLeft() + QPoint(3, 3);
    EXPECT_EQ(p->LabelAt(onLink), link);
    EXPECT_EQ(p->LabelAt(onHeader), p->header);
    EXPECT_EQ(p->LabelAt(QPoint(1, p->height() - 1)), nullptr);

    QTest::mouseMove(p, onLink);
    EXPECT_TRUE(link->font().underline());
    EXPECT_FALSE(link->font().bold());
    QTest::mouseMove(p, onHeader);
    EXPECT_FALSE(link->font().underline());
    EXPECT_TRUE(p->header->font().underline());
    EXPECT_TRUE(p->header->font().bold());

    const TColor colour = link->fontColour();
    QTest::mousePress(p, Qt::LeftButton, {}, onLink);
    EXPECT_EQ(link->fontColour(), 0xFFFFFFu);
    // Released away from the label: no launch, and the colour comes back.
    QTest::mouseRelease(p, Qt::LeftButton, {}, QPoint(1, p->height() - 1));
    EXPECT_EQ(link->fontColour(), colour);
    EXPECT_TRUE(platform::FakeLaunch().calls.empty());

    // Pressed and released on it: the link opens.
    QTest::mouseClick(p, Qt::LeftButton, {}, onLink);
    ASSERT_EQ(platform::FakeLaunch().calls.size(), 1u);
    EXPECT_EQ(platform::FakeLaunch().calls[0].target, QStringLiteral("/tmp/a0"));
}

// What the window system sends for a double click.
void DoubleClick(QWidget *w, QPoint at)
{
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
}

TEST_F(Panels, ADoubleClickIsOneClick)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "a", 2, ctWebsites); });
    TKVGUIForm form;
    form.show();
    TKVPanel *p = Panel(form, 0);
    DoubleClick(p, p->linkLabels[0]->geometry().center());
    EXPECT_EQ(platform::FakeLaunch().calls.size(), 1u) << "a double click on a link starts it once";

    const bool open = p->open;
    DoubleClick(p, p->header->geometry().topLeft() + QPoint(3, 3));
    EXPECT_EQ(p->open, !open) << "a double click on a header folds it once";
    EXPECT_EQ(Saved()->categories[0].expanded, !open);
}

TEST_F(Panels, LeavingTheHeaderForItsButtonsClearsTheHover)
{
    WriteConfig([](KVUIOperationClass &m) { AddCategory(m, 0, "a", 1); });
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    TKVPanel *p = Panel(form, 0);
    const QPoint onHeader = p->header->geometry().topLeft() + QPoint(3, 3);
    QMouseEvent move(QEvent::MouseMove, QPointF(onHeader), QPointF(p->mapToGlobal(onHeader)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(p, &move);
    ASSERT_TRUE(p->header->font().underline());
    // Straight onto the button box, with no move over the panel between.
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), p->buttonPanel->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(p->buttonPanel, &enter);
    EXPECT_FALSE(p->header->font().underline());
}

} // namespace
