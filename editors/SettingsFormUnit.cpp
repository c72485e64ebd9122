#include "SettingsFormUnit.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QScreen>
#include <QMouseEvent>
#include <QShowEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>

#include "CategoryTypeDropDown.h"
#include "Dialogs.h"
#include "FontList.h"
#include "LaunchPaths.h"
#include "Forms.h"
#include "MemberRows.h"

using namespace forms;

TSettingsForm *SettingsForm = nullptr;

namespace {

constexpr TColor kNavy = 0x800000;
const QString kInputError = QStringLiteral("Input Error");

// Tab order of the page control.
enum Tab { tabSettings = 0, tabEditor, tabAppearance, tabAbout };

QPushButton *Button(QWidget *parent, const char *caption, int left, int top, int width, int height)
{
    auto *b = new QPushButton(QString::fromLatin1(caption), parent);
    SetBounds(b, left, top, width, height);
    return b;
}

} // namespace

TSettingsForm::TSettingsForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Kestrava Configuration"));
}

TSettingsForm::~TSettingsForm() = default;

void TSettingsForm::EnsureBuilt()
{
    if (PageControl)
        return;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    setFixedSize(520, 344);

    PageControl = new QTabWidget(this);
    PageControl->setDocumentMode(false);
    SetBounds(PageControl, 0, 0, 520, 303);
    SettingsSheet = new QWidget;
    TabSheet1 = new QWidget;
    AppearanceSheet = new QWidget;
    AboutSheet = new QWidget;
    PageControl->addTab(SettingsSheet, QStringLiteral("Settings"));
    PageControl->addTab(TabSheet1, QStringLiteral("Category Editor"));
    PageControl->addTab(AppearanceSheet, QStringLiteral("Appearance"));
    PageControl->addTab(AboutSheet, QStringLiteral("About"));

    BuildEditorPage();
    BuildSettingsPage();
    BuildAppearancePage();
    BuildAboutPage();
    BuildFooter();
    ResetCounter();
}

void TSettingsForm::BuildEditorPage()
{
    QWidget *page = TabSheet1;
    BeginDesign(page, QSize(512, 271));
    PrevCatButton = Button(page, "<<", 4, 4, 23, 25);
    CatIndexPanel = new QLabel(QStringLiteral("Category: 1"), page);
    CatIndexPanel->setAlignment(Qt::AlignCenter);
    CatIndexPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    SetBounds(CatIndexPanel, 30, 4, 75, 25);
    NextCatButton = Button(page, ">>", 108, 4, 23, 25);

    CatNameEdit = new QLineEdit(page);
    LimitToFieldBytes(CatNameEdit, sizeof(CategoryRecord::name) - 1, 20);
    SetBounds(CatNameEdit, 4, 51, 127, 21);
    CaptionAbove(CatNameEdit, QStringLiteral("Category Name:"), 3);
    CatTypeDropDown = new TKVCategoryTypeDropDown(page);
    SetBounds(CatTypeDropDown, 4, 90, 127, 21);
    CaptionAbove(CatTypeDropDown, QStringLiteral("Category Type:"), 1);
    CatDescMemo = new QPlainTextEdit(page);
    CatDescMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CatDescMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CatDescMemo->setTabChangesFocus(true);
    LimitToFieldBytes(CatDescMemo, sizeof(CategoryRecord::description) - 1);
    SetBounds(CatDescMemo, 4, 130, 127, 71);
    CaptionAbove(CatDescMemo, QStringLiteral("Category Description:"), 1);
    // A little wider than drawn: the caption needs 80 pixels in this font.
    CatColourButton = Button(page, "Category Colour", 4, 206, 86, 25);
    CatColorShape = new TShape(page);
    SetBounds(CatColorShape, 93, 209, 38, 21);
    LinksColourButton = Button(page, "Links Colour", 4, 236, 86, 25);
    LinkColorShape = new TShape(page);
    SetBounds(LinkColorShape, 93, 239, 38, 21);

    Panel1 = new QFrame(page);
    static_cast<QFrame *>(Panel1)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    SetPanelColor(Panel1, ToTColor(palette().color(QPalette::Midlight)));
    SetBounds(Panel1, 512 - 378, 0, 378, 271);
    SetAnchors(Panel1, akTop | akRight | akBottom);
    BeginDesign(Panel1, QSize(378, 271));
    AddLinkButton = Button(Panel1, "Add Member", 3, 4, 75, 25);
    Label3 = new QLabel(Panel1);
    Label3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setFont(MakeFont(QStringLiteral("SF Proverbial Gothic Extended"), 21, true));
    SetFontColor(Label3, kNavy);
    SetBounds(Label3, 81, 4, 210, 25); // the bevel's bounds
    SetAnchors(Label3, akLeft | akTop | akRight);
    ClearLinksButton = Button(Panel1, "Clear Members", 296, 4, 79, 25);
    SetAnchors(ClearLinksButton, akTop | akRight);
    TargetBox = new QScrollArea(Panel1);
    TargetBox->setFrameShape(QFrame::NoFrame);
    TargetBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TargetBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    TargetBox->setWidgetResizable(false);
    TargetBox->verticalScrollBar()->setSingleStep(8);
    SetPanelColor(TargetBox->viewport(), 0x808080);
    SetBounds(TargetBox, 1, 32, 376, 232);
    SetAnchors(TargetBox, akLeft | akTop | akRight | akBottom);
    TargetContent = new QWidget;
    SetPanelColor(TargetContent, 0x808080);
    TargetContent->resize(TargetBox->viewport()->width(), 0);
    TargetBox->setWidget(TargetContent);
    TargetBox->viewport()->installEventFilter(this);
    EndDesign(Panel1);
    EndDesign(page);

    connect(PrevCatButton, &QPushButton::clicked, this, [this] { PrevCatButtonClick(); });
    connect(NextCatButton, &QPushButton::clicked, this, [this] { NextCatButtonClick(); });
    connect(AddLinkButton, &QPushButton::clicked, this, [this] { AddLinkButtonClick(); });
    connect(ClearLinksButton, &QPushButton::clicked, this, [this] { ClearLinksButtonClick(); });
    connect(CatNameEdit, &QLineEdit::textEdited, this, [this] { CatNameEditChange(); });
    connect(CatTypeDropDown, &QComboBox::currentIndexChanged, this, [this] { CatTypeComboChange(); });
    connect(CatColourButton, &QPushButton::clicked, this, [this] { CatColourButtonClick(); });
    connect(LinksColourButton, &QPushButton::clicked, this, [this] { LinksColourButtonClick(); });
}

