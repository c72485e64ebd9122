// The main window's side of the settings form: opening it on a page with an
// undo copy of the model, and taking what it edited after OK.

#include "KVGUIFormUnit.h"

#include <QLineEdit>
#include <QSlider>

#include "CategoryPanels.h"
#include "DebugFormUnit.h"
#include "Forms.h"
#include "SettingsFormUnit.h"

using namespace forms;

void ShowSettingsPage(int page)
{
    if (KVGUIForm)
        KVGUIForm->ShowSettingsPage(page);
}

void TKVGUIForm::ShowSettingsPage(int page)
{
    if (!SettingsForm || !KVOP)
        return;
    // Asked again while it is open (the tray menu, a menu of the clock):
    // bring the open form forward rather than start over under it.
    if (SettingsForm->isVisible()) {
        SettingsForm->SelectPage(page);
        SettingsForm->raise();
        SettingsForm->activateWindow();
        return;
    }
    SettingsForm->EnsureBuilt();
    KVOP->TakeSnapshot();
    for (int c = 0; c < kMaxCategories; ++c)
        SettingsForm->MemberCount[c] = KVOP->LinkCount(c);
    SettingsForm->AppNameEdit->setText(ModelText(KVOP->header.title));
    SettingsForm->AlphaTrack->setValue(AlphaTrack->value());
    SettingsForm->SelectPage(page);
    // Modal to the main window only: the tray icon and its menu stay usable
    // while the form is open, so its Show can bring back a minimised form.
    SettingsForm->setWindowModality(Qt::WindowModal);
    // The form docks the window live (an "Absolute" position stretches it
    // over the work area); leaving without OK puts it back as it was.
    const QRect placed(x(), y(), width(), height());
    SettingsForm->exec();
    if (!KVOP)
        return; // the program closed while the form was open
    if (!SettingsForm->OKPressed) {
        KVOP->RestoreSnapshot();
        KVOP->DiscardSnapshot();
        if (QRect(x(), y(), width(), height()) != placed)
            SetFormBounds(placed.x(), placed.y(), placed.width(), placed.height());
        return;
    }
    SettingsForm->OKPressed = false;
    // Confirmed: from here on the window saves what it applies.
    KVOP->DiscardSnapshot();
    DoxBox->setChecked(KVOP->settings.autoMode);
    SetModelText(KVOP->header.title, SettingsForm->AppNameEdit->text());
    const WindowSettings &s = KVOP->settings;
    if (!s.autoAlpha && !s.dockWindow && !s.mouseOverSectionResize && !s.alwaysOnTop)
        DoxBox->setChecked(false);
    AlphaTrack->setValue(SettingsForm->AlphaTrack->value());

    RebuildCategoryPanels();

    SetTopmost(KVOP->settings.autoMode && KVOP->settings.alwaysOnTop);
    ApplyFonts();
    ApplyAppearance();
    RefreshLayout(true);

    if (KVOP->debugMode)
        WriteSettingsDump();
}

void TKVGUIForm::RebuildCategoryPanels()
{
    const int used = KVOP->CategoryCount();
    for (int c = 0; c < kMaxCategories; ++c) {
        TKVPanel *&panel = CategoryArea->panels[c];
        if (c < used) {
            if (panel)
                panel->RebuildPanel(c);
            else
                CategoryArea->CreatePanel(c);
        } else if (panel) {
            panel->Retire();
            panel = nullptr;
        }
    }
    CategoryArea->UpdateContentSize();
}
