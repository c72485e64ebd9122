// The program at its limits and under load: the fullest configuration with
// names of multi-byte characters up to the last byte of their fields, a long
// stream of clicks and hover changes faster than the animation, and a few
// hundred real launches in a row.

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include "CategoryPanels.h"
#include "FadingPanel.h"
#include "Forms.h"
#include "FullConfig.h"
#include "WindowFixture.h"
#include "X11Launcher.h"

namespace fs = std::filesystem;

namespace {

struct Limits : WindowFixture {
    const QPoint away{1270, 1010};
    void SetUp() override
    {
        // The window fixture's set-up, in a folder of this process's own:
        // another build of these tests may run at the same time, and the
        // file is written hundreds of times.
        previous = fs::current_path();
        dir = fs::temp_directory_path() /
              ("kv-limits-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
               "-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        platform::FakeWindows() = platform::FakeWindowSystem{};
        platform::FakeLaunch() = platform::FakeLauncher{};
        forms::ClearShownMessages();
        QCursor::setPos(away);
    }

    static bool RestsWithin(TKVGUIForm &form, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return form.Resting(); }, ms);
    }
};

// True when text is valid UTF-8 (no stray continuation bytes, no cut or
// over-long sequences).
bool ValidUtf8(const std::string &text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return !utf8.hasError() && decoded.toUtf8().toStdString() == text;
}

// What a field holds, read independently of the program's own decoding.
template <std::size_t N> QString Utf8Of(const char (&field)[N])
{
    return QString::fromUtf8(FieldText(field));
}

// Every panel agrees with the model and its neighbours: the open flag with the
// expanded flag, the height with the open or shut size, the place with the
// panel above; the scrolled area holds them all and the sections below are at
// rest at their ends.
void ExpectConsistent(TKVGUIForm &form)
{
    ASSERT_NE(KVOP, nullptr);
    TKVParentPanel *area = form.CategoryArea;
    int top = 0;
    QRect previous;
    for (int i = 0; i < PanelCount; ++i) {
        SCOPED_TRACE("panel " + std::to_string(i));
        const TKVPanel *p = area->panels[i];
        ASSERT_NE(p, nullptr);
        const CategoryRecord &cat = KVOP->categories[i];
        EXPECT_EQ(p->categoryIndex, i);
        EXPECT_EQ(p->open, cat.expanded);
        if (cat.lockedOpen && p->linkCount > 0) {
            EXPECT_TRUE(p->open) << "a category locked open is shut";
        }
        const int n = KVOP->LinkCount(i);
        EXPECT_EQ(p->linkCount, n);
        const bool shown = (p->open || cat.lockedOpen) && n > 0;
        const int labelHeight = n > 0 ? p->linkLabels[0]->height() : 0;
        EXPECT_EQ(p->height(), shown ? n * (labelHeight + 2) + 22 : 20);
        EXPECT_EQ(p->y(), top);
        EXPECT_EQ(p->width(), area->Content()->width());
        EXPECT_FALSE(p->geometry().intersects(previous)) << "overlaps the panel above";
        previous = p->geometry();
        top = p->y() + p->height() + 1;
    }
    EXPECT_EQ(area->Content()->height(), top - 1) << "the scrolled area does not end with the last panel";
    for (const TKVFadingPanel *section : {form.GameFadingPanel, form.ButtonFadingPanel})
        EXPECT_EQ(section->height(), section->Open() ? section->MaxHeight() : section->MinHeight());
    EXPECT_EQ(form.GameFadingPanel->y(), area->y() + area->height() + 1);
    EXPECT_EQ(form.ButtonFadingPanel->y(), form.GameFadingPanel->y() + form.GameFadingPanel->height() + 1);
}

// What the file says of each category's fold, and what the window shows.
std::vector<bool> SavedExpanded()
{
    KVUIOperationClass m;
    EXPECT_TRUE(m.LoadConfiguration());
    std::vector<bool> flags;
    for (const CategoryRecord &cat : m.categories)
        flags.push_back(cat.expanded);
    return flags;
}

std::vector<bool> ShownOpen(TKVGUIForm &form)
{
    std::vector<bool> flags(kMaxCategories, false);
    for (int i = 0; i < PanelCount; ++i)
        flags[i] = form.CategoryArea->panels[i]->open;
    return flags;
}

