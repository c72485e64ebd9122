#pragma once

// The program's icon in the desktop's notification area: turns what the tray
// reports into click, double-click and button events, shows a menu, balloon
// messages, can cycle through a list of icons, and hides the owner window
// and its task bar button ("minimised to the tray").
//
// Qt's QSystemTrayIcon does the talking to the desktop: a StatusNotifierItem
// on D-Bus when a host for those runs at start, else an XEmbed icon in the
// _NET_SYSTEM_TRAY_S<n> tray. Qt brings either back by itself when the tray
// host restarts, and docks an XEmbed icon in a tray started later, as long
// as the icon is meant to be visible; nothing here watches the desktop. Qt
// makes that choice once per process, so a host that only speaks D-Bus and
// starts after the program never gets the icon.
//
// Not carried over, as Qt either does it or has nothing like it: the
// design-time preview and LoadDefaultIcon, the handles of the shell's tooltip
// and balloon windows, GetClientIconPos, BitmapToIcon, the hooks on the
// application and owner windows (restart notice, minimise to tray, startup
// event), mouse move/enter/exit notifications and the shell behaviour
// versions.

#include <cstdint>
#include <functional>
#include <vector>

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>

#include "SimpleTimer.h"

class QMenu;
class QWidget;

// Numbered as the message icons of QSystemTrayIcon.
enum TBalloonHintIcon { bitNone, bitInfo, bitWarning, bitError };
using TBalloonHintTimeOut = uint8_t; // seconds

class TCoolTrayIcon;
using TTrayNotifyEvent = std::function<void(TCoolTrayIcon *sender)>;
// x and y are the cursor in screen coordinates when the tray's report was handled.
using TTrayMouseEvent = std::function<void(TCoolTrayIcon *sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;
using TCycleEvent = std::function<void(TCoolTrayIcon *sender, int nextIndex)>;

// The icon as the program shows it everywhere, from the PNGs in the
// program's resources; null while those are not registered (the main window
// registers them when it is built).
QIcon ProgramIcon();

// text cut to at most max UTF-16 units, never inside a surrogate pair.
QString CutTrayText(const QString &text, int max);

class TCoolTrayIcon : public QObject {
    Q_OBJECT
  public:
    static constexpr int HintMax = 127;
    static constexpr int BalloonTitleMax = 63;
    static constexpr int BalloonTextMax = 255;

    // owner is the window that ShowMainForm and HideMainForm act on; it may
    // be null. The icon is not shown until IconVisible is set.
    explicit TCoolTrayIcon(QWidget *owner, QObject *parent = nullptr);
    ~TCoolTrayIcon() override;

    void SetIcon(const QIcon &icon);
    const QIcon &Icon() const { return m_icon; }

    void SetIconVisible(bool value);
    bool IconVisible() const { return m_iconVisible; }
    void ShowIcon();
    void HideIcon();
    // Brings the tray's icon and tooltip up to date.
    void ModifyIcon();
    void Refresh() { ModifyIcon(); }

    // Program text, shown as it is; the tooltip is at most HintMax of it.
    void SetHint(const QString &hint);
    const QString &Hint() const { return m_hint; }
    void SetShowHint(bool value);
    bool ShowHint() const { return m_showHint; }
    QString TooltipText() const;

    // Off, no click of the tray reaches the events, and an XEmbed icon no
    // longer opens the menu (a D-Bus host keeps the menu it was given).
    void SetEnabled(bool value);
    bool Enabled() const { return m_enabled; }
    // Shown by the right button; with LeftPopup also by the left.
    void SetPopupMenu(QMenu *menu);
    QMenu *PopupMenu() const;
    bool LeftPopup = false;
    void PopupAtCursor();

    // false while the icon is hidden, when Qt would drop the message.
    bool ShowBalloonHint(const QString &title, const QString &text, TBalloonHintIcon icon,
                         TBalloonHintTimeOut timeoutSeconds);
    // Qt has no call to take back a message. Qt's own balloon, which an XEmbed
    // icon uses, closes on an empty message; a desktop notification stays
    // until its time-out, so nothing is sent for one.
    bool HideBalloonHint();

    // Cycling shows the icons of IconList in turn, CycleInterval ms each;
    // an interval of 0 or an empty list keeps the timer off.
    void SetIconList(std::vector<QIcon> list);
    const std::vector<QIcon> &IconList() const { return m_iconList; }
    void SetCycleIcons(bool value);
    bool CycleIcons() const { return m_cycleIcons; }
    void SetCycleInterval(uint32_t ms);
    uint32_t CycleInterval() const { return m_cycleInterval; }
    // An index past the list selects its last icon.
    void SetIconIndex(int index);
    int IconIndex() const { return m_iconIndex; }

    // The owner out of the minimised state, shown and in front.
    void ShowMainForm();
    // The owner hidden, with no task bar button.
    void HideMainForm();
    void ShowTaskbarIcon();
    void HideTaskbarIcon();

    // What the tray reported; the tray's activated signal ends here, and
    // tests drive the component through it.
    void Activated(QSystemTrayIcon::ActivationReason reason);

    // The Qt object underneath, for what this class does not pass on.
    QSystemTrayIcon &Tray() { return m_tray; }

    TTrayNotifyEvent OnClick;
    TTrayNotifyEvent OnDblClick;
    TCycleEvent OnCycle;
    TTrayMouseEvent OnMouseDown;
    TTrayMouseEvent OnMouseUp;
    // Qt reports only a click on a message; the other three never fire.
    TTrayNotifyEvent OnBalloonHintShow;
    TTrayNotifyEvent OnBalloonHintHide;
    TTrayNotifyEvent OnBalloonHintTimeout;
    TTrayNotifyEvent OnBalloonHintClick;

  protected:
    // Every message goes to the tray through here.
    virtual void ShowMessage(const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon,
                             int msecs);

    virtual void Click();
    virtual void DblClick();
    virtual void CycleIcon();
    virtual void MouseDown(Qt::MouseButton button);
    virtual void MouseUp(Qt::MouseButton button);

  private:
    void ClickTimerProc();
    void CycleTimerProc();
    void UpdateCycleTimer();
    int NextIconIndex() const;

    QSystemTrayIcon m_tray;
    QPointer<QWidget> m_owner;
    QPointer<QMenu> m_popupMenu;
    QIcon m_icon;
    qint64 m_shownIconKey = -1; // the icon the tray has, by cache key
    QString m_hint;
    bool m_enabled = true;
    bool m_iconVisible = false;
    bool m_showHint = true;
    bool m_clickReady = false;    // a click waits for the double-click time to pass
    bool m_doubleClicked = false; // a double click came during that wait
    std::vector<QIcon> m_iconList;
    bool m_cycleIcons = false;
    uint32_t m_cycleInterval = 0;
    int m_iconIndex = 0;
    TSimpleTimer m_cycleTimer;
    TSimpleTimer m_clickTimer;
};
