#include "KVGUIFormUnit.h"

#include <cerrno>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>

#include <sys/stat.h>

#include "AddEntryFormUnit.h"
#include "CategoryPanels.h"
#include "ClockFormUnit.h"
#include "CoolTrayIcon.h"
#include "DebugFormUnit.h"
#include "HotKeyManager.h"
#include "Dialogs.h"
#include "Execute.h"
#include "Forms.h"
#include "GamePanel.h"
#include "LinkIcons.h"
#include "MainMenus.h"
#include "MakeUpdateFormUnit.h"
#include "Platform.h"
#include "SettingsFormUnit.h"
#include "SimpleTimer.h"
#include "WindowGeometry.h"

using namespace forms;

TKVGUIForm *KVGUIForm = nullptr;

namespace {

constexpr int kDesignedClientWidth = 225;
constexpr int kDesignedClientHeight = 262;
constexpr int kDesignedWidth = 233;
constexpr int kDesignedHeight = 289;
constexpr TColor kSkyBlue = 0xF0CAA6;

TLabel *MakeLabel(QWidget *parent, int l, int t, int w, int h, const QFont &font, TColor colour)
{
    auto *label = new TLabel(parent);
    label->setFont(font);
    SetFontColor(label, colour);
    SetBounds(label, l, t, w, h);
    return label;
}

TSpeedButton *MakeButton(QWidget *parent, int l, int t, const QString &hint)
{
    auto *b = new TSpeedButton(parent);
    SetBounds(b, l, t, 15, 15);
    b->setToolTip(hint);
    return b;
}

} // namespace

void TKVGUIForm::CreateDesignedControls()
{
    setFont(MakeFont(QStringLiteral("MV Boli"), 11));
    SetFontColor(this, 0x004800);

    VersionLabel =
        MakeLabel(this, 26, 221, 92, 12, MakeFont(QStringLiteral("BankGothic Lt BT"), 11, true), kSkyBlue);
    VersionLabel->setAutoSize(true);
    SetAnchors(VersionLabel, akLeft | akBottom);

    KVGUILabel = MakeLabel(this, 4, 4, 104, 30,
                           MakeFont(QStringLiteral("SF Proverbial Gothic Extended"), 24, true), 0x4B4B4B);
    KVGUILabel->setText(QStringLiteral("Kestrava"));
    KVGUILabel->setAutoSize(true);
    SetAnchors(KVGUILabel, akLeft | akTop);

    TimeLabel = MakeLabel(this, 121, 203, 89, 16, MakeFont(QStringLiteral("Verdana"), 13, true), kSkyBlue);
    TimeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TimeLabel->setText(QStringLiteral("88:88:88 PM"));
    TimeLabel->setToolTip(QStringLiteral("Click to show/hide the Big Clock."));
    SetAnchors(TimeLabel, akRight | akBottom);
    MakeClickable(TimeLabel);
    // The clock is clickable but reads as a clock: only the add and exit
    // labels show the hand.
    TimeLabel->unsetCursor();

    AddLabel = MakeLabel(this, 20, 201, 37, 21, MakeFont(QStringLiteral("SF Proverbial Gothic"), 16, true),
                         0xFFFFFF);
    AddLabel->setText(QStringLiteral("Add..."));
    AddLabel->setToolTip(QStringLiteral("Click to add a new link category to the interface."));
    AddLabel->setAutoSize(true);
    SetAnchors(AddLabel, akLeft | akBottom);
    MakeClickable(AddLabel);

    ExitLabel = MakeLabel(this, 130, 140, 23, 21, MakeFont(QStringLiteral("SF Proverbial Gothic"), 16, true),
                          0x0000FF);
    ExitLabel->setAlignment(Qt::AlignCenter);
    ExitLabel->setText(QStringLiteral("Exit"));
    ExitLabel->setToolTip(QStringLiteral("Click to close the program."));
    ExitLabel->setAutoSize(true);
    SetAnchors(ExitLabel, akRight | akBottom);
    MakeClickable(ExitLabel);

    ConnectButton =
        MakeButton(this, 106, 4, QStringLiteral("Connects to the system's default internet connection."));
    RunButton = MakeButton(this, 126, 4, QStringLiteral("Opens the standard Windows XP \"Run\" Dialog."));
    ToggleDesktopButton = MakeButton(this, 146, 4, QStringLiteral("Hides all windows, showing the desktop."));
    LogOffButton = MakeButton(this, 166, 4, QStringLiteral("Logs off the current user."));
    RestartButton = MakeButton(this, 186, 4, QStringLiteral("Restarts the system."));
    ShutDownButton = MakeButton(this, 206, 4, QStringLiteral("Shuts down the system."));

    AlphaTrack = new QSlider(Qt::Horizontal, this);
    AlphaTrack->setRange(60, 255);
    AlphaTrack->setValue(255);
    AlphaTrack->setSingleStep(1);
    AlphaTrack->setPageStep(1);
    AlphaTrack->setFocusPolicy(Qt::NoFocus);
    AlphaTrack->setTickPosition(QSlider::NoTicks);
    AlphaTrack->setToolTip(QStringLiteral("Adjust the transparency of the interface."));
    SetBounds(AlphaTrack, 20, 237, 181, 13);
    SetAnchors(AlphaTrack, akLeft | akRight | akBottom);

    ConfigPanel = new QWidget(this);
    SetColor(ConfigPanel, 0x5D5D5D);
    SetBounds(ConfigPanel, 184, 16, 41, 22);
    SetAnchors(ConfigPanel, akTop | akRight);
    ConfigButton = MakeButton(ConfigPanel, 22, 6, QStringLiteral("Kestrava Configuration"));
    SetAnchors(ConfigButton, akTop | akRight);
    DoxBox = new QCheckBox(ConfigPanel);
    DoxBox->setFocusPolicy(Qt::NoFocus);
    DoxBox->setToolTip(QStringLiteral("Toggles Auto-Mode"));
    SetBounds(DoxBox, 4, 6, 13, 13);
    SetAnchors(DoxBox, akTop | akRight);

    connect(ExitLabel, &TLabel::clicked, this, &TKVGUIForm::ExitLabelClick);
    connect(AddLabel, &TLabel::clicked, this, &TKVGUIForm::AddLabelClick);
    connect(TimeLabel, &TLabel::clicked, this, &TKVGUIForm::TimeLabelClick);
    connect(ConfigButton, &QAbstractButton::clicked, this, &TKVGUIForm::ConfigButtonClick);
    TimeLabel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TimeLabel, &QWidget::customContextMenuRequested, this,
            [this](QPoint at) { Menus().ClockPopup->popup(TimeLabel->mapToGlobal(at)); });
    connect(AddLabel, &TLabel::mouseEntered, this, &TKVGUIForm::AddLabelMouseEnter);
    connect(AddLabel, &TLabel::mouseLeft, this, &TKVGUIForm::AddLabelMouseLeave);
    connect(ExitLabel, &TLabel::mouseEntered, this, &TKVGUIForm::ExitLabelMouseEnter);
    connect(ExitLabel, &TLabel::mouseLeft, this, &TKVGUIForm::ExitLabelMouseLeave);
    connect(TimeLabel, &TLabel::mouseEntered, this, &TKVGUIForm::TimeLabelMouseEnter);
    connect(TimeLabel, &TLabel::mouseLeft, this, &TKVGUIForm::TimeLabelMouseLeave);
    connect(ConnectButton, &QAbstractButton::clicked, this, [this] { ConnectButtonClick(); });
    connect(RunButton, &QAbstractButton::clicked, this, [this] { RunButtonClick(); });
    connect(ToggleDesktopButton, &QAbstractButton::clicked, this, [this] { ToggleDesktopButtonClick(); });
    connect(LogOffButton, &QAbstractButton::clicked, this, [this] { LogOffButtonClick(); });
    connect(RestartButton, &QAbstractButton::clicked, this, [this] { RestartButtonClick(); });
    connect(ShutDownButton, &QAbstractButton::clicked, this, [this] { ShutDownButtonClick(); });
    // A change of the box, by the user or from code, runs its Click.
    connect(DoxBox, &QCheckBox::toggled, this, [this] { DoxBoxClick(); });
    connect(AlphaTrack, &QSlider::valueChanged, this, [this] { AlphaTrackChange(); });
}