// Saves, then reads the file back and builds a second window from it: both
// must show the folds the first window showed.
void ExpectRoundTripKeeps(std::unique_ptr<TKVGUIForm> &form)
{
    const std::vector<bool> shown = ShownOpen(*form);
    form->SaveFromWindow();
    EXPECT_EQ(SavedExpanded(), shown);
    form->FormClose();
    form.reset();
    form = std::make_unique<TKVGUIForm>();
    EXPECT_EQ(ShownOpen(*form), shown);
    ExpectConsistent(*form);
}

TEST_F(Limits, AFullConfigurationOfMultiByteTextIsKeptAndShownWhole)
{
    {
        KVUIOperationClass written;
        bench::FillFullConfiguration(written, "/bin/true", true, true);
        written.categories[3].expanded = false; // one shut panel among the open ones
        // The fill is what this test is about: every name is whole UTF-8 of
        // characters longer than a byte, up to the field's end or as close
        // as a whole character allows; every path fills its field.
        std::set<std::size_t> nameLengths;
        for (const CategoryRecord &cat : written.categories) {
            ASSERT_TRUE(ValidUtf8(FieldText(cat.name)));
            ASSERT_TRUE(ValidUtf8(FieldText(cat.description)));
            for (const LinkRecord &link : cat.links) {
                const std::string name = FieldText(link.name);
                ASSERT_TRUE(ValidUtf8(name)) << name;
                ASSERT_GE(name.size(), 46u);
                nameLengths.insert(name.size());
                ASSERT_EQ(FieldText(link.path).size(), 1999u);
            }
        }
        EXPECT_TRUE(nameLengths.count(49)) << "no name reaches the field's last byte";
        EXPECT_GT(nameLengths.size(), 1u) << "no name was cut short of a character";
        ASSERT_TRUE(written.SaveConfiguration()) << written.lastSaveError;
        EXPECT_EQ(fs::file_size(written.GetConfigPath()), ConfigLayout::kFileSize);

        const auto loaded = Saved();
        for (int c = 0; c < kMaxCategories; ++c) {
            SCOPED_TRACE(c);
            const CategoryRecord &a = written.categories[c], &b = loaded->categories[c];
            EXPECT_EQ(FieldText(a.name), FieldText(b.name));
            EXPECT_EQ(FieldText(a.description), FieldText(b.description));
            EXPECT_EQ(a.type, b.type);
            EXPECT_EQ(a.expanded, b.expanded);
            EXPECT_EQ(a.lockedOpen, b.lockedOpen);
            for (int l = 0; l < kMaxLinks; ++l) {
                EXPECT_EQ(FieldText(a.links[l].name), FieldText(b.links[l].name));
                EXPECT_EQ(FieldText(a.links[l].path), FieldText(b.links[l].path));
                EXPECT_EQ(a.links[l].type, b.links[l].type);
                EXPECT_EQ(a.links[l].used, b.links[l].used);
            }
        }
    }

    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_EQ(PanelCount, kMaxCategories);
    ExpectConsistent(form);
    for (int c = 0; c < kMaxCategories; ++c) {
        SCOPED_TRACE(c);
        const TKVPanel *p = form.CategoryArea->panels[c];
        const CategoryRecord &cat = KVOP->categories[c];
        EXPECT_EQ(p->header->text(), Utf8Of(cat.name));
        EXPECT_EQ(p->header->toolTip(), Utf8Of(cat.description));
        EXPECT_FALSE(p->header->text().contains(QChar::ReplacementCharacter));
        ASSERT_EQ(p->linkCount, kMaxLinks);
        int y = p->header->y() + p->header->height();
        for (int l = 0; l < kMaxLinks; ++l) {
            const TKVLabel *label = p->linkLabels[l];
            ASSERT_NE(label, nullptr);
            // Shown whole: the caption is the stored text, character for
            // character, and the label is as wide as that text.
            EXPECT_EQ(label->text(), Utf8Of(cat.links[l].name)) << l;
            EXPECT_EQ(label->text().toUtf8().toStdString(), FieldText(cat.links[l].name)) << l;
            EXPECT_EQ(label->toolTip(), Utf8Of(cat.links[l].path)) << l;
            EXPECT_EQ(label->width(), QFontMetrics(label->font()).horizontalAdvance(label->text())) << l;
            y += 2;
            EXPECT_EQ(label->y(), y) << l;
            y += label->height();
            if (p->open) {
                EXPECT_LE(label->y() + label->height(), p->height()) << l;
            }
        }
    }
    // All of it can be scrolled to.
    QScrollBar *bar = form.CategoryArea->verticalScrollBar();
    EXPECT_EQ(bar->maximum(),
              form.CategoryArea->Content()->height() - form.CategoryArea->viewport()->height());
}