void TSettingsForm::SelectPage(int page)
{
    EnsureBuilt();
    int tab = tabSettings;
    switch (page) {
    case 1:
        tab = tabEditor;
        break;
    case 3:
        tab = tabAbout;
        break;
    case 4:
        tab = tabAppearance;
        break;
    default:
        break;
    }
    if (PageControl->currentIndex() != tab)
        PageControl->setCurrentIndex(tab);
}

const MemberRowMetrics &TSettingsForm::RowMetrics()
{
    if (!m_metricsKnown) {
        // Measured on real controls, so rows take the toolkit's own heights.
        QWidget probe(this);
        probe.setFont(font());
        QLabel caption(QStringLiteral("Short Name:"), &probe);
        QFont bold = caption.font();
        bold.setBold(true);
        caption.setFont(bold);
        QLineEdit edit(&probe);
        TKVCategoryTypeDropDown combo(&probe);
        m_rowMetrics.labelHeight = caption.sizeHint().height();
        m_rowMetrics.typeLabelHeight = caption.sizeHint().height();
        m_rowMetrics.editHeight = edit.sizeHint().height();
        m_rowMetrics.comboHeight = combo.sizeHint().height();
        m_rowMetrics.browseHeight = 25;
        m_metricsKnown = true;
    }
    return m_rowMetrics;
}

const QFont &TSettingsForm::MemberNumberFont()
{
    if (!m_numberFontKnown) {
        m_numberFontKnown = true;
        QFont font(QStringLiteral("SF Proverbial Gothic Extended"));
        font.setPointSize(16);
        font.setBold(true);
        QLabel probe;
        const auto widest = [&probe, &font] {
            probe.setFont(font);
            int width = 0;
            for (int n = 1; n <= kMaxLinks; ++n) {
                probe.setText(QString::number(n));
                width = std::max(width, probe.sizeHint().width());
            }
            return width;
        };
        while (font.pointSizeF() > 6 && widest() > kMemberNumberRoom)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        m_numberFont = font;
    }
    return m_numberFont;
}

void TSettingsForm::ShowCounter()
{
    if (Label3)
        Label3->setText(QString::number(MemberCount[CurrentCategory]) + QStringLiteral(" / ") +
                        QString::number(kMaxLinks));
}

void TSettingsForm::ResetCounter()
{
    if (Label3)
        Label3->setText(QStringLiteral("0 / ") + QString::number(kMaxLinks));
}

