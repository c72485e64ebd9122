// The main window's animation tick and its rest: the steps of every 10 ms
// while anything moves or the pointer is over the window, and a tick on each
// whole second for the clock when nothing else can change.

#include "KVGUIFormUnit.h"

#include <ctime>

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QWindow>

#include "AddEntryFormUnit.h"
#include "Animation.h"
#include "CategoryPanels.h"
#include "ClockFormUnit.h"
#include "ClockTexts.h"
#include "GamePanel.h"
#include "ImportFormUnit.h"
#include "Platform.h"
#include "SettingsFormUnit.h"
#include "SimpleTimer.h"

void TKVGUIForm::RefreshClockTexts()
{
    // The precise clock: time() reads a coarse one that may still show the
    // last second just after the boundary the clock tick waits for.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    ClockTexts texts = MakeClockTexts(local);
    KVOP->timeText = texts.time;
    KVOP->dayText = texts.day;
    KVOP->dateText = texts.date;
}

void TKVGUIForm::DoxBoxTimerTimer()
{
    if (!KVOP)
        return;
    const double t = DoxBoxTimer->GetInterval();
    ShowClockTexts();
    const WindowSettings &s = KVOP->settings;
    // One look at the pointer a tick: each is a round trip to the server.
    const QPoint pointer = QCursor::pos();
    const bool inside = PointerInside(pointer);
    bool panelsChanged = false;
    if (s.autoMode) {
        const int n = std::min(PanelCount, int(kMaxCategories));
        if (s.dockWindow && s.dockPosition >= 0 && s.dockPosition <= 10)
            DockWindow();
        if (s.autoAlpha)
            StepAlpha(inside, t);
        if (s.mouseOverSectionResize && CategoryArea) {
            // A link label has no window: over one, the panel is what the
            // pointer is over. Its check box and button box are windows.
            const QWidget *under = QApplication::widgetAt(pointer);
            for (int i = 0; i < n; ++i)
                if (TKVPanel *panel = CategoryArea->panels[i]) {
                    const bool wasOpen = panel->open;
                    panel->SetHoverOpen(under == panel);
                    panelsChanged |= panel->open != wasOpen;
                }
            // The panels moved under a pointer that stayed put, and no move
            // tells them: the label it is over now shows the hover.
            if (panelsChanged) {
                const QWidget *now = QApplication::widgetAt(pointer);
                for (int i = 0; i < n; ++i)
                    if (TKVPanel *panel = CategoryArea->panels[i])
                        panel->Hover(panel == now ? panel->LabelAt(panel->mapFromGlobal(pointer)) : nullptr);
            }
        }
    }
    if (GameFadingPanel && ButtonFadingPanel) {
        const int game = GameFadingPanel->height(), buttons = ButtonFadingPanel->height();
        GameFadingPanel->Step(t);
        ButtonFadingPanel->Step(t);
        if (game != GameFadingPanel->height() || buttons != ButtonFadingPanel->height()) {
            update();
            // A header that slid away from a pointer that stayed put hears
            // of no leave, nor one that slid under it of an enter: when the
            // sliding ends, the headers look at the pointer again.
            if (GameFadingPanel->Settled() && ButtonFadingPanel->Settled()) {
                const QWidget *under = QApplication::widgetAt(pointer);
                for (TKVFadingPanel *section : {GameFadingPanel, ButtonFadingPanel})
                    section->header->PointerOver(under == section->header);
            }
        }
    }
    if (GameMoving())
        GamePanel->Step(t);
    if (!panelsChanged && AtRest(inside))
        Rest();
}

void TKVGUIForm::ShowClockTexts()
{
    RefreshClockTexts();
    const QString time = QString::fromStdString(KVOP->timeText);
    if (TimeLabel->text() != time)
        TimeLabel->setText(time);
    if (ClockForm && ClockForm->isVisible())
        ClockForm->SetTexts(time, QString::fromStdString(KVOP->dayText),
                            QString::fromStdString(KVOP->dateText));
}