// A full configuration where some categories are not like the others: one
// locked open, one empty, one of a single link, some shut.
void VariedFullConfiguration(KVUIOperationClass &m)
{
    bench::FillFullConfiguration(m, "/bin/true", false, true);
    m.categories[4].lockedOpen = true;
    for (int l = 0; l < kMaxLinks; ++l)
        KVUIOperationClass::ClearLink(m.categories[9].links[l]);
    for (int l = 1; l < kMaxLinks; ++l)
        KVUIOperationClass::ClearLink(m.categories[11].links[l]);
    for (int c : {0, 2, 5, 17})
        m.categories[c].expanded = false;
}

TEST_F(Limits, RapidHeaderClicksLeaveModelAndPanelsAgreeing)
{
    {
        KVUIOperationClass m;
        VariedFullConfiguration(m);
        m.settings.height = 600;
        ASSERT_TRUE(m.SaveConfiguration());
    }
    auto form = std::make_unique<TKVGUIForm>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    std::mt19937 random(20240611);
    for (int click = 0; click < 1000; ++click) {
        const int pick = int(random() % (kMaxCategories + 2));
        if (pick < kMaxCategories) {
            TKVPanel *p = form->CategoryArea->panels[pick];
            const bool wasOpen = p->open;
            QTest::mouseClick(p, Qt::LeftButton, {}, p->header->geometry().center());
            // Each click folds at once: a panel locked open stays as it is, one
            // without links is shut.
            const bool now = KVOP->categories[pick].lockedOpen ? wasOpen : p->linkCount > 0 && !wasOpen;
            ASSERT_EQ(p->open, now) << "click " << click << " on " << pick;
        } else {
            // Now and then one of the sliding sections below, so that panels
            // change while the sections are in motion.
            TKVFadingPanel *section =
                pick == kMaxCategories ? form->GameFadingPanel : form->ButtonFadingPanel;
            QTest::mouseClick(section->header, Qt::LeftButton, {}, section->header->rect().center());
        }
        switch (random() % 4) {
        case 0:
            break; // straight on to the next click
        case 1:
            QCoreApplication::processEvents();
            break;
        default:
            QTest::qWait(int(random() % 25)); // a tick or two, or none
            break;
        }
    }
    // The game runs while its section is open; shut, everything comes to rest.
    if (form->GameFadingPanel->Open())
        QTest::mouseClick(form->GameFadingPanel->header, Qt::LeftButton, {},
                          form->GameFadingPanel->header->rect().center());
    ASSERT_TRUE(RestsWithin(*form));
    ExpectConsistent(*form);
    ExpectRoundTripKeeps(form);
}