namespace {

// The three labels' hover look: bold and underlined under the pointer, bold
// otherwise.
void ShowHover(TLabel *label, bool over)
{
    QFont f = label->font();
    f.setBold(true);
    f.setUnderline(over);
    label->setFont(f);
}

} // namespace

void TKVGUIForm::AddLabelClick()
{
    ShowSettingsPage(1);
}

void TKVGUIForm::ExitLabelClick()
{
    close();
}

void TKVGUIForm::ConfigButtonClick()
{
    ShowSettingsPage(2);
}

void TKVGUIForm::About1Click()
{
    ShowSettingsPage(3);
}

void TKVGUIForm::Hide1Click()
{
    HideMainWindow();
}

void TKVGUIForm::Show1Click()
{
    ShowMainWindow();
}

void TKVGUIForm::AddLabelMouseEnter()
{
    ShowHover(AddLabel, true);
}

void TKVGUIForm::AddLabelMouseLeave()
{
    ShowHover(AddLabel, false);
}

void TKVGUIForm::ExitLabelMouseEnter()
{
    ShowHover(ExitLabel, true);
}

void TKVGUIForm::ExitLabelMouseLeave()
{
    ShowHover(ExitLabel, false);
}

void TKVGUIForm::TimeLabelMouseEnter()
{
    ShowHover(TimeLabel, true);
}

void TKVGUIForm::TimeLabelMouseLeave()
{
    ShowHover(TimeLabel, false);
}

static void InitResources()
{
    // The images live in this static library; register them before use.
    Q_INIT_RESOURCE(resources);
}

bool TKVGUIForm::showWhenPlaced = false;

