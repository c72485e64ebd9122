// The settings form's "Settings", "Appearance" and "About" pages and its
// footer: switches, dock position, colours, fonts and defaults.

#include "SettingsFormUnit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTextEdit>

#include "Dialogs.h"
#include "Execute.h"
#include "FontList.h"
#include "Forms.h"

using namespace forms;

namespace {

constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kSkyBlue = 0xF0CAA6; // red 166, green 202, blue 240
constexpr TColor kCream = 0xF0FBFF;
constexpr TColor kGrey = 0x808080;

// Where each dock position sits on the small map of the screen.
struct DockSpot {
    int shapeLeft, shapeTop, shapeHeight, radioLeft, radioTop;
};
constexpr DockSpot kDockSpots[11] = {
    {28, 2, 27, 34, 8},       {28, 90, 27, 34, 96},     {28, 178, 27, 34, 184}, {122, 2, 27, 128, 8},
    {122, 90, 27, 128, 96},   {122, 178, 27, 128, 184}, {214, 2, 27, 220, 8},   {214, 90, 27, 220, 96},
    {214, 178, 27, 220, 184}, {2, 2, 203, 8, 96},       {240, 2, 203, 246, 96},
};

struct ColourSpot {
    const char *caption;
    int buttonLeft, buttonTop, shapeLeft, shapeTop;
};
// Indexed by colour role.
constexpr ColourSpot kColourSpots[9] = {
    {"Title", 8, 75, 90, 77},       {"Primary", 8, 18, 90, 20},          {"Secondary", 8, 46, 90, 47},
    {"Clock", 151, 17, 234, 20},    {"Exit Button", 151, 104, 234, 106}, {"Game Panel", 151, 46, 234, 47},
    {"Cat. Area", 8, 133, 90, 135}, {"Panels", 151, 75, 234, 77},        {"Background", 8, 104, 90, 106},
};

QCheckBox *Check(QWidget *parent, const char *caption, int left, int top)
{
    auto *box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->adjustSize();
    box->move(left, top);
    return box;
}

QGroupBox *Group(QWidget *parent, const char *title, int left, int top, int width, int height)
{
    auto *g = new QGroupBox(QString::fromLatin1(title), parent);
    SetBounds(g, left, top, width, height);
    return g;
}

void SetRadioBackground(QRadioButton *radio, TColor colour)
{
    if (radio->palette().color(QPalette::Window) != ToQColor(colour))
        SetColor(radio, colour);
}

// Paragraphs of the About page, centred and wrapped to the page.
const char kIntroduction[] =
    "Kestrava keeps the programs, web pages, folders, files and games you use every day one click away, "
    "in a small window at the edge of your screen.\n\n"
    "Group your links into up to twenty named, coloured categories. A category opens when you click its "
    "heading or move the mouse over it, and can be locked open.\n\n"
    "The window docks to any of eleven places of the screen, can stay on top of other windows, and fades "
    "when the mouse leaves it. Ctrl+Alt+M brings it back from anywhere.\n\n"
    "Everything you set up here is kept in one file, with a backup copy beside it.";

} // namespace