TEST_F(Limits, RapidHoverChangesLeaveModelAndPanelsAgreeing)
{
    {
        KVUIOperationClass m;
        VariedFullConfiguration(m);
        m.settings.autoMode = true;
        m.settings.mouseOverSectionResize = true;
        m.settings.autoAlpha = false;
        m.settings.dockWindow = false;
        m.settings.alwaysOnTop = false;
        m.settings.left = 300;
        m.settings.top = 0;
        m.settings.height = 1000;
        ASSERT_TRUE(m.SaveConfiguration());
    }
    auto form = std::make_unique<TKVGUIForm>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    std::mt19937 random(7);
    QWidget *entered = nullptr;
    // Moves the pointer to global, with the leave and enter the window system
    // sends as it crosses from one widget to the next.
    const auto pointTo = [&](QWidget *target, QPoint global) {
        QCursor::setPos(global);
        if (entered && entered != target) {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(entered, &leave);
        }
        if (target) {
            const QPointF local = target->mapFromGlobal(QPointF(global));
            if (entered != target) {
                QEnterEvent enter(local, local, QPointF(global));
                QApplication::sendEvent(target, &enter);
            }
            QTest::mouseMove(target, local.toPoint());
        }
        entered = target;
    };
    const auto enterForm = [&](QPoint global) {
        const QPointF local = form->mapFromGlobal(QPointF(global));
        QEnterEvent enter(local, local, QPointF(global));
        QApplication::sendEvent(form.get(), &enter);
    };
    int onHeaders = 0, openedUnder = 0;
    for (int change = 0; change < 1000; ++change) {
        // The headers in sight now: opening one pushes the others down.
        std::vector<TKVPanel *> inSight;
        const QRect view(form->CategoryArea->viewport()->mapToGlobal(QPoint(0, 0)),
                         form->CategoryArea->viewport()->size());
        for (int i = 0; i < PanelCount; ++i) {
            TKVPanel *p = form->CategoryArea->panels[i];
            if (view.contains(p->mapToGlobal(p->header->geometry().center())))
                inSight.push_back(p);
        }
        if (random() % 8 == 0 || inSight.empty()) {
            pointTo(nullptr, away);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(form.get(), &leave);
        } else {
            TKVPanel *p = inSight[random() % inSight.size()];
            const QPoint global = p->mapToGlobal(p->header->geometry().center());
            if (!entered)
                enterForm(global);
            pointTo(p, global);
            ++onHeaders;
            if (random() % 10 == 0) // a click on the header under the pointer
                QTest::mouseClick(p, Qt::LeftButton, {}, p->header->geometry().center());
        }
        switch (random() % 4) {
        case 0:
            break;
        case 1:
            QCoreApplication::processEvents();
            break;
        default:
            QTest::qWait(int(random() % 25));
            break;
        }
        if (auto *p = qobject_cast<TKVPanel *>(entered); p && p->open && p->linkCount > 0)
            ++openedUnder;
    }
    EXPECT_GT(onHeaders, 500);
    EXPECT_GT(openedUnder, 100) << "the panel under the pointer hardly ever opened";
    pointTo(nullptr, away);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form.get(), &leave);
    ASSERT_TRUE(RestsWithin(*form));
    ExpectConsistent(*form);
    // With the pointer away, of the panels with links only the one locked
    // open stays open.
    for (int i = 0; i < PanelCount; ++i)
        if (form->CategoryArea->panels[i]->linkCount > 0) {
            EXPECT_EQ(form->CategoryArea->panels[i]->open, i == 4) << i;
        }
    ExpectRoundTripKeeps(form);
}

// --- launches ----------------------------------------------------------------

std::vector<pid_t> ChildrenOfThisProcess()
{
    std::vector<pid_t> children;
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return children;
    while (const dirent *e = readdir(tasks)) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream in(std::string("/proc/self/task/") + e->d_name + "/children");
        for (pid_t pid; in >> pid;)
            children.push_back(pid);
    }
    closedir(tasks);
    return children;
}

// The state letter and parent of pid from /proc/<pid>/stat; 0 when it is gone.
char ProcessState(pid_t pid, pid_t *parent = nullptr)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return 0;
    const std::size_t close = line.rfind(')');
    char state = 0;
    int ppid = 0;
    if (close == std::string::npos || std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) != 2)
        return 0;
    if (parent)
        *parent = ppid;
    return state;
}

// The descriptors open in a process, each with what it refers to.
std::map<int, std::string> OpenDescriptors(const std::string &pid = "self")
{
    std::map<int, std::string> fds;
    const std::string folder = "/proc/" + pid + "/fd";
    DIR *d = opendir(folder.c_str());
    if (!d)
        return fds;
    const int own = dirfd(d);
    while (const dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const int fd = std::atoi(e->d_name);
        if (pid == "self" && fd == own)
            continue;
        char target[4096];
        const ssize_t n = readlink((folder + "/" + e->d_name).c_str(), target, sizeof target - 1);
        fds[fd] = n > 0 ? std::string(target, std::size_t(n)) : std::string("?");
    }
    closedir(d);
    return fds;
}

std::string Describe(const std::map<int, std::string> &fds)
{
    std::ostringstream out;
    for (const auto &[fd, what] : fds)
        out << fd << " -> " << what << "\n";
    return out.str();
}

