// The tray icon component off screen, where no tray exists: what a tray
// would report is fed to Activated, where the real signal ends too.

#include <gtest/gtest.h>

#include <vector>

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QStyleHints>
#include <QTest>
#include <QWidget>

#include "CoolTrayIcon.h"
#include "FakeWindowSystem.h"
#include "SimpleTimer.h"

static void InitProgramResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {

template <typename Pred> bool WaitFor(Pred pred, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QTest::qWait(5);
    return pred();
}

QIcon Swatch(Qt::GlobalColor colour)
{
    QPixmap p(16, 16);
    p.fill(colour);
    return QIcon(p);
}

// Keeps the messages instead of handing them to the tray.
struct RecordingTrayIcon : TCoolTrayIcon {
    using TCoolTrayIcon::TCoolTrayIcon;
    struct Message {
        QString title;
        QString text;
        QSystemTrayIcon::MessageIcon icon;
        int msecs;
    };
    std::vector<Message> messages;

  protected:
    void ShowMessage(const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon,
                     int msecs) override
    {
        messages.push_back({title, text, icon, msecs});
    }
};

constexpr int DoubleClickMs = 100;

struct TrayIcon : ::testing::Test {
    int savedInterval = 0;
    int clicks = 0;
    int doubleClicks = 0;

    void SetUp() override
    {
        platform::FakeWindows() = platform::FakeWindowSystem{};
        savedInterval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(DoubleClickMs);
    }
    void TearDown() override { QGuiApplication::styleHints()->setMouseDoubleClickInterval(savedInterval); }

    void Count(TCoolTrayIcon &tray, bool withDoubleClick)
    {
        tray.OnClick = [this](TCoolTrayIcon *) { ++clicks; };
        if (withDoubleClick)
            tray.OnDblClick = [this](TCoolTrayIcon *) { ++doubleClicks; };
    }
};

TEST_F(TrayIcon, SingleClickWaitsForTheDoubleClickTimeAndTheTimerRestsAfterwards)
{
    TCoolTrayIcon tray(nullptr);
    Count(tray, true);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);

    QElapsedTimer since;
    since.start();
    tray.Activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 1);
    ASSERT_TRUE(WaitFor([&] { return clicks > 0; }));
    EXPECT_GE(since.elapsed(), DoubleClickMs - 5);

    QTest::qWait(3 * DoubleClickMs);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(doubleClicks, 0);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
}

TEST_F(TrayIcon, DoubleClickFiresDblClickAndNeverClick)
{
    using R = QSystemTrayIcon::ActivationReason;
    const std::vector<std::vector<R>> reports = {
        {R::Trigger, R::DoubleClick},             // press, then a double click
        {R::Trigger, R::Trigger, R::DoubleClick}, // an XEmbed icon: both presses, then the double click
    };
    for (const auto &sequence : reports) {
        SCOPED_TRACE(sequence.size());
        clicks = doubleClicks = 0;
        TCoolTrayIcon tray(nullptr);
        Count(tray, true);
        for (R r : sequence)
            tray.Activated(r);
        EXPECT_EQ(doubleClicks, 1);
        QTest::qWait(3 * DoubleClickMs);
        EXPECT_EQ(clicks, 0);
        EXPECT_EQ(GetSimpleTimerActiveCount(), 0);

        // The double click is forgotten: the next single click counts.
        tray.Activated(R::Trigger);
        EXPECT_TRUE(WaitFor([&] { return clicks == 1; }));
        EXPECT_EQ(doubleClicks, 1);
    }
}

TEST_F(TrayIcon, WithoutDblClickHandlerClickFiresAtOnceAndNoTimerRuns)
{
    TCoolTrayIcon tray(nullptr);
    Count(tray, false);
    tray.Activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);
}

