#include "CoolTrayIcon.h"

#include <algorithm>

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QStyleHints>
#include <QWidget>

#include "Platform.h"

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/kestrava-%1.png").arg(size), QSize(size, size));
    return icon;
}

QString CutTrayText(const QString &text, int max)
{
    if (text.size() <= max)
        return text;
    int n = std::max(max, 0);
    // Half a character would reach the desktop as a replacement mark.
    if (n > 0 && text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

TCoolTrayIcon::TCoolTrayIcon(QWidget *owner, QObject *parent)
    : QObject(parent), m_owner(owner), m_cycleTimer(0, [this](TSimpleTimer *) { CycleTimerProc(); }),
      m_clickTimer(0, [this](TSimpleTimer *) { ClickTimerProc(); })
{
    connect(&m_tray, &QSystemTrayIcon::activated, this, &TCoolTrayIcon::Activated);
    connect(&m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
        if (OnBalloonHintClick)
            OnBalloonHintClick(this);
    });
}

TCoolTrayIcon::~TCoolTrayIcon()
{
    SetIconVisible(false);
}

void TCoolTrayIcon::SetIcon(const QIcon &icon)
{
    m_icon = icon;
    ModifyIcon();
}

void TCoolTrayIcon::SetIconVisible(bool value)
{
    if (value)
        ShowIcon();
    else
        HideIcon();
}

void TCoolTrayIcon::ShowIcon()
{
    m_iconVisible = true;
    ModifyIcon();
    m_tray.show();
}

void TCoolTrayIcon::HideIcon()
{
    m_iconVisible = false;
    ModifyIcon();
    m_tray.hide();
}

void TCoolTrayIcon::ModifyIcon()
{
    // A StatusNotifierItem sends every icon it is given to the host, all
    // sizes of it, so an unchanged one is not given again.
    if (m_icon.cacheKey() != m_shownIconKey) {
        m_tray.setIcon(m_icon);
        m_shownIconKey = m_icon.cacheKey();
    }
    const QString tip = TooltipText();
    if (tip != m_tray.toolTip())
        m_tray.setToolTip(tip);
}

void TCoolTrayIcon::SetHint(const QString &hint)
{
    m_hint = hint;
    ModifyIcon();
}

void TCoolTrayIcon::SetShowHint(bool value)
{
    m_showHint = value;
    ModifyIcon();
}

QString TCoolTrayIcon::TooltipText() const
{
    return m_showHint ? CutTrayText(m_hint, HintMax) : QString();
}

void TCoolTrayIcon::SetEnabled(bool value)
{
    m_enabled = value;
    // With D-Bus the host keeps the menu it was given last.
    m_tray.setContextMenu(m_enabled ? m_popupMenu.data() : nullptr);
}

void TCoolTrayIcon::SetPopupMenu(QMenu *menu)
{
    m_popupMenu = menu;
    // Qt opens the menu on the right button of an XEmbed icon, and a
    // StatusNotifierItem host opens it from the copy Qt exports over D-Bus;
    // a popup of our own would come twice in the first case and not at all
    // in hosts that never report the right button.
    m_tray.setContextMenu(m_enabled ? menu : nullptr);
}

QMenu *TCoolTrayIcon::PopupMenu() const
{
    return m_popupMenu;
}

void TCoolTrayIcon::PopupAtCursor()
{
    if (m_popupMenu)
        m_popupMenu->popup(QCursor::pos());
}

bool TCoolTrayIcon::ShowBalloonHint(const QString &title, const QString &text, TBalloonHintIcon icon,
                                    TBalloonHintTimeOut timeoutSeconds)
{
    if (!m_iconVisible)
        return false;
    // Qt's balloon replaces the one before it by itself.
    ShowMessage(CutTrayText(title, BalloonTitleMax), CutTrayText(text, BalloonTextMax),
                static_cast<QSystemTrayIcon::MessageIcon>(icon), int(timeoutSeconds) * 1000);
    return true;
}

bool TCoolTrayIcon::HideBalloonHint()
{
    if (!m_iconVisible)
        return false;
    ShowMessage(QString(), QString(), QSystemTrayIcon::NoIcon, 0);
    return true;
}

void TCoolTrayIcon::ShowMessage(const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon,
                                int msecs)
{
    // Only an XEmbed icon has a place on the screen, and only its balloon is
    // Qt's own, which an empty message closes; a notification daemon would
    // show an empty message as one.
    if (title.isEmpty() && text.isEmpty() && !m_tray.geometry().isValid())
        return;
    m_tray.showMessage(title, text, icon, msecs);
}

void TCoolTrayIcon::SetIconList(std::vector<QIcon> list)
{
    m_iconList = std::move(list);
    SetIconIndex(0);
    if (m_cycleIcons)
        UpdateCycleTimer();
}

void TCoolTrayIcon::SetCycleIcons(bool value)
{
    m_cycleIcons = value;
    if (value) {
        SetIconIndex(0);
        m_cycleTimer.SetInterval(m_cycleInterval);
    }
    UpdateCycleTimer();
}

void TCoolTrayIcon::SetCycleInterval(uint32_t ms)
{
    m_cycleInterval = ms;
    SetCycleIcons(m_cycleIcons);
}

void TCoolTrayIcon::UpdateCycleTimer()
{
    // With nothing to cycle through the timer would only tick for nothing.
    m_cycleTimer.SetEnabled(m_cycleIcons && !m_iconList.empty());
}

void TCoolTrayIcon::SetIconIndex(int index)
{
    if (!m_iconList.empty()) {
        m_iconIndex = std::clamp(index, 0, int(m_iconList.size()) - 1);
        m_icon = m_iconList[m_iconIndex];
    } else {
        m_iconIndex = 0;
    }
    ModifyIcon();
}

void TCoolTrayIcon::CycleTimerProc()
{
    if (m_iconList.empty())
        return;
    CycleIcon();
    SetIconIndex(NextIconIndex());
}

int TCoolTrayIcon::NextIconIndex() const
{
    return m_iconIndex + 1 < int(m_iconList.size()) ? m_iconIndex + 1 : 0;
}

void TCoolTrayIcon::CycleIcon()
{
    if (OnCycle)
        OnCycle(this, NextIconIndex());
}

void TCoolTrayIcon::ShowMainForm()
{
    if (!m_owner)
        return;
    // Shows it too, and restores a minimised one: a show or a restore of its
    // own first would leave a window on its way to the screen that looks
    // unmapped, and bringing that to the front would unmap and map it again,
    // racing the window manager's own map.
    platform::Windows().BringToFront(m_owner);
    if (m_owner->isMinimized()) // a window system that could not restore it
        m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
}

void TCoolTrayIcon::HideMainForm()
{
    if (!m_owner)
        return;
    m_owner->hide();
    HideTaskbarIcon();
}

void TCoolTrayIcon::ShowTaskbarIcon()
{
    if (m_owner)
        platform::Windows().SetSkipTaskbar(m_owner, false);
}

void TCoolTrayIcon::HideTaskbarIcon()
{
    if (m_owner)
        platform::Windows().SetSkipTaskbar(m_owner, true);
}

void TCoolTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_enabled)
        return;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        // The press. With a double-click handler a click waits to see whether
        // a double click follows. An XEmbed icon reports a double click as a
        // press, a press and a double click; the second press only extends
        // the wait.
        if (OnDblClick) {
            m_doubleClicked = false;
            m_clickTimer.SetInterval(
                uint32_t(std::max(0, QGuiApplication::styleHints()->mouseDoubleClickInterval())));
            m_clickTimer.SetEnabled(true);
        }
        MouseDown(Qt::LeftButton);
        if (LeftPopup)
            PopupAtCursor();
        // No tray reports the release, so it is handled with the press.
        m_clickReady = true;
        if (!m_clickTimer.GetEnabled()) {
            m_clickReady = false;
            Click();
        }
        MouseUp(Qt::LeftButton);
        break;
    case QSystemTrayIcon::DoubleClick:
        m_clickReady = false;
        m_doubleClicked = true;
        DblClick();
        if (m_popupMenu && !LeftPopup) {
            if (QAction *action = m_popupMenu->defaultAction())
                action->trigger();
        }
        break;
    case QSystemTrayIcon::MiddleClick:
        MouseDown(Qt::MiddleButton);
        MouseUp(Qt::MiddleButton);
        break;
    case QSystemTrayIcon::Context:
        // The menu is the tray's to open (SetPopupMenu).
        MouseDown(Qt::RightButton);
        MouseUp(Qt::RightButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void TCoolTrayIcon::ClickTimerProc()
{
    m_clickTimer.SetEnabled(false);
    if (!m_doubleClicked && m_clickReady) {
        m_clickReady = false;
        Click();
    }
    m_doubleClicked = false;
}

void TCoolTrayIcon::Click()
{
    if (OnClick)
        OnClick(this);
}

void TCoolTrayIcon::DblClick()
{
    if (OnDblClick)
        OnDblClick(this);
}

void TCoolTrayIcon::MouseDown(Qt::MouseButton button)
{
    if (!OnMouseDown)
        return;
    const QPoint at = QCursor::pos();
    OnMouseDown(this, button, QGuiApplication::queryKeyboardModifiers(), at.x(), at.y());
}

void TCoolTrayIcon::MouseUp(Qt::MouseButton button)
{
    if (!OnMouseUp)
        return;
    const QPoint at = QCursor::pos();
    OnMouseUp(this, button, QGuiApplication::queryKeyboardModifiers(), at.x(), at.y());
}