void TSettingsForm::BuildSettingsPage()
{
    QWidget *page = SettingsSheet;
    QGroupBox *modes = Group(page, "Auto-Mode settings", 4, 2, 193, 147);
    auto *banner = new TShape(modes);
    banner->setBrushColor(kCream);
    SetBounds(banner, 6, 18, 181, 25);
    AMCheck = Check(modes, "Auto-Mode", 10, 22);
    QFont bold = AMCheck->font();
    bold.setBold(true);
    AMCheck->setFont(bold);
    AMCheck->adjustSize();
    DWCheck = Check(modes, "Dock Window", 10, 50);
    AOTCheck = Check(modes, "Always On Top", 10, 73);
    AACheck = Check(modes, "Auto-Alpha", 10, 96);
    MOSRCheck = Check(modes, "Mouse Over Section Resize", 10, 120);
    for (QCheckBox *box : {DWCheck, AOTCheck, AACheck, MOSRCheck})
        connect(box, &QCheckBox::toggled, this, [this] { SwitchBoxClick(); });

    QLabel *transparency = PlainLabel(page, QStringLiteral("Interface Transparency (Manual Mode):"), 6, 154);
    // The longest caption of the page; in a wide face it would run into the
    // dock group beside it.
    while (transparency->width() > 191 && transparency->font().pixelSize() > 8) {
        QFont smaller = transparency->font();
        smaller.setPixelSize(smaller.pixelSize() - 1);
        transparency->setFont(smaller);
        transparency->adjustSize();
    }
    AlphaTrack = new QSlider(Qt::Horizontal, page);
    AlphaTrack->setRange(60, 255);
    AlphaTrack->setValue(255);
    AlphaTrack->setTickPosition(QSlider::TicksBelow);
    AlphaTrack->setTickInterval(15);
    SetThumbLength(AlphaTrack, 10);
    SetBounds(AlphaTrack, 6, 168, 189, 13);
    AppNameEdit = new QLineEdit(QStringLiteral("Kestrava"), page);
    LimitToFieldBytes(AppNameEdit, sizeof(FileHeader::title) - 1);
    SetBounds(AppNameEdit, 6, 198, 187, 21);
    CaptionAbove(AppNameEdit, QStringLiteral("Program Name:"), 1);

    QGroupBox *dock = Group(page, "Dock Position", 199, 2, 309, 259);
    auto *panel3 = new QFrame(dock);
    SetColor(panel3, kCream);
    SetBounds(panel3, 8, 18, 293, 233);
    auto *panel4 = new QFrame(panel3);
    panel4->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    SetColor(panel4, kGrey);
    SetBounds(panel4, 12, 13, 269, 207);
    auto *group = new QButtonGroup(this);
    for (int k = 0; k < 11; ++k) {
        const DockSpot &s = kDockSpots[k];
        DockShapes[k] = new TShape(panel4);
        SetBounds(DockShapes[k], s.shapeLeft, s.shapeTop, 25, s.shapeHeight);
        DockRadios[k] = new QRadioButton(panel4);
        DockRadios[k]->setToolTip(QString::fromLatin1(KVUIOperationClass::DockPositionText(k)));
        SetColor(DockRadios[k], kWhite);
        SetCheckBoxLook(DockRadios[k]);
        SetBounds(DockRadios[k], s.radioLeft, s.radioTop, 15, 17);
        group->addButton(DockRadios[k], k);
        connect(DockRadios[k], &QRadioButton::toggled, this, [this, k](bool on) {
            if (on)
                DockRadioClick(k);
        });
    }
}

void TSettingsForm::BuildAppearancePage()
{
    QWidget *page = AppearanceSheet;
    QGroupBox *colours = Group(page, "Colours", 6, 4, 283, 165);
    for (int role = 0; role < 9; ++role) {
        const ColourSpot &s = kColourSpots[role];
        ColourButtons[role] = new QPushButton(QString::fromLatin1(s.caption), colours);
        SetBounds(ColourButtons[role], s.buttonLeft, s.buttonTop, 77, 25);
        ColourShapes[role] = new TShape(colours);
        SetBounds(ColourShapes[role], s.shapeLeft, s.shapeTop, 41, 21);
        connect(ColourButtons[role], &QPushButton::clicked, this, [this, role] { PickColour(role); });
    }
    WinColoursCheck = Check(colours, "Use Windows Colours", 148, 138); // its box needs the room
    connect(WinColoursCheck, &QCheckBox::toggled, this, [this] { WinColoursCheckClick(); });

    QGroupBox *fonts = Group(page, "Fonts", 294, 4, 212, 165);
    const auto list = [fonts](const char *caption, int top) {
        auto *l = new TKVFontList(fonts);
        SetBounds(l, 7, top, 197, 26);
        SetAnchors(l, akLeft | akTop | akRight);
        CaptionAbove(l, QString::fromLatin1(caption), 1);
        return l;
    };
    // Six pixels lower than drawn, so the first caption clears the group's title.
    TitleFontCombo = list("Title:", 37);
    HeadingFontCombo = list("Headings:", 86);
    LinkFontCombo = list("Links:", 135);
    connect(TitleFontCombo, &QComboBox::activated, this, [this] { TitleFontComboChange(); });

    // Below the colours, in room the page had free: no control moves.
    LinkIconsCheck = Check(page, "Show icons", 12, 178);
    LinkIconsCheck->setToolTip(QStringLiteral("Show a small icon before each link"));

    DefaultsButton = new QPushButton(QStringLiteral("Defaults"), page);
    SetBounds(DefaultsButton, 426, 230, 75, 25);
    connect(DefaultsButton, &QPushButton::clicked, this, [this] { DefaultsButtonClick(); });
}