TEST_F(TrayIcon, ReportsBecomeButtonEventsInOrderAndNoneWhenDisabled)
{
    using R = QSystemTrayIcon::ActivationReason;
    struct Case {
        R reason;
        bool enabled;
        QStringList expected;
    };
    const Case cases[] = {
        {R::Trigger, true, {"down 1", "click", "up 1"}},
        {R::Context, true, {"down 2", "up 2"}},
        {R::MiddleClick, true, {"down 4", "up 4"}},
        {R::DoubleClick, true, {"double"}},
        {R::Trigger, false, {}},
        {R::Context, false, {}},
        {R::DoubleClick, false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.reason) << " enabled " << c.enabled);
        QStringList log;
        TCoolTrayIcon tray(nullptr);
        tray.SetEnabled(c.enabled);
        tray.OnClick = [&](TCoolTrayIcon *) { log << "click"; };
        tray.OnMouseDown = [&](TCoolTrayIcon *, Qt::MouseButton b, Qt::KeyboardModifiers, int, int) {
            log << QStringLiteral("down %1").arg(int(b));
        };
        tray.OnMouseUp = [&](TCoolTrayIcon *, Qt::MouseButton b, Qt::KeyboardModifiers, int, int) {
            log << QStringLiteral("up %1").arg(int(b));
        };
        // Only the double click itself is logged, not the clicks around it.
        if (c.reason == R::DoubleClick)
            tray.OnDblClick = [&](TCoolTrayIcon *) { log << "double"; };
        tray.Activated(c.reason);
        EXPECT_EQ(log, c.expected);
    }
}

