#pragma once

// The main window's three pop-up menus: its context menu, the tray icon's
// menu and the time label's menu. They are built the first time one opens,
// since a launcher that is only clicked never needs them.

#include "Kvguiglobals.h"

class QAction;
class QMenu;
class TKVGUIForm;

struct TKVMainMenus {
    // PopupMenu1, the context menu, and its items.
    QMenu *PopupMenu1 = nullptr;
    QAction *AutoMode1 = nullptr;
    QAction *Enabled1 = nullptr;
    QAction *DockWindow1 = nullptr;
    QAction *AutoAlpha1 = nullptr;
    QAction *MouseOverSectionResize1 = nullptr;
    QAction *AlwaysOnTop1 = nullptr;
    QAction *DockPosition1 = nullptr;
    QAction *dockPositions[dpAbsoluteRight + 1] = {}; // by dock position value
    QAction *Settings1 = nullptr;
    QAction *AddCategory1 = nullptr;
    QAction *ImportApplications1 = nullptr;
    QAction *ColoursFonts1 = nullptr;
    QAction *System1 = nullptr;
    QAction *LogOff1 = nullptr;
    QAction *Restart1 = nullptr;
    QAction *ShutDown1 = nullptr;
    QAction *Printsettingstolog1 = nullptr;
    QAction *Checkforupdates1 = nullptr;
    QAction *About1 = nullptr;
    QAction *Exit1 = nullptr;

    // TaskTrayMenu, the tray icon's menu.
    QMenu *TaskTrayMenu = nullptr;
    QAction *TraySettings1 = nullptr;
    QAction *Hide1 = nullptr;
    QAction *Show1 = nullptr;
    QAction *TrayExit1 = nullptr;

    // ClockPopup, the time label's menu.
    QMenu *ClockPopup = nullptr;
    QAction *CenterBigClock1 = nullptr;
    QAction *ClockCheckforupdates1 = nullptr;
    QAction *ClockAbout1 = nullptr;
    QAction *ClockExit1 = nullptr;
};

// Builds the three menus as children of form, with their handlers.
void BuildMainMenus(TKVGUIForm *form, TKVMainMenus &menus);

// The check marks of the context menu, from the window settings. Every menu
// runs it before it opens.
void PopupMenu1Popup(TKVMainMenus &menus, const WindowSettings &settings);