void TSettingsForm::setVisible(bool visible)
{
    // Centred on the screen the main window is on, not over the window,
    // which sits at an edge of it.
    if (visible && !isVisible()) {
        EnsureBuilt();
        const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen)
            move(screen->availableGeometry().center() - rect().center());
    }
    QDialog::setVisible(visible);
}

void TSettingsForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TSettingsForm::done(int result)
{
    if (!m_closing) {
        m_closing = true;
        FormClose();
        m_closing = false;
    }
    QDialog::done(result);
}

void TSettingsForm::LoadCategoryFields(int c)
{
    const CategoryRecord &cat = KVOP->categories[c];
    CatIndexPanel->setText(QStringLiteral("Category: ") + QString::number(c + 1));
    CatNameEdit->setText(ModelText(cat.name));
    CatDescMemo->clear();
    CatDescMemo->setPlainText(ModelText(cat.description));
    CatColorShape->setBrushColor(TColorFromColour(cat.colour));
    LinkColorShape->setBrushColor(TColorFromColour(cat.linkColour));
    const QSignalBlocker quiet(CatTypeDropDown);
    CatTypeDropDown->setCurrentIndex(KVUIOperationClass::IsValidCategoryType(cat.type) ? cat.type : -1);
    ShowCounter();
}

TKVCategoryPanel *TSettingsForm::RowAt(int slot)
{
    if (!Rows[slot])
        Rows[slot] = new TKVCategoryPanel(slot, TargetContent, this, CurrentCategory);
    return Rows[slot];
}

void TSettingsForm::LoadAllRows()
{
    // One repaint for the lot, not one per row.
    TargetBox->setUpdatesEnabled(false);
    for (int slot = 0; slot < kMaxLinks; ++slot)
        RowAt(slot)->LoadRow(CurrentCategory, slot, true, true);
    FitContent();
    TargetBox->setUpdatesEnabled(true);
}

void TSettingsForm::FormShow()
{
    if (!KVOP)
        return;
    OKPressed = false;
    if (LinkLabel->toolTip().isEmpty())
        LinkLabel->setToolTip(QString::fromStdString(KVUIOperationClass::GetHomePageURL()));
    CurrentCategory = 0;
    LoadCategoryFields(0);
    LoadSettingsPage();
    TargetBox->verticalScrollBar()->setValue(0);
    LoadAllRows();
    FillFontLists();
    UpdateColourShapes();
    FitRowWidths();
    UpdateCategoryControls();
}

void TSettingsForm::FormClose()
{
    FreeRows();
    for (int &n : MemberCount)
        n = 0;
    ResetCounter();
    for (TKVFontList *list : {TitleFontCombo, HeadingFontCombo, LinkFontCombo})
        if (list)
            list->clear();
}

void TSettingsForm::FreeRows()
{
    for (TKVCategoryPanel *&row : Rows) {
        delete row;
        row = nullptr;
    }
    if (TargetContent)
        TargetContent->resize(TargetContent->width(), 0);
}

void TSettingsForm::FitContent()
{
    int bottom = 0;
    for (TKVCategoryPanel *row : Rows)
        if (row && row->isVisibleTo(TargetContent))
            bottom = std::max(bottom, row->y() + row->height());
    TargetContent->resize(TargetBox->viewport()->width(), bottom + 1);
}

void TSettingsForm::FitRowWidths()
{
    if (!TargetBox)
        return;
    FitContent();
    const int width = TargetBox->viewport()->width();
    const int shown = ShownRowCount();
    for (int slot = 0; slot < shown; ++slot)
        if (Rows[slot] && Rows[slot]->width() != width)
            Rows[slot]->PlaceAt(width);
    if (TargetContent->width() != width)
        TargetContent->resize(width, TargetContent->height());
}

int TSettingsForm::EffectiveRowType(int slot) const
{
    const int type = CatTypeDropDown->currentIndex();
    if (type == ctMultiple && Rows[slot])
        return Rows[slot]->TypeDropDown->currentIndex();
    return type;
}