TKVGUIForm::TKVGUIForm(QWidget *owner) : QWidget(owner, Qt::Window)
{
    InitResources();
    KVGUIForm = this;
    m_settleSave.setSingleShot(true);
    m_settleSave.setInterval(300);
    connect(&m_settleSave, &QTimer::timeout, this, [this] { SaveFromWindow(); });
    m_clockTick.setSingleShot(true);
    m_clockTick.setTimerType(Qt::PreciseTimer);
    connect(&m_clockTick, &QTimer::timeout, this, [this] {
        if (!KVOP)
            return;
        ShowClockTexts();
        ArmClockTick();
    });

    // No caption bar; the outer pixels are the sizing border.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint);
    setAttribute(Qt::WA_QuitOnClose, true);
    setMouseTracking(true); // the sizing border's cursors
    setAcceptDrops(true);   // on the title strip; see PanelDrops.cpp
    // A launcher is rarely the active window; its hints show all the same.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setWindowTitle(QStringLiteral("Kestrava"));
    SetColor(this, 0x000000);
    resize(kDesignedWidth, kDesignedHeight);
    setMinimumSize(kMinFormWidth, kMinFormHeight);

    KVOP = new KVUIOperationClass;
    const QRect screen = platform::Windows().VirtualScreen();
    KVOP->screenWidth = screen.width();
    KVOP->screenHeight = screen.height();
    // A clock without a stored place starts on the primary screen, not on
    // the seam between two monitors.
    if (const QScreen *primary = QGuiApplication::primaryScreen()) {
        const QRect g = primary->geometry();
        KVOP->clockDefaultLeft = g.left() + g.width() / 2;
        KVOP->clockDefaultTop = g.top() + g.height() / 2;
    }

    DoxBoxTimer = std::make_unique<TSimpleTimer>(10, [this](TSimpleTimer *) { DoxBoxTimerTimer(); });

    KVOP->ReadIniFile();

    // The window's place comes from the configuration; once it is known the
    // window can be on the screen while its controls are built (reading the
    // font set alone takes longer than mapping a window). The backup is
    // taken before anything can save, so it still holds the file as it was.
    const bool loaded = KVOP->LoadConfiguration();
    if (loaded)
        ApplyLoadedGeometry();
    if (showWhenPlaced) {
        show();
        platform::Windows().Flush(); // the map request leaves now
    }
    // The backup waits until the first frame is on the screen (see
    // showEvent), unless a save comes first.
    m_backupPending = true;
    if (!isVisible())
        TakeBackup();

    BeginDesign(this, QSize(kDesignedClientWidth, kDesignedClientHeight));
    CreateDesignedControls();
    EndDesign(this);

    SetLeft(KVGUILabel, 2);
    VersionLabel->setCaption(QString::fromStdString(KVUIOperationClass::GetVersionText()));
    fadeOutDelay = 0.25 * 1000;

    if (loaded) {
        ApplyLoadedSwitches();
    } else {
        // A first start writes its file once the first frame is out (see
        // showEvent); a window that is not shown writes it now.
        WriteDefaultsFromWindow();
        m_firstSavePending = true;
        if (!isVisible())
            TakeFirstSave();
    }

    AlphaTrack->setValue(std::clamp(AlphaTrack->value(), AlphaTrack->minimum(), AlphaTrack->maximum()));
    SetAlpha(AlphaTrack->value());
    alphaAccumulator = windowOpacity() * 255.0;

    iconImages.LoadResourceGlyphs(13);
    KVOP->iconImages = &iconImages;
    TSpeedButton *glyphed[] = {ConfigButton,        ShutDownButton, RestartButton, LogOffButton,
                               ToggleDesktopButton, RunButton,      ConnectButton};
    for (int i = 0; i < 7; ++i)
        glyphed[i]->setGlyph(iconImages.Image(6 + i));

    auto *area = new TKVParentPanel(this);
    SetBounds(area, 10, 32, width() - 10 - 7, 150);
    SetAnchors(area, akLeft | akTop | akRight | akBottom);
    area->UpdateContentSize();
    for (int i = 0; i < KVOP->CategoryCount(); ++i)
        area->CreatePanel(i);
    CategoryArea = area;

    GameFadingPanel = new TKVFadingPanel(this);
    GameFadingPanel->SetLimits(6, 150);
    GameFadingPanel->controlAbove = CategoryArea;
    GameFadingPanel->duration = 0.125;
    SetAnchors(GameFadingPanel, akLeft | akRight | akBottom);
    GameFadingPanel->SetOpen(KVOP->gameSectionOpen);
    GameFadingPanel->SetHeightNow(GameFadingPanel->Open() ? GameFadingPanel->MaxHeight()
                                                          : GameFadingPanel->MinHeight());
    GamePanel = new TKVGamePanel(GameFadingPanel, KVOP->gameSectionOpen);
    connect(GamePanel, &TKVGamePanel::touched, this, [this] { Wake(); });
    connect(GameFadingPanel, &TKVFadingPanel::openChanged, GamePanel,
            [this](bool open) { GamePanel->SetRunning(open); });

    ButtonFadingPanel = new TKVFadingPanel(this);
    ButtonFadingPanel->SetLimits(6, 30);
    ButtonFadingPanel->controlAbove = GameFadingPanel;
    ButtonFadingPanel->duration = 30.0 / 150.0 * 0.125;
    SetAnchors(ButtonFadingPanel, akLeft | akRight | akBottom);
    ButtonFadingPanel->SetOpen(KVOP->buttonSectionOpen);
    ButtonFadingPanel->SetHeightNow(ButtonFadingPanel->Open() ? ButtonFadingPanel->MaxHeight()
                                                              : ButtonFadingPanel->MinHeight());
    SetWidth(ButtonFadingPanel, CategoryArea->width());

    int right = ButtonFadingPanel->width() - 4;
    for (TSpeedButton *b :
         {ShutDownButton, RestartButton, LogOffButton, ToggleDesktopButton, RunButton, ConnectButton}) {
        b->setParent(ButtonFadingPanel);
        SetBounds(b, right - b->width(), 18 - b->height() / 2, b->width(), b->height());
        SetAnchors(b, akTop | akRight);
        right = b->x() - 4;
        b->show();
    }
    for (TKVFadingPanel *panel : {GameFadingPanel, ButtonFadingPanel})
        connect(panel, &TKVFadingPanel::openChanged, this, [this] {
            update();
            ScheduleSave();
            Wake();
        });

    // The panels were made in the configured fonts and are laid out below.
    ApplyTitleFont();
    ApplyAppearance();
    LayoutWindow(true);
    mover.window = this;
    LaunchOwner = this;

    // The work area changes when panels come and go or monitors change.
    FollowScreens();

    // Controls made after the window went on the screen show with it now.
    if (isVisible())
        for (QWidget *child : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (!child->isWindow() && !child->testAttribute(Qt::WA_WState_ExplicitShowHide))
                child->show();

    DoxBoxTimer->SetEnabled(true);
    m_constructed = true;
}

TKVGUIForm::~TKVGUIForm()
{
    if (KVGUIForm == this)
        KVGUIForm = nullptr;
    if (LaunchOwner == this)
        LaunchOwner = nullptr;
    linkicons::OnArrival({});
    // The panels read the model while they go.
    delete CategoryArea;
    CategoryArea = nullptr;
    DoxBoxTimer.reset();
    if (KVOP) {
        delete KVOP;
        KVOP = nullptr;
    }
}

void TKVGUIForm::SetFormBounds(int left, int top, int width, int height)
{
    move(left, top);
    resize(std::max(width, minimumWidth()), std::max(height, minimumHeight()));
    ApplyAnchors(this);
}

bool TKVGUIForm::LoadAtStart()
{
    if (!KVOP->LoadConfiguration())
        return false;
    ApplyLoadedGeometry();
    ApplyLoadedSwitches();
    return true;
}

void TKVGUIForm::ApplyLoadedGeometry()
{
    const WindowSettings &s = KVOP->settings;
    KVRect r =
        SaneWindowRect({s.left, s.top, s.width, s.height}, AreaOf(platform::Windows().VirtualScreen()));
    // Inside the virtual screen may still be on no monitor, where one has
    // gone since: such a window comes back on the primary.
    r = OnAMonitor(r);
    SetFormBounds(r.left, r.top, r.width, r.height);
}

void TKVGUIForm::ApplyLoadedSwitches()
{
    DoxBox->setChecked(KVOP->settings.autoMode);
    AlphaTrack->setValue(KVOP->settings.alpha);
}

void TKVGUIForm::WriteDefaultsFromWindow()
{
    KVOP->WriteDefaults();
}

void TKVGUIForm::TakeBackup()
{
    if (!m_backupPending || !KVOP)
        return;
    m_backupPending = false;
    if (KVOP->BackupConfiguration())
        return;
    // Before a first start there is nothing to copy, and nothing to say.
    struct stat st;
    if (::lstat(KVOP->GetConfigPath().c_str(), &st) == 0 || errno != ENOENT)
        WriteFaultLine(QString::fromStdString("no backup was made: " + KVOP->lastSaveError));
}

void TKVGUIForm::TakeFirstSave()
{
    if (std::exchange(m_firstSavePending, false))
        SaveFromWindow();
}

void TKVGUIForm::SaveFromWindow()
{
    // While the settings form is open the model holds edits the user may
    // still cancel: the file keeps what was confirmed until OK.
    if (!KVOP || KVOP->HasSnapshot())
        return;
    // While the window is being built the file holds what was just loaded:
    // what the building changed (a place kept on the screen, say) is saved
    // once it has settled, after the first frame and the backup.
    if (!m_constructed && isVisible()) {
        ScheduleSave();
        return;
    }
    TakeBackup();
    // A clock this run never placed is not where the configuration keeps it:
    // its stored place and visibility stay as they were loaded.
    if (ClockForm && ClockForm->mover.setUp) {
        KVOP->clockVisible = ClockForm->isVisible();
        const QPoint p = ClockForm->ClampedPosition(ClockForm->pos(), platform::Windows().VirtualScreen());
        KVOP->clockLeft = p.x();
        KVOP->clockTop = p.y();
    }
    WindowSettings &s = KVOP->settings;
    s.left = x();
    s.top = y();
    s.width = width();
    s.height = height();
    s.alpha = AlphaTrack->value();
    if (GameFadingPanel && ButtonFadingPanel) {
        KVOP->gameSectionOpen = GameFadingPanel->Open();
        KVOP->buttonSectionOpen = ButtonFadingPanel->Open();
    }
    if (KVOP->SaveConfiguration()) {
        m_saveFault.clear();
    } else if (KVOP->lastSaveError != m_saveFault) {
        // Every move of the window saves: a lasting fault is told once.
        m_saveFault = KVOP->lastSaveError;
        WriteFaultLine(QString::fromStdString("the configuration was not saved: " + m_saveFault));
    }
}

void TKVGUIForm::SetAlpha(int value)
{
    setWindowOpacity(value / 255.0);
    if (ClockForm && ClockForm->isVisible())
        ClockForm->SetAlpha(value);
}

bool TKVGUIForm::AllSwitchesOff() const
{
    const WindowSettings &s = KVOP->settings;
    return !s.dockWindow && !s.autoAlpha && !s.mouseOverSectionResize && !s.alwaysOnTop;
}

void TKVGUIForm::LayoutWindow(bool resetSections)
{
    if (!CategoryArea || !KVOP)
        return;
    TKVParentPanel *area = CategoryArea;
    for (int i = 0; i < PanelCount && i < kMaxCategories; ++i)
        if (TKVPanel *panel = area->panels[i])
            panel->ArrangePanel();
    if (resetSections) {
        GameFadingPanel->SetHeightNow(6);
        SetHeight(area,
                  height() - area->y() - 60 - ButtonFadingPanel->height() - 2 - GameFadingPanel->height());
    }
    SetBounds(GameFadingPanel, area->x(), area->y() + area->height() + 1, area->width(),
              GameFadingPanel->height());
    SetBounds(ButtonFadingPanel, area->x(), GameFadingPanel->y() + GameFadingPanel->height() + 1,
              area->width(), ButtonFadingPanel->height());
    SetBounds(AlphaTrack, 10, AlphaTrack->y(), area->width(), AlphaTrack->height());
    SetBounds(ExitLabel, area->x() + area->width() - ExitLabel->width(), height() - ExitLabel->height(),
              ExitLabel->width(), ExitLabel->height());
    SetBounds(ConfigPanel, area->x() + area->width() - ConfigPanel->width(),
              (area->y() - 1) / 2 - ConfigPanel->height() / 2, ConfigPanel->width(), ConfigPanel->height());
    SetTop(KVGUILabel, 15 - KVGUILabel->height() / 2);
    SetTop(DoxBox, ConfigPanel->height() / 2 - DoxBox->height() / 2);
    SetTop(ConfigButton, ConfigPanel->height() / 2 - ConfigButton->height() / 2);
    SetBounds(VersionLabel, 6, ExitLabel->y() + ExitLabel->height() / 2 - VersionLabel->height(),
              VersionLabel->width(), VersionLabel->height());
    SetTop(AlphaTrack, VersionLabel->y() - AlphaTrack->height() - 2);
    SetBounds(AddLabel, 10, ButtonFadingPanel->y() + ButtonFadingPanel->height() + 2, AddLabel->width(),
              AddLabel->height());
    RefreshClockTexts();
    TimeLabel->setText(QString::fromStdString(KVOP->timeText));
    SetBounds(TimeLabel, area->x() + area->width() - TimeLabel->width(),
              AddLabel->y() + AddLabel->height() / 2 - TimeLabel->height() / 2, TimeLabel->width(),
              TimeLabel->height());
    SetTopmost(KVOP->settings.autoMode && KVOP->settings.alwaysOnTop);
    RefreshLayout(true);
}

void TKVGUIForm::RefreshLayout(bool save)
{
    if (!CategoryArea || !KVOP)
        return;
    for (int i = 0; i < PanelCount && i < kMaxCategories; ++i)
        if (TKVPanel *panel = CategoryArea->panels[i])
            panel->ArrangePanel();
    CategoryArea->UpdateContentSize();
    const WindowSettings &s = KVOP->settings;
    AlphaTrack->setVisible(!(s.autoMode && s.autoAlpha));
    AddLabel->setVisible(PanelCount < kMaxCategories);
    if (height() < minimumHeight() || width() < minimumWidth())
        SetFormBounds(x(), y(), width(), height());
    if (s.autoMode && s.dockWindow && s.dockPosition >= 0 && s.dockPosition <= 10)
        DockWindow();
    const QString title = ModelText(KVOP->header.title);
    ShowTitle(title);
    setWindowTitle(title);
    if (save)
        SaveFromWindow();
    update();
    Wake();
}

void TKVGUIForm::ShowTitle(const QString &title)
{
    // The title has the strip left of the configuration panel: a longer one
    // would run under its buttons, so it shows what fits and the whole of
    // it in its hint.
    constexpr int gap = 4;
    const int room = std::max(0, ConfigPanel->x() - gap - KVGUILabel->x());
    const QString shown = KVGUILabel->fontMetrics().elidedText(title, Qt::ElideRight, room);
    KVGUILabel->setCaption(shown);
    KVGUILabel->setToolTip(shown == title ? QString() : title);
    if (KVGUILabel->width() > room)
        SetWidth(KVGUILabel, room);
}

void TKVGUIForm::DockWindow()
{
    KVRect now{x(), y(), width(), height()};
    KVRect r =
        DockRect(DockAreaFor(now), now, KVOP->settings, KVOP->savedSettings, minimumWidth(), minimumHeight());
    if (!(r == now))
        SetFormBounds(r.left, r.top, r.width, r.height);
}

void TKVGUIForm::SetTopmost(bool on)
{
    platform::Windows().SetAbove(this, on);
    // Setting the band also shows the window, so one that a game link hid
    // comes back. The constructor's layout leaves showing to the program.
    if (m_constructed && !isVisible())
        show();
}

void TKVGUIForm::DoxBoxClick()
{
    if (!KVOP)
        return;
    if (AllSwitchesOff() && DoxBox->isChecked()) {
        DoxBox->setChecked(false); // runs this handler again
        return;
    }
    KVOP->settings.autoMode = DoxBox->isChecked();
    SetTopmost(KVOP->settings.autoMode && KVOP->settings.alwaysOnTop);
    RefreshLayout(true);
}

void TKVGUIForm::Enabled1Click()
{
    DoxBox->setChecked(AllSwitchesOff() ? false : !DoxBox->isChecked());
    KVOP->settings.autoMode = DoxBox->isChecked();
    SetTopmost(KVOP->settings.autoMode && KVOP->settings.alwaysOnTop);
    RefreshLayout(true);
}

namespace {
void FlipSwitch(TKVGUIForm *form, bool &flag, bool topmost)
{
    flag = !flag;
    WindowSettings &s = KVOP->settings;
    if (!s.dockWindow && !s.autoAlpha && !s.mouseOverSectionResize && !s.alwaysOnTop)
        form->DoxBox->setChecked(false);
    s.autoMode = form->DoxBox->isChecked();
    if (topmost)
        form->SetTopmost(s.autoMode && s.alwaysOnTop);
    if (s.autoMode)
        form->RefreshLayout(true);
}
} // namespace

void TKVGUIForm::DockWindow1Click()
{
    FlipSwitch(this, KVOP->settings.dockWindow, false);
}

void TKVGUIForm::AutoAlpha1Click()
{
    FlipSwitch(this, KVOP->settings.autoAlpha, false);
}

void TKVGUIForm::MouseOverSectionResize1Click()
{
    FlipSwitch(this, KVOP->settings.mouseOverSectionResize, false);
}

void TKVGUIForm::AlwaysOnTop1Click()
{
    FlipSwitch(this, KVOP->settings.alwaysOnTop, true);
}

void TKVGUIForm::DockPositionClick(int position)
{
    KVOP->settings.dockPosition = position;
    if (KVOP->settings.autoMode && KVOP->settings.dockWindow)
        RefreshLayout(true);
}

void TKVGUIForm::AlphaTrackChange()
{
    SetAlpha(AlphaTrack->value());
    alphaAccumulator = AlphaTrack->value();
    if (m_fading)
        return;
    ScheduleSave();
    Wake();
}

void TKVGUIForm::ApplyAppearance()
{
    if (!KVOP)
        return;
    auto colour = [this](int role) { return Colour(role); };
    SetColor(this, colour(crBackground));
    SetFontColor(KVGUILabel, colour(crTitle));
    SetFontColor(VersionLabel, colour(crPrimary));
    SetFontColor(ExitLabel, colour(crExitButton));
    SetFontColor(TimeLabel, colour(crClock));
    SetColor(ConfigPanel, colour(crPanels));
    SetFontColor(AddLabel, KVOP->useWindowsColours ? FontColor(ExitLabel) : 0xFFFFFF);
    const TColor panelColour = colour(crPanels);
    SetColor(DoxBox, panelColour);
    SetCheckBoxLook(DoxBox);
    if (GameFadingPanel)
        SetColor(GameFadingPanel, panelColour);
    if (ButtonFadingPanel)
        SetColor(ButtonFadingPanel, panelColour);
    SetColor(AlphaTrack, panelColour);
    if (CategoryArea) {
        SetColor(CategoryArea, colour(crCatArea));
        SetColor(CategoryArea->viewport(), colour(crCatArea));
        for (int i = 0; i < PanelCount && i < kMaxCategories; ++i)
            if (TKVPanel *panel = CategoryArea->panels[i]) {
                SetColor(panel, colour(crPanels));
                SetColor(panel->buttonPanel, colour(crPanels));
            }
    }
    if (GamePanel)
        GamePanel->SetColour(Colour(crGamePanel));
    for (TKVFadingPanel *p : {GameFadingPanel, ButtonFadingPanel})
        if (p) {
            p->header->RefreshColours();
            p->header->update();
        }
    if (ClockForm)
        ClockForm->SetColours(Colour(crBackground), FontColor(TimeLabel));
    update();
}

TColor TKVGUIForm::Colour(int role) const
{
    return KVOP->useWindowsColours ? forms::SystemColour(role) : TColorFromColour(KVOP->GetColour(role));
}

void TKVGUIForm::ApplyTitleFont()
{
    const QString titleFont = InstalledFamily(ModelText(KVOP->appearance.titleFont));
    for (TLabel *l : {KVGUILabel, AddLabel, ExitLabel}) {
        QFont f = l->font();
        f.setFamily(titleFont);
        l->setFont(f);
    }
}

void TKVGUIForm::ApplyFonts()
{
    if (!KVOP)
        return;
    ApplyTitleFont();
    if (CategoryArea)
        for (int i = 0; i < PanelCount && i < kMaxCategories; ++i)
            if (TKVPanel *panel = CategoryArea->panels[i])
                panel->ApplyFonts();
    LayoutWindow(false);
}

void TKVGUIForm::AddLinkToCategory(int c, const std::function<void(TAddEntryForm &)> &prepare)
{
    if (!KVOP || c < 0 || c >= kMaxCategories)
        return;
    // The model has no slot for a 51st link: a full category is refused
    // before the dialog opens, and so is a full one the user picks in it.
    auto refuseWhenFull = [this](int category) {
        if (KVOP->LinkCount(category) < kMaxLinks)
            return false;
        Warn(this,
             "The category \"" + ModelText(KVOP->categories[category].name) +
                 "\" already holds 50 links, the most a category can hold. Remove a link before adding "
                 "another.",
             QStringLiteral("Add Link"));
        return true;
    };
    if (refuseWhenFull(c))
        return;
    if (!AddEntryForm)
        AddEntryForm = new TAddEntryForm(this);
    if (AddEntryForm->isVisible())
        return;
    AddEntryForm->Prepare(c);
    if (prepare)
        prepare(*AddEntryForm);
    // The state is set before each showing: the window manager forgets it
    // when the dialog is hidden.
    platform::Windows().SetAbove(AddEntryForm, true);
    AddEntryForm->exec();
    // The program may have closed while the dialog was open.
    if (!KVOP || !AddEntryForm || !AddEntryForm->Accepted)
        return;
    AddEntryForm->Accepted = false;
    const int c2 = AddEntryForm->SectionChoice->currentIndex();
    if (c2 < 0 || c2 >= KVOP->CategoryCount() || !CategoryArea || !CategoryArea->panels[c2])
        return;
    if (refuseWhenFull(c2))
        return;
    LinkRecord &link = KVOP->categories[c2].links[KVOP->LinkCount(c2)];
    KVUIOperationClass::ClearLink(link);
    SetModelText(link.name, AddEntryForm->ShortNameEdit->text());
    SetModelText(link.path, AddEntryForm->URLEdit->text());
    link.type = AddEntryForm->LinkType();
    link.used = 1;
    CategoryArea->panels[c2]->RebuildPanel(c2);
    RefreshLayout(true);
}

void TKVGUIForm::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    m_settleSave.stop();
    m_clockTick.stop();
    // Closing while the settings form is open (a signal, the tray's Exit):
    // what the user had not confirmed with OK is not saved.
    if (KVOP && KVOP->HasSnapshot()) {
        KVOP->RestoreSnapshot();
        KVOP->DiscardSnapshot();
    }
    SaveFromWindow();
    if (DoxBoxTimer) {
        DoxBoxTimer->SetEnabled(false);
        DoxBoxTimer.reset();
    }
    delete KVOP;
    KVOP = nullptr;
}

