// The system buttons of the main window, on the fake platform: the questions
// and what follows each answer, the connect failure's message, show desktop,
// and the Run dialog from the typed line to the started program.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

#include <QCompleter>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringListModel>
#include <QDir>
#include <QTest>

#include "Controls.h"
#include "DebugFormUnit.h"
#include "FakeSystemServices.h"
#include "RunDialogUnit.h"
#include "WindowFixture.h"

namespace fs = std::filesystem;

namespace {

struct SystemCommands : WindowFixture {
    void SetUp() override
    {
        WindowFixture::SetUp();
        platform::FakeSession() = platform::FakeSessionControl{};
        platform::FakeNetworking() = platform::FakeNetwork{};
    }
};

TEST_F(SystemCommands, SessionEndsAskFirstAndGoAheadOnlyOnYes)
{
    TKVGUIForm form;
    struct Case {
        forms::TSpeedButton *TKVGUIForm::*button;
        const char *question;
        const char *caption;
        const char *request;
    } cases[] = {
        {&TKVGUIForm::LogOffButton, "Do you really want to log off the the current user?", "Log Off",
         "LogOff"},
        {&TKVGUIForm::RestartButton, "Do you really want to restart the computer?", "Restart", "Reboot"},
        {&TKVGUIForm::ShutDownButton, "Do you really want to shut down the computer?", "Shut Down",
         "PowerOff"},
    };
    for (const Case &tc : cases) {
        for (int answer : {forms::idYes, forms::idNo}) {
            SCOPED_TRACE(tc.caption);
            SCOPED_TRACE(answer == forms::idYes ? "Yes" : "No");
            platform::FakeSession().calls.clear();
            forms::ClearShownMessages();
            forms::SetNextAnswer(answer);
            (form.*tc.button)->click();
            ASSERT_EQ(forms::ShownMessages().size(), 1u);
            const forms::ShownMessage &box = forms::ShownMessages()[0];
            EXPECT_EQ(box.text, QString::fromUtf8(tc.question));
            EXPECT_EQ(box.caption, QString::fromUtf8(tc.caption));
            EXPECT_EQ(box.buttons, forms::Buttons::YesNo);
            EXPECT_EQ(box.icon, forms::Icon::Exclamation);
            EXPECT_EQ(box.defaultButton, 2) << "No is the default";
            EXPECT_EQ(platform::FakeSession().calls,
                      answer == forms::idYes ? QStringList{QString::fromUtf8(tc.request)} : QStringList{});
        }
    }
}

TEST_F(SystemCommands, ARefusedSessionEndShowsNothingAndGoesToTheDebugLog)
{
    TDebugForm debugForm;
    DebugForm = &debugForm;
    {
        TKVGUIForm form;
        KVOP->debugMode = true;
        platform::FakeSession().result = {false, QStringLiteral("Interactive authentication required.")};
        forms::SetNextAnswer(forms::idYes);
        form.RestartButton->click();
        EXPECT_EQ(platform::FakeSession().calls, QStringList{QStringLiteral("Reboot")});
        EXPECT_EQ(forms::ShownMessages().size(), 1u) << "only the question shows";
    }
    DebugForm = nullptr;
    EXPECT_TRUE(
        debugForm.Memo1->toPlainText().contains(QStringLiteral("Interactive authentication required.")))
        << debugForm.Memo1->toPlainText().toStdString();
}

TEST_F(SystemCommands, ConnectSaysSoOnlyWhenItFails)
{
    TKVGUIForm form;
    form.ConnectButton->click();
    EXPECT_EQ(platform::FakeNetworking().connectCalls, 1);
    EXPECT_TRUE(forms::ShownMessages().empty());

    platform::FakeNetworking().result = {
        false, QStringLiteral("The name org.freedesktop.NetworkManager was not provided")};
    form.ConnectButton->click();
    EXPECT_EQ(platform::FakeNetworking().connectCalls, 2);
    ASSERT_EQ(forms::ShownMessages().size(), 1u);
    const forms::ShownMessage &box = forms::ShownMessages()[0];
    EXPECT_EQ(box.text, QStringLiteral("Error opening internet connection!"));
    EXPECT_EQ(box.caption, QStringLiteral("Internet Connection"));
    EXPECT_EQ(box.buttons, forms::Buttons::OK);
    EXPECT_EQ(box.icon, forms::Icon::Exclamation);
}

TEST_F(SystemCommands, ShowDesktopAsksTheWindowManager)
{
    TKVGUIForm form;
    form.ToggleDesktopButton->click();
    EXPECT_EQ(platform::FakeWindows().showDesktopCalls, 1);
    EXPECT_TRUE(forms::ShownMessages().empty());
    EXPECT_TRUE(platform::FakeSession().calls.isEmpty());
}

TEST(CommandLine, SplitsByTheShellsQuotingRulesWithoutExpanding)
{
    struct Case {
        const char *line;
        QStringList words; // empty: the line cannot be read
    } cases[] = {
        {"prog", {"prog"}},
        {"  prog   a  b ", {"prog", "a", "b"}},
        {"prog 'two words' \"x \\\"y\\\"\" plain\\ word ''",
         {"prog", "two words", "x \"y\"", "plain word", ""}},
        {"prog 'it'\\''s' a\"b\"'c'", {"prog", "it's", "abc"}},
        {"prog $HOME ~ * `id` $(id) a;b a|b", {"prog", "$HOME", "~", "*", "`id`", "$(id)", "a;b", "a|b"}},
        {"/usr/bin/env \"gr\u00fc\u00dfe\"", {"/usr/bin/env", "gr\u00fc\u00dfe"}},
        {"prog 'unbalanced", {}},
        {"prog \"unbalanced", {}},
        {"prog trailing\\", {}},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.line);
        const CommandWords got = SplitCommandLine(QString::fromUtf8(tc.line));
        EXPECT_EQ(got.ok, !tc.words.isEmpty());
        if (got.ok) {
            EXPECT_EQ(got.words, tc.words);
        } else {
            EXPECT_FALSE(got.error.isEmpty());
        }
    }
}

