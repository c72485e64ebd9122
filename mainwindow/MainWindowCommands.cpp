// The main window's menus, the time label's big clock and the system buttons.

#include "KVGUIFormUnit.h"

#include <QContextMenuEvent>
#include <QMenu>

#include "CategoryPanels.h"
#include "ClockFormUnit.h"
#include "Forms.h"
#include "MainMenus.h"
#include "Platform.h"
#include "SettingsLog.h"
#include "SystemCommands.h"
#include "UpdateCheck.h"

using namespace forms;

TKVMainMenus &TKVGUIForm::Menus()
{
    if (!m_menus) {
        m_menus = std::make_unique<TKVMainMenus>();
        BuildMainMenus(this, *m_menus);
    }
    return *m_menus;
}

void TKVGUIForm::contextMenuEvent(QContextMenuEvent *e)
{
    Menus().PopupMenu1->popup(e->globalPos());
    e->accept();
}

void TKVGUIForm::TimeLabelClick()
{
    if (!ClockForm || !KVOP)
        return;
    if (!ClockForm->mover.setUp) {
        ClockForm->SetUpMover(this);
        mover.followers[0] = &ClockForm->mover;
        ClockForm->installEventFilter(this); // its moves are saved like the window's
        WatchCovering(ClockForm, m_clockCovered);
    }
    const QRect screen = platform::Windows().VirtualScreen();
    if (ClockForm->isVisible()) {
        const QPoint p = ClockForm->ClampedPosition(ClockForm->pos(), screen);
        KVOP->clockLeft = p.x();
        KVOP->clockTop = p.y();
        ClockForm->hide();
    } else {
        ClockForm->SetColours(Colour(crBackground), FontColor(TimeLabel));
        ClockForm->SetAlpha(AlphaTrack->value());
        // Inside the virtual screen, and on a monitor: a place on one that has
        // gone is on the primary.
        const QPoint p = ClockForm->ClampedPosition({KVOP->clockLeft, KVOP->clockTop}, screen);
        const KVRect r = OnAMonitor({p.x(), p.y(), ClockForm->width(), ClockForm->height()});
        ClockForm->move(r.left, r.top);
        ClockForm->SetTexts(QString::fromStdString(KVOP->timeText), QString::fromStdString(KVOP->dayText),
                            QString::fromStdString(KVOP->dateText));
        // Shown and raised; not through the bring-to-front of a window that
        // may have been unmapped behind Qt's back: this one is on its way to
        // the screen, and taking its map request back would lose it.
        ClockForm->show();
        ClockForm->raise();
    }
    KVOP->clockVisible = ClockForm->isVisible();
    ScheduleSave();
}

void TKVGUIForm::CenterBigClock1Click()
{
    if (!ClockForm || !KVOP)
        return;
    const QPoint p = ClockForm->CentredPosition(platform::Windows().VirtualScreen());
    KVOP->clockLeft = p.x();
    KVOP->clockTop = p.y();
    // A hidden clock moves too, or the next save would take its old place.
    ClockForm->move(p);
    ScheduleSave();
}

void TKVGUIForm::Printsettingstolog1Click()
{
    WriteSettingsLog(this, PanelCount, [this] { RefreshClockTexts(); });
}

void TKVGUIForm::Checkforupdates1Click()
{
    CheckForUpdates(this, ModuleDownloader(), [this] { ConnectButtonClick(); });
}

void TKVGUIForm::ConnectButtonClick()
{
    ConnectToInternet(this);
}

void TKVGUIForm::RunButtonClick()
{
    OpenRunDialog(this);
}

void TKVGUIForm::ToggleDesktopButtonClick()
{
    ShowDesktop();
}

void TKVGUIForm::LogOffButtonClick()
{
    EndSession(this, SessionEnd::LogOff);
}

void TKVGUIForm::RestartButtonClick()
{
    EndSession(this, SessionEnd::Restart);
}

void TKVGUIForm::ShutDownButtonClick()
{
    EndSession(this, SessionEnd::ShutDown);
}