void TKVGUIForm::closeEvent(QCloseEvent *e)
{
    FormClose();
    e->accept();
    QApplication::quit();
}

void TKVGUIForm::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (windowHandle() && m_wheelWindow != windowHandle()) {
        m_wheelWindow = windowHandle();
        m_wheelWindow->installEventFilter(this);
    }
    // The program is reached through its window, the tray icon and the
    // hotkeys, never through a task bar button.
    platform::Windows().SetSkipTaskbar(this, true);
    if (!KVOP)
        return;
    // A window shown again shows the time of now in its first frame, not
    // the second it was hidden at; its map tells whether it is covered.
    m_covered = false;
    if (m_constructed)
        ShowClockTexts();
    Wake();
    SetTopmost(KVOP->settings.autoMode && KVOP->settings.alwaysOnTop);
    // Only the first showing opens the maintainers' windows; the tray shows
    // and hides this window many times. It waits for the event loop, by when
    // every form of the program exists.
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // Runs once the first frame is on the screen (see paintEvent), or after
    // a quarter of a second should the window never be painted.
    m_afterFirstFrame = [this] {
        if (!KVOP)
            return;
        // Link icons read files, so they wait for the first frame; the labels
        // kept room for them, and show each icon as it arrives.
        const auto redrawPanels = [this] {
            if (CategoryArea)
                for (TKVPanel *panel : CategoryArea->panels)
                    if (panel && panel->isVisible())
                        panel->update();
        };
        linkicons::OnArrival(redrawPanels);
        linkicons::AllowLoading();
        if (KVOP->linkIcons)
            redrawPanels();
        TakeBackup();
        TakeFirstSave();
        WatchCovering(this, m_covered);
        if (ClockForm && KVOP->clockVisible)
            TimeLabelClick();
        if (KVOP->debugMode) {
            if (MakeUpdateForm)
                MakeUpdateForm->show();
            if (DebugForm)
                DebugForm->show();
            WriteDebugLine(QString::fromStdString("Kestrava Version " + KVUIOperationClass::GetVersionText() +
                                                  " - Debugger"));
            WriteDebugLine(QStringLiteral("-----==========-----"));
            WriteDebugLine(QStringLiteral(" "));
            WriteSettingsDump();
        }
        // After the first frame, which does not wait for them; what fails
        // is told in the debug window, opened above.
        StartDesktopIntegration();
    };
    QTimer::singleShot(250, this, [this] { RunAfterFirstFrame(); });
}