// A PATH of two folders (and entries that must not count), and a launcher
// folder with programs of its own.
struct RunDialog : SystemCommands {
    QByteArray savedPath;
    QString bin1, bin2;

    static void Program(const fs::path &p, fs::perms perms = fs::perms::owner_all)
    {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "#!/bin/sh\n";
        fs::permissions(p, perms);
    }

    void SetUp() override
    {
        SystemCommands::SetUp();
        savedPath = qgetenv("PATH");
        bin1 = QString::fromStdString((dir / "bin1").string());
        bin2 = QString::fromStdString((dir / "bin2").string());
        Program(dir / "bin1/kvprog");
        Program(dir / "bin1/notexec", fs::perms::owner_read | fs::perms::owner_write);
        fs::create_directories(dir / "bin1/kvdir");
        Program(dir / "bin2/kvprog"); // hidden behind the first
        Program(dir / "bin2/kvother");
        Program(dir / "localprog");
        Program(dir / "sub/prog");
        Program(dir / "bin1rel/relprog");
        // An empty entry and a relative one would both mean the launcher's
        // own folder.
        qputenv("PATH", (bin1 + "::" + bin2 + ":bin1rel:.").toUtf8());
    }
    void TearDown() override
    {
        qputenv("PATH", savedPath);
        SystemCommands::TearDown();
    }

    static void Settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
};

TEST_F(RunDialog, OpensOnceListingThePathsProgramsAsTheyAreThen)
{
    TKVGUIForm form;
    Program(dir / "bin2/kvlate"); // after the start, before the dialog
    form.RunButton->click();
    ASSERT_NE(::RunDialog, nullptr);
    TRunDialog *dialog = ::RunDialog;
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Run"));
    EXPECT_EQ(dialog->parentWidget(), &form);
    form.RunButton->click();
    EXPECT_EQ(::RunDialog, dialog) << "a second click brings the open dialog forward";

    auto *model = qobject_cast<QStringListModel *>(dialog->Completer->model());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->stringList(), (QStringList{"kvlate", "kvother", "kvprog"}));
    dialog->Completer->setCompletionPrefix(QStringLiteral("kvo"));
    EXPECT_EQ(dialog->Completer->currentCompletion(), QStringLiteral("kvother"));

    EXPECT_FALSE(dialog->OKButton->isEnabled());
    dialog->CommandEdit->setText(QStringLiteral("   "));
    EXPECT_FALSE(dialog->OKButton->isEnabled());
    dialog->CancelButton->click();
    Settle();
    EXPECT_EQ(::RunDialog, nullptr);
    EXPECT_TRUE(platform::FakeLaunch().calls.empty());
}