void TSettingsForm::BuildAboutPage()
{
    Label5 = new QLabel(QStringLiteral("Kestrava"), AboutSheet);
    Label5->setTextFormat(Qt::PlainText);
    Label5->setFont(MakeFont(QStringLiteral("SF Proverbial Gothic Extended"), 48, true));
    Label5->adjustSize();
    Label5->move(4, 2);
    Memo1 = new QTextEdit(AboutSheet);
    Memo1->setReadOnly(true);
    Memo1->setFocusPolicy(Qt::NoFocus);
    Memo1->setAcceptRichText(false);
    SetColor(Memo1, kCream);
    Memo1->setPlainText(QString::fromUtf8(kIntroduction));
    // Centred lines, as the page was drawn.
    QTextCursor all(Memo1->document());
    all.select(QTextCursor::Document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    all.mergeBlockFormat(centred);
    SetBounds(Memo1, 6, 66, 499, 193);
}

void TSettingsForm::BuildFooter()
{
    VersionLabel = new TLabel(this);
    VersionLabel->setAutoSize(true);
    VersionLabel->setCaption(QStringLiteral("Version: ") +
                             QString::fromStdString(KVUIOperationClass::GetVersionText()));
    SetBounds(VersionLabel, 7, 316, VersionLabel->width(), VersionLabel->height());
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    SetBounds(OKButton, 357, 310, 75, 25);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    SetBounds(CancelButton, 439, 310, 75, 25);
    connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

    LinkLabel = new TLabel(this);
    LinkLabel->setAutoSize(true);
    QFont underlined = LinkLabel->font();
    underlined.setUnderline(true);
    LinkLabel->setFont(underlined);
    LinkLabel->setCaption(QStringLiteral("Kestrava Homepage"));
    LinkLabel->setAlignment(Qt::AlignCenter);
    SetFontColor(LinkLabel, TSettingsForm::kLinkColour);
    MakeClickable(LinkLabel);
    SetBounds(LinkLabel,
              CentredLinkLeft(VersionLabel->x(), VersionLabel->width(), OKButton->x(), LinkLabel->width()),
              316, LinkLabel->width(), LinkLabel->height());
    LinkLabel->installEventFilter(this);
}

void TSettingsForm::LoadSettingsPage()
{
    const WindowSettings &s = KVOP->settings;
    QButtonGroup *group = DockRadios[0]->group();
    group->setExclusive(false);
    for (int k = 0; k < 11; ++k)
        DockRadios[k]->setChecked(s.dockPosition == k);
    group->setExclusive(true);
    DWCheck->setChecked(s.dockWindow);
    MOSRCheck->setChecked(s.mouseOverSectionResize);
    AACheck->setChecked(s.autoAlpha);
    AOTCheck->setChecked(s.alwaysOnTop);
    AMCheck->setChecked(s.autoMode);
    WinColoursCheck->setChecked(KVOP->useWindowsColours);
    LinkIconsCheck->setChecked(KVOP->linkIcons);
    UpdateDockShapes();
}

void TSettingsForm::StorePages()
{
    SetModelText(KVOP->appearance.titleFont, TitleFontCombo->Name());
    SetModelText(KVOP->appearance.headingsFont, HeadingFontCombo->Name());
    SetModelText(KVOP->appearance.linksFont, LinkFontCombo->Name());
    WindowSettings &s = KVOP->settings;
    for (int k = 0; k < 11; ++k)
        if (DockRadios[k]->isChecked()) {
            s.dockPosition = k;
            break;
        }
    s.dockWindow = DWCheck->isChecked();
    s.mouseOverSectionResize = MOSRCheck->isChecked();
    s.autoAlpha = AACheck->isChecked();
    s.alwaysOnTop = AOTCheck->isChecked();
    s.autoMode = AMCheck->isChecked();
    StorePreferences();
}

void TSettingsForm::StorePreferences()
{
    // Kept in Kestrava.ini rather than the configuration file, whose layout
    // is fixed; the file is only touched when a preference changes.
    const bool icons = LinkIconsCheck->isChecked();
    if (icons == KVOP->linkIcons)
        return;
    KVOP->linkIcons = icons;
    if (!KVOP->WriteIniValue("Preferences", "LinkIcons", icons ? "1" : "0"))
        Warn(this,
             QStringLiteral("The setting \"Show icons\" applies until Kestrava closes, but it could not be "
                            "stored: ") +
                 QString::fromStdString(KVOP->lastSaveError),
             QStringLiteral("Kestrava"));
}

void TSettingsForm::FillFontLists()
{
    QStringList families;
    for (const QString &family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family))
            families << family;
    for (TKVFontList *list : {TitleFontCombo, HeadingFontCombo, LinkFontCombo}) {
        const QSignalBlocker quiet(list);
        list->Fill(families);
    }
    SelectStoredFonts();
}

