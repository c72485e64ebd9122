#pragma once

// The launcher's main window.

#include <functional>
#include <memory>
#include <string>

#include <QCheckBox>
#include <QPointer>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include "Controls.h"
#include "FadingPanel.h"
#include "Kvguiglobals.h"
#include "WindowGeometry.h"

class QScreen;
class TSimpleTimer;
class THotKeyManager;
class TCoolTrayIcon;
struct TFollowerMover;
struct TKVMainMenus;
class TKVParentPanel;
class TKVGamePanel;
class TAddEntryForm;

// The drag state of a window moved with the mouse; followers move along.
struct TWindowMover {
    QWidget *window = nullptr;
    bool dragging = false;
    int startX = 0;
    int startY = 0;
    uint8_t button = 0; // 0 left, 1 right, 2 middle
    // Slot 0 is the big clock's.
    TFollowerMover *followers[4] = {nullptr, nullptr, nullptr, nullptr};
};

class TKVGUIForm : public QWidget {
    Q_OBJECT
  public:
    explicit TKVGUIForm(QWidget *owner = nullptr);
    ~TKVGUIForm() override;

    // Set by the program (not by tests): the window goes on the screen as
    // soon as its place is known, and its controls are built while it is.
    static bool showWhenPlaced;

    bool LoadAtStart();
    void WriteDefaultsFromWindow();
    void SaveFromWindow();
    void ShowMainWindow();
    void HideMainWindow();
    // The global hot keys and the tray icon; after the first showing.
    void StartDesktopIntegration();
    void HotKeyManHotKeyPressed(uint32_t hotKey);
    void TrayIconManDblClick();
    void SetAlpha(int value);

    void LayoutWindow(bool resetSections);
    void RefreshLayout(bool save);
    void DockWindow();
    void SetTopmost(bool on);
    void ApplyAppearance();
    void ApplyTitleFont();
    void ApplyFonts();
    // A colour role's colour: the model's, or the desktop's with Windows colours.
    TColor Colour(int role) const;
    // Opens the add-link dialog on category c; prepare, when given, fills it
    // in after it was made ready.
    void AddLinkToCategory(int c, const std::function<void(TAddEntryForm &)> &prepare = {});
    // Every category in use gets its panel, rebuilt from the model, and the
    // panels of categories no longer in use go (after OK or an import).
    void RebuildCategoryPanels();
    // Opens the settings form on page 1 "Category Editor", 2 "Settings", 3
    // "About" or 4 "Appearance" (any other number shows "Settings"); after
    // OK the window takes the edited model and saves it, otherwise the model
    // goes back to what it was.
    void ShowSettingsPage(int page);

    // Auto Mode switches and dock position handlers.
    void DoxBoxClick();
    void Enabled1Click();
    void DockWindow1Click();
    void AutoAlpha1Click();
    void MouseOverSectionResize1Click();
    void AlwaysOnTop1Click();
    void DockPositionClick(int position);
    void AlphaTrackChange();

    // Menus and labels.
    TKVMainMenus &Menus();
    void AddLabelClick();
    void ExitLabelClick();
    void ConfigButtonClick();
    void About1Click();
    void Hide1Click();
    void Show1Click();
    void AddLabelMouseEnter();
    void AddLabelMouseLeave();
    void ExitLabelMouseEnter();
    void ExitLabelMouseLeave();
    void TimeLabelMouseEnter();
    void TimeLabelMouseLeave();
    void TimeLabelClick();
    void CenterBigClock1Click();
    void Printsettingstolog1Click();
    void Checkforupdates1Click();
    // "Import Applications...": categories from the installed applications,
    // added and saved after OK (MainWindowImport.cpp).
    void ImportApplications1Click();

    // The system buttons.
    void ConnectButtonClick();
    void RunButtonClick();
    void ToggleDesktopButtonClick();
    void LogOffButtonClick();
    void RestartButtonClick();
    void ShutDownButtonClick();

    // Closes the window the way the program's exit does (saves first).
    void FormClose();

    // The animation timer runs while anything moves or the pointer is over
    // the window, and rests otherwise; these events wake it.
    void Wake();
    bool Resting() const;
    // The clock ticks on the second while some clock of the program can be
    // seen: this window's time, or the big clock.
    bool ClockTicking() const { return m_clockTick.isActive(); }
    // The game moves while its section is fully open and no editing
    // dialog is in front.
    bool GameMoving() const;

