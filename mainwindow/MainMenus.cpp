#include "MainMenus.h"

#include <QMenu>

#include "KVGUIFormUnit.h"
#include "SettingsFormUnit.h"
#include "SystemCommands.h"

namespace {

const char *const kDockPositionCaptions[dpAbsoluteRight + 1] = {
    "Top Left",  "Middle Left",  "Bottom Left",  "Top Middle",    "Centre",        "Bottom Middle",
    "Top Right", "Middle Right", "Bottom Right", "Absolute Left", "Absolute Right"};

template <typename Handler> QAction *Item(QMenu *menu, const char *caption, Handler handler)
{
    QAction *a = menu->addAction(QString::fromLatin1(caption));
    QObject::connect(a, &QAction::triggered, menu, handler);
    return a;
}

// An item whose check mark shows a setting; the mark is set before the menu
// opens, not by the click.
template <typename Handler> QAction *Check(QMenu *menu, const char *caption, Handler handler)
{
    QAction *a = Item(menu, caption, handler);
    a->setCheckable(true);
    return a;
}

} // namespace

void BuildMainMenus(TKVGUIForm *form, TKVMainMenus &m)
{
    m.PopupMenu1 = new QMenu(form);
    QMenu *autoMode = m.PopupMenu1->addMenu(QStringLiteral("Auto Mode"));
    m.AutoMode1 = autoMode->menuAction();
    m.Enabled1 = Check(autoMode, "Enabled", [form] { form->Enabled1Click(); });
    autoMode->addSeparator();
    m.DockWindow1 = Check(autoMode, "Dock Window", [form] { form->DockWindow1Click(); });
    m.AutoAlpha1 = Check(autoMode, "Auto-Alpha", [form] { form->AutoAlpha1Click(); });
    m.MouseOverSectionResize1 =
        Check(autoMode, "Mouse-Over Section Resize", [form] { form->MouseOverSectionResize1Click(); });
    m.AlwaysOnTop1 = Check(autoMode, "Always On Top", [form] { form->AlwaysOnTop1Click(); });
    autoMode->addSeparator();
    QMenu *dock = autoMode->addMenu(QStringLiteral("Dock Position"));
    m.DockPosition1 = dock->menuAction();
    for (int p = dpTopLeft; p <= dpAbsoluteRight; ++p) {
        if (p == dpTopMiddle || p == dpTopRight || p == dpAbsoluteLeft)
            dock->addSeparator();
        m.dockPositions[p] = Check(dock, kDockPositionCaptions[p], [form, p] { form->DockPositionClick(p); });
    }
    m.PopupMenu1->addSeparator();
    m.Settings1 = Item(m.PopupMenu1, "Settings...", [] { ShowSettingsPage(2); });
    m.AddCategory1 = Item(m.PopupMenu1, "Category Editor...", [] { ShowSettingsPage(1); });
    m.ImportApplications1 =
        Item(m.PopupMenu1, "Import Applications...", [form] { form->ImportApplications1Click(); });
    m.ColoursFonts1 = Item(m.PopupMenu1, "Appearance...", [] { ShowSettingsPage(4); });
    m.PopupMenu1->addSeparator();
    QMenu *system = m.PopupMenu1->addMenu(QStringLiteral("System"));
    m.System1 = system->menuAction();
    m.LogOff1 = Item(system, "Log Off", [form] { form->LogOffButtonClick(); });
    m.Restart1 = Item(system, "Restart", [form] { form->RestartButtonClick(); });
    m.ShutDown1 = Item(system, "Shut Down", [form] { form->ShutDownButtonClick(); });
    m.PopupMenu1->addSeparator();
    m.Printsettingstolog1 =
        Item(m.PopupMenu1, "Print settings to log...", [form] { form->Printsettingstolog1Click(); });
    m.PopupMenu1->addSeparator();
    m.Checkforupdates1 =
        Item(m.PopupMenu1, "Check for updates...", [form] { form->Checkforupdates1Click(); });
    m.About1 = Item(m.PopupMenu1, "About...", [form] { form->About1Click(); });
    m.PopupMenu1->addSeparator();
    m.Exit1 = Item(m.PopupMenu1, "Exit", [form] { form->close(); });

    m.TaskTrayMenu = new QMenu(form);
    m.TraySettings1 = Item(m.TaskTrayMenu, "Settings...", [] { ShowSettingsPage(2); });
    m.TaskTrayMenu->addSeparator();
    m.Hide1 = Item(m.TaskTrayMenu, "Hide", [form] { form->Hide1Click(); });
    m.Show1 = Item(m.TaskTrayMenu, "Show", [form] { form->Show1Click(); });
    m.TaskTrayMenu->addSeparator();
    m.TrayExit1 = Item(m.TaskTrayMenu, "Exit", [form] { form->close(); });

    m.ClockPopup = new QMenu(form);
    m.CenterBigClock1 = Item(m.ClockPopup, "Center Big Clock", [form] { form->CenterBigClock1Click(); });
    m.ClockPopup->addSeparator();
    m.ClockCheckforupdates1 =
        Item(m.ClockPopup, "Check for updates...", [form] { form->Checkforupdates1Click(); });
    m.ClockAbout1 = Item(m.ClockPopup, "About...", [form] { form->About1Click(); });
    m.ClockPopup->addSeparator();
    m.ClockExit1 = Item(m.ClockPopup, "Exit", [form] { form->close(); });

    for (QMenu *menu : {m.PopupMenu1, m.TaskTrayMenu, m.ClockPopup})
        QObject::connect(menu, &QMenu::aboutToShow, form, [&m] {
            if (KVOP)
                PopupMenu1Popup(m, KVOP->settings);
        });
}

void PopupMenu1Popup(TKVMainMenus &m, const WindowSettings &s)
{
    m.Enabled1->setChecked(s.autoMode);
    m.DockWindow1->setChecked(s.dockWindow);
    m.AutoAlpha1->setChecked(s.autoAlpha);
    m.MouseOverSectionResize1->setChecked(s.mouseOverSectionResize);
    m.AlwaysOnTop1->setChecked(s.alwaysOnTop);
    for (int p = dpTopLeft; p <= dpAbsoluteRight; ++p)
        m.dockPositions[p]->setChecked(s.dockPosition == p);
}