TEST_F(RunDialog, StartsTheTypedProgramAsALinkWouldOrSaysWhyNot)
{
    const QString abs = QString::fromStdString((dir / "sub/prog").string());
    const QString home = QDir::homePath(); // where a program found on PATH starts
    struct Case {
        QString line;
        QString program; // the program started, or empty
        QStringList arguments;
        QString workingDir;
        QString caption; // the box shown instead, the dialog staying open
        QString text;
        QString call = QStringLiteral("spawn"); // how the launcher was asked
    } cases[] = {
        {"kvprog", bin1 + "/kvprog", {}, home, {}, {}},
        {" kvprog 'two words' \"x y\" plain\\ word ''",
         bin1 + "/kvprog",
         {"two words", "x y", "plain word", ""},
         home,
         {},
         {}},
        {"kvother $HOME *", bin2 + "/kvother", {"$HOME", "*"}, home, {}, {}},
        {abs + " --flag", abs, {"--flag"}, QString::fromStdString((dir / "sub/").string()), {}, {}},
        {"sub/prog a", "sub/prog", {"a"}, "sub/", {}, {}},
        // A desktop entry starts its application, with its own folder and command line.
        {"sub/app.desktop", "sub/app.desktop", {}, {}, {}, {}, QStringLiteral("entry")},
        {"localprog", {}, {}, {}, "Execute File", "localprog does not exist!"},
        {"relprog", {}, {}, {}, "Execute File", "relprog does not exist!"},
        {"notexec", {}, {}, {}, "Execute File", "notexec does not exist!"},
        {"kvdir", {}, {}, {}, "Execute File", "kvdir does not exist!"},
        {"sub/missing x", {}, {}, {}, "Execute File", "sub/missing does not exist!"},
        {"sub", {}, {}, {}, "Execute File", "sub does not exist!"},
        {"sub/pipe", {}, {}, {}, "Execute File", "sub/pipe is a FIFO (named pipe), not a file or folder that can be opened."},
        {"sub/saved.desktop", {}, {}, {}, "Untrusted Desktop Entry", {}},
        {"kvprog 'unbalanced", {}, {}, {}, "Run", {}},
    };
    std::ofstream((dir / "sub/app.desktop").string()) << "[Desktop Entry]\n";
    fs::permissions(dir / "sub/app.desktop", fs::perms::owner_exec, fs::perm_options::add);
    std::ofstream((dir / "sub/saved.desktop").string()) << "[Desktop Entry]\n";
    ASSERT_EQ(::mkfifo((dir / "sub/pipe").c_str(), 0600), 0);
    TKVGUIForm form;
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.line.toStdString());
        platform::FakeLaunch().calls.clear();
        forms::ClearShownMessages();
        TRunDialog *dialog = TRunDialog::Open(&form);
        dialog->CommandEdit->setText(tc.line);
        dialog->OKButton->click();
        Settle();
        auto &calls = platform::FakeLaunch().calls;
        if (!tc.program.isEmpty()) {
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].what, tc.call);
            EXPECT_EQ(calls[0].target, tc.program);
            EXPECT_EQ(calls[0].arguments, tc.arguments);
            EXPECT_EQ(calls[0].workingDir, tc.workingDir);
            EXPECT_TRUE(forms::ShownMessages().empty());
            EXPECT_EQ(::RunDialog, nullptr) << "the dialog closes once the program started";
        } else {
            EXPECT_TRUE(calls.empty());
            ASSERT_EQ(forms::ShownMessages().size(), 1u);
            EXPECT_EQ(forms::ShownMessages()[0].caption, tc.caption);
            EXPECT_EQ(forms::ShownMessages()[0].icon, forms::Icon::Exclamation);
            EXPECT_EQ(forms::ShownMessages()[0].buttons, forms::Buttons::OK);
            if (!tc.text.isEmpty()) {
                EXPECT_EQ(forms::ShownMessages()[0].text, tc.text);
            }
            ASSERT_EQ(::RunDialog, dialog) << "the dialog stays open to fix the line";
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(dialog->CommandEdit->text(), tc.line);
        }
    }
}

TEST_F(RunDialog, AFailedStartShowsTheSystemTextAndKeepsTheDialog)
{
    TKVGUIForm form;
    platform::FakeLaunch().result = {false, QStringLiteral("Exec format error")};
    TRunDialog *dialog = TRunDialog::Open(&form);
    dialog->CommandEdit->setText(QStringLiteral("kvprog x"));
    dialog->OKButton->click();
    Settle();
    ASSERT_EQ(forms::ShownMessages().size(), 1u);
    EXPECT_EQ(forms::ShownMessages()[0].caption, QStringLiteral("Error executing command"));
    EXPECT_EQ(forms::ShownMessages()[0].text, "Trying to open \"" + bin1 + "/kvprog\"\nExec format error");
    EXPECT_EQ(::RunDialog, dialog);
}

TEST_F(RunDialog, TypingAndEnterStartsIt)
{
    TKVGUIForm form;
    form.RunButton->click();
    ASSERT_NE(::RunDialog, nullptr);
    QTest::keyClicks(::RunDialog->CommandEdit, QStringLiteral("kvother --now 'a b'"));
    QTest::keyClick(::RunDialog->CommandEdit, Qt::Key_Return);
    Settle();
    ASSERT_EQ(platform::FakeLaunch().calls.size(), 1u);
    EXPECT_EQ(platform::FakeLaunch().calls[0].target, bin2 + "/kvother");
    EXPECT_EQ(platform::FakeLaunch().calls[0].arguments, (QStringList{"--now", "a b"}));
    EXPECT_EQ(::RunDialog, nullptr);
}

} // namespace