    // The published parts of the form.
    forms::TLabel *VersionLabel;
    forms::TLabel *KVGUILabel;
    forms::TLabel *TimeLabel;
    forms::TLabel *AddLabel;
    forms::TLabel *ExitLabel;
    forms::TSpeedButton *ConnectButton;
    forms::TSpeedButton *RunButton;
    forms::TSpeedButton *ToggleDesktopButton;
    forms::TSpeedButton *LogOffButton;
    forms::TSpeedButton *RestartButton;
    forms::TSpeedButton *ShutDownButton;
    QSlider *AlphaTrack;
    QWidget *ConfigPanel;
    forms::TSpeedButton *ConfigButton;
    QCheckBox *DoxBox;
    TKVParentPanel *CategoryArea = nullptr;
    TKVFadingPanel *GameFadingPanel = nullptr;
    TKVFadingPanel *ButtonFadingPanel = nullptr;
    TKVGamePanel *GamePanel = nullptr;
    std::unique_ptr<TSimpleTimer> DoxBoxTimer;
    std::unique_ptr<THotKeyManager> HotKeyMan;
    std::unique_ptr<TCoolTrayIcon> TrayIconMan;
    forms::TImageList iconImages;
    TWindowMover mover;

    // Animation state.
    double alphaAccumulator = 255;
    double fadeOutDelay = 250;

  protected:
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void changeEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    // Things dropped on the title strip make a new category (PanelDrops.cpp).
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dragLeaveEvent(QDragLeaveEvent *e) override;
    void dropEvent(QDropEvent *e) override;

  private:
    void CreateDesignedControls();
    void ApplyLoadedGeometry();
    void ApplyLoadedSwitches();
    void DoxBoxTimerTimer();
    void ShowClockTexts();
    bool PointerInside(QPoint pointer) const;
    void StepAlpha(bool inside, double elapsedMs);
    bool AtRest(bool inside) const;
    void Rest();
    void ArmClockTick();
    // Whether anyone could see a clock of the program now: this window or
    // the big clock shown, not minimised, and not covered by other windows.
    bool ClockInSight() const;
    // Starts or stops the clock's tick as that changes; a clock that comes
    // back into sight shows the time at once.
    void FollowClockSight();
    void WatchCovering(QWidget *window, bool &covered);
    bool m_covered = false;      // all of this window is under others
    bool m_clockCovered = false; // all of the big clock is
    void RefreshClockTexts();
    bool AllSwitchesOff() const;
    Qt::Edges ResizeEdgesAt(QPoint p) const;
    void SetFormBounds(int left, int top, int width, int height);
    void ShowTitle(const QString &title);
    // Saves once the window state has settled: a drag, a resize or the
    // track bar sends a stream of changes, and each would cost a 2 MB file.
    void ScheduleSave();
    // Copies the configuration file to its backup, once, before the first
    // save of this run can change it.
    void TakeBackup();
    bool m_backupPending = false;
    // Why the last save failed, told once for a run of failures alike.
    std::string m_saveFault;
    // Writes a first start's new file, once.
    void TakeFirstSave();
    bool m_firstSavePending = false;
    // The first showing's remaining work, until it has run.
    std::function<void()> m_afterFirstFrame;
    void RunAfterFirstFrame();
    std::unique_ptr<TKVMainMenus> m_menus;
    QTimer m_settleSave;
    // At rest, the clock texts change on the second boundary and nothing
    // else wakes the program.
    QTimer m_clockTick;
    bool m_fading = false;
    QPointer<QWindow> m_wheelWindow;
    bool m_constructed = false;
    bool m_closed = false;
    bool m_shownOnce = false;
    QPoint m_dragStartGlobal;
    // Marks the title strip while a drop there would make a category.
    QWidget *m_titleDropMark = nullptr;
    bool TitleTakesDrop(QDropEvent *e);

    // Monitors (MainWindowScreens.cpp): the window docks on the one it is
    // on, and a change of monitors re-docks it, once for a burst of signals.
    void FollowScreens();
    void FollowScreen(QScreen *screen);
    void ScreensChanged();
    void ApplyScreenChange();
    KVArea DockAreaFor(KVRect window) const;
    KVRect OnAMonitor(KVRect window) const;
    KVScreens m_screens; // as last seen
    bool m_screenChangePending = false;
};

extern TKVGUIForm *KVGUIForm;

// A Qt rectangle as the edges the placement functions take.
inline KVArea AreaOf(const QRect &r)
{
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// The main window's ShowSettingsPage, for menus and labels.
void ShowSettingsPage(int page);