void TSettingsForm::SelectStoredFonts()
{
    const Appearance &a = KVOP->appearance;
    const std::pair<TKVFontList *, QString> lists[] = {{TitleFontCombo, ModelText(a.titleFont)},
                                                       {HeadingFontCombo, ModelText(a.headingsFont)},
                                                       {LinkFontCombo, ModelText(a.linksFont)}};
    for (const auto &[list, name] : lists) {
        const QSignalBlocker quiet(list);
        list->SelectName(name);
    }
}

void TSettingsForm::DockRadioClick(int position)
{
    if (!KVOP)
        return;
    KVOP->settings.dockPosition = position;
    UpdateDockShapes();
}

void TSettingsForm::UpdateDockShapes()
{
    const int p = KVOP ? KVOP->settings.dockPosition : -1;
    for (int k = 0; k < 11; ++k) {
        const TColor colour = k == p ? kSkyBlue : kWhite;
        DockShapes[k]->setBrushColor(colour);
        SetRadioBackground(DockRadios[k], colour);
    }
}

void TSettingsForm::SwitchBoxClick()
{
    if (!MOSRCheck->isChecked() && !AOTCheck->isChecked() && !AACheck->isChecked() && !DWCheck->isChecked())
        AMCheck->setChecked(false);
}

void TSettingsForm::PickColour(int role)
{
    TColor chosen = 0;
    if (!KVOP || !forms::PickColour(this, TColorFromColour(KVOP->GetColour(role)), &chosen) || !KVOP)
        return;
    const RGBColour c = ColourFromTColor(chosen);
    KVOP->SetColour(role, c.r, c.g, c.b);
    UpdateColourShapes();
}

void TSettingsForm::UpdateColourShapes()
{
    for (int role = 0; role < 9; ++role)
        ColourShapes[role]->setBrushColor(TColorFromColour(KVOP->GetColour(role)));
}

void TSettingsForm::WinColoursCheckClick()
{
    if (!KVOP)
        return;
    KVOP->useWindowsColours = WinColoursCheck->isChecked();
    for (QPushButton *b : ColourButtons)
        b->setEnabled(!KVOP->useWindowsColours);
}

void TSettingsForm::DefaultsButtonClick()
{
    if (!Confirm(this, QStringLiteral("Do you really want to revert to the defaults?"),
                 QStringLiteral("Defaults")) ||
        !KVOP)
        return;
    KVOP->SetDefaultAppearance();
    KVOP->useWindowsColours = false;
    WinColoursCheck->setChecked(KVOP->useWindowsColours);
    WinColoursCheckClick();
    UpdateColourShapes();
    SelectStoredFonts();
}

void TSettingsForm::TitleFontComboChange()
{
    if (KVOP)
        SetModelText(KVOP->appearance.titleFont, TitleFontCombo->Name());
}

void TSettingsForm::LinkLabelMouseDown()
{
    SetFontColor(LinkLabel, kWhite);
}

void TSettingsForm::LinkLabelMouseUp()
{
    SetFontColor(LinkLabel, TSettingsForm::kLinkColour);
    OpenUrl(QString::fromStdString(KVUIOperationClass::GetHomePageURL()));
}
