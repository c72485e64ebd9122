// The main window and the monitors: it docks in the work area of the monitor
// it is on, and when monitors come, go or change, it docks again at once, and
// it and the big clock come back from a monitor that went away.

#include "KVGUIFormUnit.h"

#include <utility>

#include <QGuiApplication>
#include <QScreen>

#include "ClockFormUnit.h"
#include "Platform.h"
#include "WindowGeometry.h"

namespace {

KVScreens CurrentScreens()
{
    const platform::MonitorList list = platform::Windows().Monitors();
    KVScreens screens;
    screens.primary = list.primary;
    for (const platform::Monitor &m : list.monitors)
        screens.screens.push_back({AreaOf(m.geometry), AreaOf(m.available), m.name.toStdString()});
    return screens;
}

KVRect RectOf(const QWidget *w)
{
    return {w->x(), w->y(), w->width(), w->height()};
}

} // namespace

KVArea TKVGUIForm::DockAreaFor(KVRect window) const
{
    return DockArea(window, CurrentScreens(), AreaOf(platform::Windows().WorkArea()));
}

KVRect TKVGUIForm::OnAMonitor(KVRect window) const
{
    // With nothing known of before, only a window on no monitor moves.
    return Rehome(window, KVScreens{}, CurrentScreens());
}

void TKVGUIForm::FollowScreens()
{
    m_screens = CurrentScreens();
    for (QScreen *screen : QGuiApplication::screens())
        FollowScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen *screen) {
        FollowScreen(screen);
        ScreensChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this] { ScreensChanged(); });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this] { ScreensChanged(); });
}

void TKVGUIForm::FollowScreen(QScreen *screen)
{
    if (!screen)
        return;
    // A screen that goes takes its connections with it.
    connect(screen, &QScreen::geometryChanged, this, &TKVGUIForm::ScreensChanged, Qt::UniqueConnection);
    connect(screen, &QScreen::availableGeometryChanged, this, &TKVGUIForm::ScreensChanged,
            Qt::UniqueConnection);
}

void TKVGUIForm::ScreensChanged()
{
    // A monitor plugged in sends several signals at once (added, geometry,
    // work area, perhaps a new primary): the window docks once, after them,
    // on an event of the loop rather than a timer.
    if (std::exchange(m_screenChangePending, true))
        return;
    QMetaObject::invokeMethod(
        this, [this] { ApplyScreenChange(); }, Qt::QueuedConnection);
}

void TKVGUIForm::ApplyScreenChange()
{
    m_screenChangePending = false;
    if (!KVOP || m_closed)
        return;
    const KVScreens before = std::exchange(m_screens, CurrentScreens());
    const KVScreens &after = m_screens;
    const WindowSettings &s = KVOP->settings;
    const bool docked = s.autoMode && s.dockWindow && s.dockPosition >= 0 && s.dockPosition <= 10;
    const KVRect here = RectOf(this);
    const KVRect r = PlaceAfterScreenChange(here, docked, before, after, KVOP->settings, KVOP->savedSettings,
                                            minimumWidth(), minimumHeight());
    if (!(r == here))
        SetFormBounds(r.left, r.top, r.width, r.height);

    if (ClockForm) {
        const KVRect clock = RectOf(ClockForm);
        const KVRect c = Rehome(clock, before, after);
        if (!(c == clock))
            ClockForm->move(c.left, c.top);
        // A hidden clock shows next at its stored place.
        if (!ClockForm->isVisible()) {
            const KVRect stored{KVOP->clockLeft, KVOP->clockTop, clock.width, clock.height};
            const KVRect home = Rehome(stored, before, after);
            if (!(home == stored)) {
                KVOP->clockLeft = home.left;
                KVOP->clockTop = home.top;
                ScheduleSave();
            }
        }
    }
    const QRect screen = platform::Windows().VirtualScreen();
    KVOP->screenWidth = screen.width();
    KVOP->screenHeight = screen.height();
    RefreshLayout(false);
}