TEST_F(Limits, TwoHundredLaunchesLeaveNoZombiesAndNoDescriptors)
{
    // A program that keeps running: it notes its process number and sleeps
    // in the same process, with the standard streams away from the test's.
    const fs::path sleeper = dir / "sleeper";
    const fs::path started = dir / "started";
    std::ofstream(sleeper) << "#!/bin/sh\necho $$ >> '" << started.string()
                           << "'\nexec sleep 5 </dev/null >/dev/null 2>&1\n";
    fs::permissions(sleeper, fs::perms::owner_all);
    {
        KVUIOperationClass m;
        m.WriteDefaults();
        AddCategory(m, 0, "programs", 2, ctApplications);
        SetField(m.categories[0].links[0].path, "/bin/true");
        SetField(m.categories[0].links[1].path, sleeper.string());
        ASSERT_TRUE(m.SaveConfiguration());
    }
    platform::FakeLaunch().through = &platform::DesktopLauncher();
    TKVGUIForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_TRUE(RestsWithin(form));
    QTest::qWait(50);
    const std::map<int, std::string> before = OpenDescriptors();

    TKVPanel *panel = form.CategoryArea->panels[0];
    ASSERT_TRUE(panel->open);
    constexpr int kLaunches = 200;
    std::mt19937 random(3);
    for (int launch = 0; launch < kLaunches; ++launch) {
        const bool keepsRunning = launch % 2 == 1;
        const QPoint on = panel->linkLabels[keepsRunning ? 1 : 0]->geometry().center();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(panel, Qt::LeftButton, {}, on);
        // Starting a program does not wait for it to end.
        if (keepsRunning) {
            ASSERT_LT(clock.elapsed(), 500) << "launch " << launch << " waited for the program";
        }
        if (random() % 3 == 0)
            QCoreApplication::processEvents();
    }
    ASSERT_EQ(platform::FakeLaunch().calls.size(), std::size_t(kLaunches));
    EXPECT_TRUE(forms::ShownMessages().empty()) << forms::ShownMessages().front().caption.toStdString()
                                                << ": " << forms::ShownMessages().front().text.toStdString();

    // Every program that keeps running has started, and none of them is a
    // child of this process or holds a descriptor beyond the standard three.
    std::vector<pid_t> sleepers;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            sleepers.clear();
            std::ifstream in(started);
            for (pid_t pid; in >> pid;)
                sleepers.push_back(pid);
            return sleepers.size() >= std::size_t(kLaunches / 2);
        },
        10000))
        << sleepers.size() << " of " << kLaunches / 2 << " started";
    QTest::qWait(100); // each has gone from the shell to sleep
    for (pid_t pid : sleepers) {
        pid_t parent = 0;
        if (!ProcessState(pid, &parent))
            continue;
        EXPECT_NE(parent, getpid()) << pid;
        std::map<int, std::string> inherited = OpenDescriptors(std::to_string(pid));
        for (int standard : {0, 1, 2})
            inherited.erase(standard);
        EXPECT_TRUE(inherited.empty()) << "process " << pid << " holds\n" << Describe(inherited);
    }
    for (pid_t pid : sleepers)
        kill(pid, SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (pid_t pid : sleepers)
                if (ProcessState(pid) != 0)
                    return false;
            return true;
        },
        5000));

    // Nothing of ours is left: no child, running or a zombie, and every
    // descriptor a launch opened is closed again.
    EXPECT_TRUE(QTest::qWaitFor([] { return ChildrenOfThisProcess().empty(); }, 2000));
    for (pid_t pid : ChildrenOfThisProcess())
        ADD_FAILURE() << "child " << pid << " in state " << ProcessState(pid);
    QTest::qWait(50);
    // Qt's own threads may close theirs meanwhile: what counts is what is new.
    std::map<int, std::string> opened;
    for (const auto &[fd, what] : OpenDescriptors())
        if (auto was = before.find(fd); was == before.end() || was->second != what)
            opened[fd] = what;
    EXPECT_TRUE(opened.empty()) << "left open after the launches:\n"
                                << Describe(opened) << "before them:\n"
                                << Describe(before);
}

} // namespace
