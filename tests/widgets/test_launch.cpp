#include <filesystem>
#include <fstream>

#include "CategoryPanels.h"
#include "Execute.h"
#include "WindowFixture.h"

namespace fs = std::filesystem;

namespace {

using Launching = WindowFixture;

TEST_F(Launching, DispatchByType)
{
    fs::create_directories("some dir");
    std::ofstream("some dir/a program") << "#!/bin/sh\n";
    const QString program = QString::fromStdString((dir / "some dir/a program").string());
    const QString folder = QString::fromStdString((dir / "some dir").string());
    const QString missing = QString::fromStdString((dir / "gone").string());
    struct Case {
        int type;
        QString target;
        const char *call;    // expected launcher call, or nullptr
        const char *workDir; // expected working folder of a spawn
        const char *caption; // expected message box caption, or nullptr
    } cases[] = {
        {0, program, "spawn", "some dir/", nullptr},
        {0, program + " --flag", nullptr, nullptr, "Execute File"},
        {0, folder, nullptr, nullptr, "Execute File"},
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
    struct Case {
        int type;
        QString target;
        const char *caption;
    } cases[] = {
        {0, doc, "Error executing command"},
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
