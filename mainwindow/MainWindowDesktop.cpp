// The main window on the desktop at large: the global hot keys, the tray
// icon, and showing and hiding the window through them.

#include "KVGUIFormUnit.h"

#include <QApplication>

#include "CoolTrayIcon.h"
#include "DebugFormUnit.h"
#include "HotKeyManager.h"
#include "MainMenus.h"
#include "Platform.h"

namespace {

uint32_t ShowHotKey()
{
    return TextToHotKey(KVUIOperationClass::GetShowHotkeyText(), false);
}

uint32_t ConnectHotKey()
{
    return TextToHotKey(KVUIOperationClass::GetConnectHotkeyText(), false);
}

} // namespace

void TKVGUIForm::StartDesktopIntegration()
{
    if (!TrayIconMan) {
        TrayIconMan = std::make_unique<TCoolTrayIcon>(this);
        TrayIconMan->SetIcon(ProgramIcon());
        TrayIconMan->SetPopupMenu(Menus().TaskTrayMenu);
        TrayIconMan->OnDblClick = [this](TCoolTrayIcon *) { TrayIconManDblClick(); };
        // Some trays report a double click as one activation, or two.
        TrayIconMan->OnClick = [this](TCoolTrayIcon *) { ShowMainWindow(); };
        TrayIconMan->SetIconVisible(true);
        TrayIconMan->SetHint(QString::fromStdString("Kestrava " + KVUIOperationClass::GetVersionText()));
        TrayIconMan->SetShowHint(true);
        TrayIconMan->HideTaskbarIcon();
    }
    if (!HotKeyMan) {
        HotKeyMan = std::make_unique<THotKeyManager>();
        HotKeyMan->OnHotKeyPressed = [this](uint32_t hotKey, uint16_t) { HotKeyManHotKeyPressed(hotKey); };
        // A refused key is told in the debug window; a desktop without
        // global keys (Wayland) once, not once per key.
        HotKeyMan->OnRefused = [](const QString &line) { WriteDebugLine(line); };
        HotKeyMan->ClearHotKeys();
        for (const std::string &text :
             {KVUIOperationClass::GetShowHotkeyText(), KVUIOperationClass::GetConnectHotkeyText()})
            HotKeyMan->AddHotKey(TextToHotKey(text, false));
    }
}

void TKVGUIForm::HotKeyManHotKeyPressed(uint32_t hotKey)
{
    if (hotKey == ShowHotKey())
        ShowMainWindow();
    else if (hotKey == ConnectHotKey())
        ConnectButtonClick();
}

void TKVGUIForm::ShowMainWindow()
{
    if (TrayIconMan) {
        TrayIconMan->ShowMainForm();
        TrayIconMan->HideTaskbarIcon();
    } else {
        platform::Windows().BringToFront(this);
        platform::Windows().SetSkipTaskbar(this, true);
    }
    // A dialog of ours that was minimised took this window with it; both
    // come back, the dialog in front, or the window would wait on a dialog
    // nobody can reach.
    if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != this)
        platform::Windows().BringToFront(modal);
}

void TKVGUIForm::HideMainWindow()
{
    // A window that was never moved by us is placed afresh by the window
    // manager at its next showing; marking its place as chosen keeps it
    // where it is now.
    move(pos());
    if (TrayIconMan)
        TrayIconMan->HideMainForm();
    else
        hide();
}

void TKVGUIForm::TrayIconManDblClick()
{
    ShowMainWindow();
}