void TKVGUIForm::hideEvent(QHideEvent *e)
{
    QWidget::hideEvent(e);
    FollowClockSight();
}

void TKVGUIForm::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange)
        FollowClockSight();
}

void TKVGUIForm::RunAfterFirstFrame()
{
    if (auto work = std::exchange(m_afterFirstFrame, nullptr))
        work();
}

void TKVGUIForm::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    RefreshLayout(false);
    ScheduleSave();
}

void TKVGUIForm::moveEvent(QMoveEvent *e)
{
    QWidget::moveEvent(e);
    ScheduleSave();
    Wake(); // a docked window goes back to its place on the next tick
}

void TKVGUIForm::enterEvent(QEnterEvent *e)
{
    QWidget::enterEvent(e);
    Wake();
}

void TKVGUIForm::leaveEvent(QEvent *e)
{
    QWidget::leaveEvent(e);
    Wake();
}

void TKVGUIForm::ScheduleSave()
{
    if (!m_closed)
        m_settleSave.start();
}

Qt::Edges TKVGUIForm::ResizeEdgesAt(QPoint p) const
{
    // The window has no frame from the window manager; its outer few pixels
    // are the sizing border.
    constexpr int grip = 4;
    Qt::Edges edges;
    if (p.x() < grip)
        edges |= Qt::LeftEdge;
    else if (p.x() >= width() - grip)
        edges |= Qt::RightEdge;
    if (p.y() < grip)
        edges |= Qt::TopEdge;
    else if (p.y() >= height() - grip)
        edges |= Qt::BottomEdge;
    return edges;
}