void TSettingsForm::UpdateCategoryControls()
{
    if (!PageControl || !KVOP)
        return;
    const int count = MemberCount[CurrentCategory];
    const bool prev = CurrentCategory > 0, next = CurrentCategory < kMaxCategories - 1;
    // An arrow disabled under the keyboard focus would hand the focus on to
    // the next control in the tab order, the category's name, with its text
    // selected: the next key would overwrite the name. The other arrow takes
    // the focus instead.
    if (!next && NextCatButton->hasFocus())
        PrevCatButton->setFocus();
    if (!prev && PrevCatButton->hasFocus())
        NextCatButton->setFocus();
    PrevCatButton->setEnabled(prev);
    NextCatButton->setEnabled(next);
    AddLinkButton->setEnabled(count < kMaxLinks);
    ClearLinksButton->setEnabled(count > 0);
    const bool multiple = CatTypeDropDown->currentIndex() == ctMultiple;
    for (int i = 0; i < count && i < kMaxLinks; ++i) {
        TKVCategoryPanel *row = Rows[i];
        if (!row)
            continue;
        row->TypeDropDown->setEnabled(multiple);
        // A row loaded before its category had a type shows none; offered
        // for choice, it starts at "Applications", as the add-link dialog's
        // does, so that no member is stored without a type.
        if (multiple && (row->TypeDropDown->currentIndex() < 0 || row->TypeDropDown->currentIndex() >= ctMultiple)) {
            const QSignalBlocker quiet(row->TypeDropDown);
            row->TypeDropDown->setCurrentIndex(ctApplications);
        }
        const int type = EffectiveRowType(i);
        row->PathBrowseButton->setEnabled(type == ctApplications || type == ctFiles || type == ctGames);
        row->UpButton->setVisible(i > 0);
        row->DownButton->setVisible(i < count - 1);
    }
}

int TSettingsForm::ShownRowCount() const
{
    int n = 0;
    while (n < kMaxLinks && (!Rows[n] || Rows[n]->isVisibleTo(TargetContent)))
        ++n;
    return n;
}

bool TSettingsForm::HasIncompleteRows() const
{
    const int shown = ShownRowCount();
    for (int i = 0; i < shown; ++i) {
        const TKVCategoryPanel *row = Rows[i];
        if (row && row->isVisibleTo(TargetContent) &&
            (row->NameEdit->text().isEmpty() || row->PathEdit->text().isEmpty()))
            return true;
    }
    return false;
}

bool TSettingsForm::IsNewCategory() const
{
    return KVOP && CurrentCategory == KVOP->FirstFreeCategory();
}

bool TSettingsForm::UntouchedNewCategory() const
{
    return ShownRowCount() == 1 && HasIncompleteRows() && IsNewCategory();
}

void TSettingsForm::WriteBackCategory()
{
    CategoryRecord &cat = KVOP->categories[CurrentCategory];
    const bool locked = cat.lockedOpen;
    const bool expanded = cat.expanded;
    KVOP->ClearCategory(CurrentCategory);
    cat.lockedOpen = locked;
    cat.expanded = expanded;
    SetModelText(cat.name, CatNameEdit->text());
    SetModelText(cat.description, CatDescMemo->toPlainText());
    cat.type = CatTypeDropDown->currentIndex();
    cat.colour = ColourFromTColor(CatColorShape->brushColor());
    cat.linkColour = ColourFromTColor(LinkColorShape->brushColor());
    for (int i = 0; i < MemberCount[CurrentCategory] && i < kMaxLinks; ++i) {
        LinkRecord &link = cat.links[i];
        if (const TKVCategoryPanel *row = Rows[i]) {
            SetModelText(link.name, row->NameEdit->text());
            SetModelText(link.path, row->PathEdit->text());
            link.type = LinkTypeInCategory(cat.type, row->TypeDropDown->currentIndex());
        }
        link.used = 1;
    }
}

void TSettingsForm::SwitchCategory(int n)
{
    if (n < 0 || n >= kMaxCategories || !KVOP)
        return;
    WriteBackCategory();
    CurrentCategory = n;
    LoadCategoryFields(n);
    TargetBox->setUpdatesEnabled(false);
    if (MemberCount[n] == 0)
        AddLinkButtonClick();
    if (!KVOP) {
        TargetBox->setUpdatesEnabled(true);
        return; // the program closed under a message
    }
    for (int slot = 0; slot < kMaxLinks; ++slot)
        RowAt(slot)->LoadRow(n, slot, true, true);
    TargetBox->verticalScrollBar()->setValue(0);
    FitRowWidths();
    TargetBox->setUpdatesEnabled(true);
    UpdateCategoryControls();
}

void TSettingsForm::AddLinkButtonClick()
{
    if (!KVOP)
        return;
    if (HasIncompleteRows()) {
        Warn(this, QStringLiteral("Please complete the current Category Members before adding more."),
             kInputError);
        return;
    }
    const int c = CurrentCategory;
    if (MemberCount[c] < kMaxLinks) {
        const int k = MemberCount[c];
        TKVCategoryPanel *row = RowAt(k);
        row->LoadRow(c, k, true, true);
        row->show();
        ++MemberCount[c];
        ShowCounter();
        FitContent();
        TargetBox->ensureWidgetVisible(row, 0, 0);
    } else {
        // The button is disabled at 50; a call that still gets here is told why.
        Warn(this, QStringLiteral("There is no room for another member: a category holds at most 50."),
             kInputError);
    }
    FitRowWidths();
    UpdateCategoryControls();
}