bool TKVGUIForm::PointerInside(QPoint p) const
{
    // Both edges count, as the pointer test of the form library's era did.
    return x() <= p.x() && p.x() <= x() + width() && y() <= p.y() && p.y() <= y() + height();
}

void TKVGUIForm::StepAlpha(bool inside, double elapsedMs)
{
    const AutoAlphaState next =
        StepAutoAlpha({alphaAccumulator, AlphaTrack->value(), fadeOutDelay}, inside, elapsedMs);
    if (next.position != AlphaTrack->value()) {
        // The fade moves the track bar as the user would, but is no change
        // of the user's to save.
        m_fading = true;
        AlphaTrack->setValue(next.position);
        m_fading = false;
    }
    alphaAccumulator = next.accumulator;
    fadeOutDelay = next.delay;
}

bool TKVGUIForm::AtRest(bool inside) const
{
    // While the pointer is over the window, everything runs as it always
    // did: the mouse-over check looks at it on every tick. A window that is
    // not on the screen (minimised, the desktop shown) is never under it.
    if (inside && isVisible() && !m_covered && windowHandle() && windowHandle()->isExposed())
        return false;
    // A menu or a modal box holds the pointer: the window would not hear it
    // come back, so everything runs as it always did until they close.
    if (QApplication::activePopupWidget() || QApplication::activeModalWidget())
        return false;
    const WindowSettings &s = KVOP->settings;
    if (s.autoMode && s.autoAlpha &&
        !AutoAlphaSettled({alphaAccumulator, AlphaTrack->value(), fadeOutDelay}, inside))
        return false;
    for (const TKVFadingPanel *section : {GameFadingPanel, ButtonFadingPanel})
        if (section && !section->Settled())
            return false;
    // Balls in flight keep the timer; balls at rest let it sleep.
    return !GameMoving() || GamePanel->AtRest();
}

bool TKVGUIForm::GameMoving() const
{
    return GamePanel && GamePanel->Running() && GameFadingPanel && GameFadingPanel->Open() &&
           GameFadingPanel->AtMaximum() && !(SettingsForm && SettingsForm->isVisible()) &&
           !(AddEntryForm && AddEntryForm->isVisible()) && !(ImportForm && ImportForm->isVisible());
}

void TKVGUIForm::Rest()
{
    // Nothing can change until one of the events that wake the timer: only
    // the clock texts go on, each on the second they show.
    DoxBoxTimer->SetEnabled(false);
    ArmClockTick();
}

void TKVGUIForm::Wake()
{
    if (!DoxBoxTimer || DoxBoxTimer->GetEnabled() || m_closed)
        return;
    m_clockTick.stop();
    DoxBoxTimer->SetEnabled(true);
}

bool TKVGUIForm::Resting() const
{
    return DoxBoxTimer && !DoxBoxTimer->GetEnabled();
}

void TKVGUIForm::ArmClockTick()
{
    // Hidden, minimised or covered, a clock wakes nobody: the program
    // sleeps until one can be seen again.
    if (!ClockInSight()) {
        m_clockTick.stop();
        return;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    m_clockTick.start(int(1000 - now % 1000) + 1);
}

bool TKVGUIForm::ClockInSight() const
{
    const bool window = isVisible() && !isMinimized() && !m_covered;
    const bool bigClock = ClockForm && ClockForm->isVisible() && !ClockForm->isMinimized() && !m_clockCovered;
    return window || bigClock;
}

void TKVGUIForm::FollowClockSight()
{
    if (!KVOP || m_closed || !m_constructed)
        return;
    if (ClockInSight())
        ShowClockTexts();
    if (Resting()) // else the animation's tick runs, and rests with the clock's
        ArmClockTick();
}

void TKVGUIForm::WatchCovering(QWidget *window, bool &covered)
{
    covered = false;
    platform::Windows().WatchCovering(window, [this, &covered](bool now) {
        if (covered == now)
            return;
        covered = now;
        FollowClockSight();
    });
}