void TKVGUIForm::mousePressEvent(QMouseEvent *e)
{
    const Qt::Edges edges = ResizeEdgesAt(e->position().toPoint());
    if (edges && e->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemResize(edges))
        return;
    if (!KVOP || (KVOP->settings.autoMode && KVOP->settings.dockWindow))
        return;
    mover.dragging = true;
    mover.startX = static_cast<int>(e->position().x());
    mover.startY = static_cast<int>(e->position().y());
    mover.button = e->button() == Qt::LeftButton ? 0 : e->button() == Qt::RightButton ? 1 : 2;
    m_dragStartGlobal = e->globalPosition().toPoint() - pos();
}

void TKVGUIForm::mouseMoveEvent(QMouseEvent *e)
{
    if (e->buttons() == Qt::NoButton) {
        const Qt::Edges edges = ResizeEdgesAt(e->position().toPoint());
        if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
            setCursor(Qt::SizeFDiagCursor);
        else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
            setCursor(Qt::SizeBDiagCursor);
        else if (edges & (Qt::LeftEdge | Qt::RightEdge))
            setCursor(Qt::SizeHorCursor);
        else if (edges)
            setCursor(Qt::SizeVerCursor);
        else
            unsetCursor();
    }
    if (!KVOP || (KVOP->settings.autoMode && KVOP->settings.dockWindow) || !mover.dragging)
        return;
    if (mover.button != 0) {
        mover.dragging = false;
        return;
    }
    // Measured on the screen: the window moves under the pointer, and the
    // window manager may not have placed it yet when the next motion comes.
    const QPoint target = e->globalPosition().toPoint() - m_dragStartGlobal;
    const int dx = target.x() - x(), dy = target.y() - y();
    if (dx == 0 && dy == 0)
        return;
    move(target);
    for (TFollowerMover *f : mover.followers)
        if (f)
            f->FollowerMove(dx, dy);
}