void TSettingsForm::ClearLinksButtonClick()
{
    FreeRows();
    MemberCount[CurrentCategory] = 0;
    ResetCounter();
    UpdateCategoryControls();
}

void TSettingsForm::CatNameEditChange()
{
    if (KVOP)
        SetModelText(KVOP->categories[CurrentCategory].name, CatNameEdit->text());
    UpdateCategoryControls();
}

void TSettingsForm::CatTypeComboChange()
{
    UpdateCategoryControls();
}

void TSettingsForm::CatColourButtonClick()
{
    TColor chosen = 0;
    if (!KVOP ||
        !forms::PickColour(this, TColorFromColour(KVOP->categories[CurrentCategory].colour), &chosen) ||
        !KVOP)
        return;
    KVOP->categories[CurrentCategory].colour = ColourFromTColor(chosen);
    CatColorShape->setBrushColor(chosen);
}

void TSettingsForm::LinksColourButtonClick()
{
    TColor chosen = 0;
    if (!KVOP ||
        !forms::PickColour(this, TColorFromColour(KVOP->categories[CurrentCategory].linkColour), &chosen) ||
        !KVOP)
        return;
    KVOP->categories[CurrentCategory].linkColour = ColourFromTColor(chosen);
    LinkColorShape->setBrushColor(chosen);
    const int shown = ShownRowCount();
    for (int slot = 0; slot < shown; ++slot)
        if (Rows[slot])
            Rows[slot]->LoadRow(-1, -1, true, false);
}

bool TSettingsForm::CheckCategory(const char *incompleteMessage)
{
    if (CatNameEdit->text().isEmpty()) {
        Warn(this, QStringLiteral("Please fill in the Category Name field."), kInputError);
        return false;
    }
    if (!KVUIOperationClass::IsValidCategoryType(CatTypeDropDown->currentIndex())) {
        Warn(this, QStringLiteral("Please choose a valid Category Type."), kInputError);
        return false;
    }
    if (HasIncompleteRows()) {
        Warn(this, QString::fromLatin1(incompleteMessage), kInputError);
        return false;
    }
    return true;
}

void TSettingsForm::PrevCatButtonClick()
{
    if (!UntouchedNewCategory() && !CheckCategory("Please complete the current Category Members."))
        return;
    SwitchCategory(CurrentCategory - 1);
}

void TSettingsForm::NextCatButtonClick()
{
    if (!CheckCategory("Please complete the current Category Members."))
        return;
    // The button is disabled on the last slot; a call that still gets here
    // is told why nothing happens.
    if (CurrentCategory >= kMaxCategories - 1) {
        Warn(this, QStringLiteral("There is no room for another category: Kestrava holds at most 20."),
             kInputError);
        return;
    }
    SwitchCategory(CurrentCategory + 1);
}

void TSettingsForm::OKButtonClick()
{
    if (!KVOP)
        return;
    if (AppNameEdit->text().isEmpty()) {
        Warn(this, QStringLiteral("Please enter a Program Name."), kInputError);
        SelectPage(2);
        return;
    }
    if (!UntouchedNewCategory()) {
        if (!CheckCategory("Please complete the current Category Members before continuing.")) {
            SelectPage(1);
            return;
        }
        WriteBackCategory();
    }
    StorePages();
    OKPressed = true;
    accept();
}

void TSettingsForm::CancelButtonClick()
{
    OKPressed = false;
    reject();
}

bool TSettingsForm::eventFilter(QObject *watched, QEvent *e)
{
    if (LinkLabel && watched == LinkLabel &&
        (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease)) {
        const auto *m = static_cast<QMouseEvent *>(e);
        if (e->type() == QEvent::MouseButtonPress && m->button() == Qt::LeftButton)
            LinkLabelMouseDown();
        else if (e->type() == QEvent::MouseButtonRelease && m->button() == Qt::LeftButton) {
            // A press dragged off the link is no click.
            if (LinkLabel->rect().contains(m->position().toPoint()))
                LinkLabelMouseUp();
            else
                SetFontColor(LinkLabel, kLinkColour);
        }
    }
    if (TargetBox && watched == TargetBox->viewport() && e->type() == QEvent::Resize)
        FitRowWidths();
    return QDialog::eventFilter(watched, e);
}