TEST_F(TrayIcon, TooltipIsTheHintCutTo127AndEmptyWithoutShowHint)
{
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
    struct Case {
        QString hint;
        bool showHint;
        QString expected;
    };
    const Case cases[] = {
        {"Kestrava 1.1.8", true, "Kestrava 1.1.8"},
        {QString(127, 'x'), true, QString(127, 'x')},
        {QString(200, 'x'), true, QString(127, 'x')},
        {QString(126, 'a') + smile + "b", true, QString(126, 'a')}, // no half character
        {QString(125, 'a') + smile + "b", true, QString(125, 'a') + smile},
        {"", true, ""},
        {"Kestrava 1.1.8", false, ""},
        {"<b>1 < 2</b>", true, "<b>1 < 2</b>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hint.toStdString());
        TCoolTrayIcon tray(nullptr);
        tray.SetHint(c.hint);
        tray.SetShowHint(c.showHint);
        EXPECT_EQ(tray.TooltipText(), c.expected);
        EXPECT_EQ(tray.Tray().toolTip(), c.expected);
    }

    TCoolTrayIcon tray(nullptr);
    tray.SetShowHint(false);
    tray.SetHint("Kestrava");
    EXPECT_EQ(tray.Tray().toolTip(), "");
    tray.SetShowHint(true);
    EXPECT_EQ(tray.Tray().toolTip(), "Kestrava");
}

TEST_F(TrayIcon, BalloonTitleAndTextAreCutAndOnlyAVisibleIconSpeaks)
{
    RecordingTrayIcon tray(nullptr);
    const QString title = QString(40, 't') + QString(40, 'T');
    const QString text = QString(200, 'm') + QString(200, 'M');

    EXPECT_FALSE(tray.ShowBalloonHint(title, text, bitWarning, 5));
    EXPECT_FALSE(tray.HideBalloonHint());
    EXPECT_TRUE(tray.messages.empty());

    tray.SetIcon(Swatch(Qt::blue));
    tray.ShowIcon();
    EXPECT_TRUE(tray.Tray().isVisible());
    ASSERT_TRUE(tray.ShowBalloonHint(title, text, bitWarning, 5));
    ASSERT_TRUE(tray.ShowBalloonHint("Short", "Said", bitError, 0));
    ASSERT_TRUE(tray.HideBalloonHint());
    ASSERT_EQ(tray.messages.size(), 3u);
    EXPECT_EQ(tray.messages[0].title, title.left(63));
    EXPECT_EQ(tray.messages[0].text, text.left(255));
    EXPECT_EQ(tray.messages[0].icon, QSystemTrayIcon::Warning);
    EXPECT_EQ(tray.messages[0].msecs, 5000);
    EXPECT_EQ(tray.messages[1].title, "Short");
    EXPECT_EQ(tray.messages[1].text, "Said");
    EXPECT_EQ(tray.messages[1].icon, QSystemTrayIcon::Critical);
    EXPECT_TRUE(tray.messages[2].title.isEmpty());
    EXPECT_TRUE(tray.messages[2].text.isEmpty());

    int clicked = 0;
    tray.OnBalloonHintClick = [&](TCoolTrayIcon *) { ++clicked; };
    emit tray.Tray().messageClicked();
    EXPECT_EQ(clicked, 1);

    tray.HideIcon();
    EXPECT_FALSE(tray.Tray().isVisible());
}

TEST_F(TrayIcon, IconIndexPastTheListSelectsTheLastIcon)
{
    const std::vector<QIcon> list = {Swatch(Qt::red), Swatch(Qt::green), Swatch(Qt::blue)};
    TCoolTrayIcon tray(nullptr);
    tray.SetIconIndex(4); // no list yet
    EXPECT_EQ(tray.IconIndex(), 0);

    tray.SetIconList(list);
    struct Case {
        int index;
        int expected;
    };
    for (const Case c : {Case{1, 1}, Case{3, 2}, Case{99, 2}, Case{0, 0}, Case{-1, 0}}) {
        SCOPED_TRACE(c.index);
        tray.SetIconIndex(c.index);
        EXPECT_EQ(tray.IconIndex(), c.expected);
        EXPECT_EQ(tray.Icon().cacheKey(), list[c.expected].cacheKey());
        EXPECT_EQ(tray.Tray().icon().cacheKey(), list[c.expected].cacheKey());
    }
}

TEST_F(TrayIcon, CyclingAdvancesAndWrapsAndTellsTheNextIndex)
{
    const std::vector<QIcon> list = {Swatch(Qt::red), Swatch(Qt::green), Swatch(Qt::blue)};
    TCoolTrayIcon tray(nullptr);
    tray.SetIconList(list);

    // An interval of 0 keeps the timer off, cycling or not.
    tray.SetCycleIcons(true);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);

    std::vector<int> shown, next;
    tray.OnCycle = [&](TCoolTrayIcon *t, int nextIndex) {
        shown.push_back(t->IconIndex());
        next.push_back(nextIndex);
    };
    tray.SetCycleInterval(5);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 1);
    ASSERT_TRUE(WaitFor([&] { return next.size() >= 4; }));
    tray.SetCycleIcons(false);
    EXPECT_EQ(GetSimpleTimerActiveCount(), 0);

    next.resize(4);
    shown.resize(4);
    EXPECT_EQ(next, (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(shown, (std::vector<int>{0, 1, 2, 0}));
    const int at = tray.IconIndex();
    EXPECT_EQ(tray.Tray().icon().cacheKey(), list[at].cacheKey());
}

TEST_F(TrayIcon, HideMainFormHidesTheOwnerWithoutTaskbarButtonAndShowRestoresIt)
{
    QWidget owner;
    owner.show();
    TCoolTrayIcon tray(&owner);

    tray.HideMainForm();
    EXPECT_FALSE(owner.isVisible());
    EXPECT_TRUE(platform::FakeWindows().skipTaskbar);

    owner.showMinimized();
    ASSERT_TRUE(owner.isMinimized());
    tray.ShowMainForm();
    EXPECT_FALSE(owner.isMinimized());
    EXPECT_TRUE(owner.isVisible());
    EXPECT_EQ(platform::FakeWindows().bringToFrontCalls, 1);

    tray.ShowTaskbarIcon();
    EXPECT_FALSE(platform::FakeWindows().skipTaskbar);
    tray.HideTaskbarIcon();
    EXPECT_TRUE(platform::FakeWindows().skipTaskbar);
}

TEST_F(TrayIcon, MenuIsTheTraysForTheRightButtonAndOpensOnTheLeftWithLeftPopup)
{
    auto *menu = new QMenu;
    QAction *show = menu->addAction("Show");
    TCoolTrayIcon tray(nullptr);
    tray.SetPopupMenu(menu);
    EXPECT_EQ(tray.Tray().contextMenu(), menu);
    tray.SetEnabled(false);
    EXPECT_EQ(tray.Tray().contextMenu(), nullptr);
    tray.SetEnabled(true);
    EXPECT_EQ(tray.Tray().contextMenu(), menu);

    tray.Activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(menu->isVisible());
    tray.LeftPopup = true;
    tray.Activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();

    // A double click runs the menu's default item, unless the left button
    // opens the menu anyway.
    int shows = 0;
    QObject::connect(show, &QAction::triggered, [&] { ++shows; });
    menu->setDefaultAction(show);
    tray.Activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(shows, 0);
    tray.LeftPopup = false;
    tray.Activated(QSystemTrayIcon::DoubleClick);
    EXPECT_EQ(shows, 1);

    delete menu;
    EXPECT_EQ(tray.PopupMenu(), nullptr);
    tray.Activated(QSystemTrayIcon::Trigger); // nothing left to open
}

TEST(TrayProgramIcon, HasEverySizeAsDrawnOnATransparentCorner)
{
    InitProgramResources();
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int s : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(s);
        EXPECT_TRUE(sizes.contains(QSize(s, s)));
        const QImage image = icon.pixmap(QSize(s, s)).toImage();
        EXPECT_EQ(image.size(), QSize(s, s));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(s / 2, s - 1 - s / 8)), 255);
    }
}

} // namespace