void TKVGUIForm::mouseReleaseEvent(QMouseEvent *)
{
    if (!KVOP || (KVOP->settings.autoMode && KVOP->settings.dockWindow))
        return;
    mover.dragging = false;
}

bool TKVGUIForm::eventFilter(QObject *watched, QEvent *e)
{
    // The wheel scrolls the category area by its increment wherever it turns
    // over the window: the scroll box and the track bar would otherwise take
    // it for their own, larger steps.
    if (watched == ClockForm && e->type() == QEvent::Move)
        ScheduleSave();
    if (watched == ClockForm && (e->type() == QEvent::Show || e->type() == QEvent::Hide ||
                                 e->type() == QEvent::WindowStateChange)) {
        if (e->type() == QEvent::Show)
            m_clockCovered = false;
        FollowClockSight();
    }
    if (watched == m_wheelWindow && e->type() == QEvent::Wheel) {
        if (CategoryArea)
            CategoryArea->WheelScroll(static_cast<QWheelEvent *>(e)->angleDelta().y());
        e->accept();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void TKVGUIForm::paintEvent(QPaintEvent *)
{
    // What the first frame need not wait for comes after it: the backup's
    // copy of 2 MB, the tray icon and the hot keys.
    if (m_afterFirstFrame)
        QTimer::singleShot(0, this, [this] { RunAfterFirstFrame(); });
    if (!KVOP || !CategoryArea || !GameFadingPanel || !ButtonFadingPanel)
        return;
    QPainter p(this);
    p.setPen(ToQColor(Colour(crPrimary)));
    auto frame = [&p](const QWidget *c) {
        const QPoint pts[] = {{c->x() - 1, c->y() - 1},
                              {c->x() + c->width(), c->y() - 1},
                              {c->x() + c->width(), c->y() + c->height()},
                              {c->x() - 1, c->y() + c->height()},
                              {c->x() - 1, c->y() - 1}};
        p.drawPolyline(pts, 5);
    };
    auto mid = [](const QWidget *c) { return c->y() + c->height() / 2; };
    const WindowSettings &s = KVOP->settings;
    frame(CategoryArea);
    p.drawLine(2, CategoryArea->y() + 5, CategoryArea->x() - 1, CategoryArea->y() + 5);
    if (!s.autoMode || !s.autoAlpha)
        frame(AlphaTrack);
    frame(ConfigPanel);
    for (TKVFadingPanel *f : {ButtonFadingPanel, GameFadingPanel}) {
        frame(f);
        if (f->header) {
            const int y = f->y() + f->header->height() / 2;
            p.drawLine(2, y, f->x() - 1, y);
        }
    }
    p.drawLine(2, 30, 2, mid(ExitLabel));
    p.drawLine(2, mid(ExitLabel), ExitLabel->x() - 1, mid(ExitLabel));
    if (AddLabel->isVisible())
        p.drawLine(2, mid(AddLabel), AddLabel->x() - 1, mid(AddLabel));
    if (AlphaTrack->isVisible())
        p.drawLine(2, mid(AlphaTrack), AlphaTrack->x() - 1, mid(AlphaTrack));
}
