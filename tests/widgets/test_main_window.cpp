#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <QTest>

#include <QApplication>
#include <QEnterEvent>
#include <QPlainTextEdit>

#include "DebugFormUnit.h"
#include "Dialogs.h"
#include "WindowFixture.h"
#include "MakeUpdateFormUnit.h"
#include "FakeWindowSystem.h"
#include "KVGUIFormUnit.h"

namespace fs = std::filesystem;

namespace {

using MainWindow = WindowFixture;

TEST_F(MainWindow, FirstStartWritesDefaultsWithTheDesignedBounds)
{
    {
        TKVGUIForm form;
        EXPECT_EQ(KVOP->FirstFreeCategory(), 2);
        EXPECT_EQ(form.width(), 233);
        EXPECT_EQ(form.height(), 289);
        EXPECT_EQ(form.VersionLabel->text(), QStringLiteral("1.1.8"));
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Kestrava"));
    }
    EXPECT_EQ(fs::file_size("KVUI_Config.dat"), 2067380u);
    EXPECT_FALSE(fs::exists("KVUI_Config_OLD.dat"));
    auto m = Saved();
    EXPECT_EQ(m->settings.width, 233);
    EXPECT_EQ(m->settings.height, 289);
}

TEST_F(MainWindow, StartBacksUpTheConfigurationBeforeLoading)
{
    WriteConfig([](KVUIOperationClass &m) { m.settings.alpha = 111; });
    std::ifstream in("KVUI_Config.dat", std::ios::binary);
    std::string before((std::istreambuf_iterator<char>(in)), {});
    TKVGUIForm form;
    std::ifstream old("KVUI_Config_OLD.dat", std::ios::binary);
    std::string backup((std::istreambuf_iterator<char>(old)), {});
    EXPECT_EQ(backup, before);
}

TEST_F(MainWindow, StoredValuesAreBroughtIntoRange)
{
    struct Case {
        int alpha, left, top, width, height;
        int expectedAlpha, expectedWidth, expectedHeight;
    } cases[] = {
        {20, 10, 10, 0, 0, 60, 152, 271},
        {300, 10, 10, 400, 500, 255, 400, 500},
        {128, -90000, 90000, 99999, 99999, 128, 1280, 1024},
    };
    for (const Case &tc : cases) {
        KVUIOperationClass m;
        m.WriteDefaults();
        m.settings = {tc.left, tc.top, tc.height, tc.width, dpBottomRight, tc.alpha,
                      true,    true,   false,     true,     false,         {}};
        ASSERT_TRUE(m.SaveConfiguration());
        TKVGUIForm form;
        EXPECT_EQ(form.AlphaTrack->value(), tc.expectedAlpha);
        EXPECT_NEAR(form.windowOpacity(), tc.expectedAlpha / 255.0, 0.01);
        EXPECT_EQ(form.width(), tc.expectedWidth);
        EXPECT_EQ(form.height(), tc.expectedHeight);
        const QRect screen = platform::FakeWindows().virtualScreen;
        EXPECT_TRUE(screen.contains(form.geometry())) << form.x() << "," << form.y();
    }
}

TEST_F(MainWindow, ClosingSavesTheWindowState)
{
    {
        TKVGUIForm form;
        form.AlphaTrack->setValue(150);
        form.move(40, 50);
        form.FormClose();
        EXPECT_EQ(KVOP, nullptr);
    }
    auto m = Saved();
    EXPECT_EQ(m->settings.alpha, 150);
    EXPECT_EQ(m->settings.left, 40);
    EXPECT_EQ(m->settings.top, 50);
}

TEST_F(MainWindow, ChangesReachTheDiskOnceTheySettleWithoutAClose)
{
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    struct Case {
        const char *what;
        std::function<void()> change;
        std::function<bool(const KVUIOperationClass &)> saved;
    } cases[] = {
        {"move", [&] { form.move(77, 88); },
         [](const KVUIOperationClass &m) { return m.settings.left == 77 && m.settings.top == 88; }},
        {"transparency", [&] { form.AlphaTrack->setValue(111); },
         [](const KVUIOperationClass &m) { return m.settings.alpha == 111; }},
        {"section", [&] { form.GameFadingPanel->SetOpen(!form.GameFadingPanel->Open()); },
         [&](const KVUIOperationClass &m) { return m.gameSectionOpen == form.GameFadingPanel->Open(); }},
    };
    for (const Case &tc : cases) {
        tc.change();
        EXPECT_TRUE(QTest::qWaitFor([&] { return tc.saved(*Saved()); }, 2000)) << tc.what;
    }
}

TEST_F(MainWindow, OnlyTheAddAndExitLabelsShowTheHand)
{
    TKVGUIForm form;
    const struct {
        const char *name;
        const QWidget *label;
        bool hand;
    } cases[] = {
        {"AddLabel", form.AddLabel, true},          {"ExitLabel", form.ExitLabel, true},
        {"TimeLabel", form.TimeLabel, false},       {"KVGUILabel", form.KVGUILabel, false},
        {"VersionLabel", form.VersionLabel, false},
    };
    for (const auto &tc : cases)
        EXPECT_EQ(tc.label->cursor().shape() == Qt::PointingHandCursor, tc.hand) << tc.name;
}

TEST_F(MainWindow, TheThreeLabelsUnderlineUnderThePointer)
{
    TKVGUIForm form;
    form.show();
    for (QWidget *label : {static_cast<QWidget *>(form.AddLabel), static_cast<QWidget *>(form.ExitLabel),
                           static_cast<QWidget *>(form.TimeLabel)}) {
        SCOPED_TRACE(label == form.AddLabel ? "add" : label == form.ExitLabel ? "exit" : "time");
        const QPointF at(2, 2);
        QEnterEvent enter(at, label->mapTo(&form, at), label->mapToGlobal(at));
        QApplication::sendEvent(label, &enter);
        EXPECT_TRUE(label->font().underline());
        EXPECT_TRUE(label->font().bold());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        EXPECT_FALSE(label->font().underline());
        EXPECT_TRUE(label->font().bold());
    }
}

TEST_F(MainWindow, HintsShowWhileInactiveAndTheTopmostBandShowsTheWindow)
{
    TKVGUIForm form;
    EXPECT_TRUE(form.testAttribute(Qt::WA_AlwaysShowToolTips));
    form.show();
    form.HideMainWindow(); // as before a game starts
    ASSERT_FALSE(form.isVisible());
    form.SetTopmost(false);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainWindow, AutoModeNeedsASwitch)
{
    WriteConfig([](KVUIOperationClass &m) {
        m.settings.dockWindow = m.settings.autoAlpha = m.settings.alwaysOnTop = false;
        m.settings.mouseOverSectionResize = false;
    });
    TKVGUIForm form;
    form.DoxBox->setChecked(true);
    EXPECT_FALSE(form.DoxBox->isChecked());
    EXPECT_FALSE(KVOP->settings.autoMode);

    form.AlwaysOnTop1Click();
    form.DoxBox->setChecked(true);
    EXPECT_TRUE(KVOP->settings.autoMode);
    EXPECT_TRUE(platform::FakeWindows().above);
    form.AlwaysOnTop1Click(); // the last switch off turns Auto Mode off
    EXPECT_FALSE(form.DoxBox->isChecked());
    EXPECT_FALSE(KVOP->settings.autoMode);
    EXPECT_FALSE(platform::FakeWindows().above);
}

TEST_F(MainWindow, FirstShowingOpensTheDebugWindowsInDebugModeOnly)
{
    for (bool debug : {false, true}) {
        SCOPED_TRACE(debug);
        if (debug)
            std::ofstream("Kestrava.ini") << "[Debug]\nDebugMode=2\n";
        TDebugForm debugForm;
        TMakeUpdateForm makeUpdateForm;
        DebugForm = &debugForm;
        MakeUpdateForm = &makeUpdateForm;
        {
            TKVGUIForm form;
            EXPECT_EQ(KVOP->debugMode, debug);
            form.show();
            QApplication::processEvents(); // the first showing finishes from the event loop
            form.hide();
            form.show(); // showing again writes nothing more
            QApplication::processEvents();
        }
        DebugForm = nullptr;
        MakeUpdateForm = nullptr;
        EXPECT_EQ(debugForm.isVisible(), debug);
        EXPECT_EQ(makeUpdateForm.isVisible(), debug);
        const QStringList lines = debugForm.Memo1->toPlainText().split('\n');
        if (!debug) {
            EXPECT_EQ(debugForm.Memo1->toPlainText(), QString());
            continue;
        }
        ASSERT_EQ(lines.size(), 15);
        EXPECT_EQ(lines[0], QStringLiteral("Kestrava Version 1.1.8 - Debugger"));
        EXPECT_EQ(lines[3], QStringLiteral("Title Font = SF Proverbial Gothic Extended"));
        EXPECT_EQ(lines[6], QStringLiteral("Use Windows Colours: False"));
        EXPECT_EQ(lines[9], QStringLiteral("Always On Top: True"));
        EXPECT_EQ(lines[12], QStringLiteral("Dock Position: Bottom-Right"));
    }
}

} // namespace
