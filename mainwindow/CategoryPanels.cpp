#include "CategoryPanels.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include "Dialogs.h"
#include "Execute.h"
#include "Forms.h"
#include "KVGUIFormUnit.h"
#include "LaunchPaths.h"
#include "LinkIcons.h"
#include "WindowGeometry.h"

using namespace forms;

int PanelCount = 0;

TKVGUIForm *PanelsForm()
{
    return KVGUIForm;
}

namespace {

constexpr int kHeaderHeight = 20;
constexpr int kButtonPanelWidth = 59;

QPixmap IconImage(int n)
{
    auto *images = KVOP ? static_cast<TImageList *>(KVOP->iconImages) : nullptr;
    return images ? images->Image(n) : QPixmap();
}

void RefreshLayoutOfForm(bool save)
{
    if (TKVGUIForm *form = PanelsForm())
        form->RefreshLayout(save);
}

} // namespace

// --- labels ---------------------------------------------------------------

void TKVClickableLabel::SetBounds(int left, int top, int width, int height)
{
    Repaint();
    m_widthPending = false;
    m_bounds = QRect(left, top, width, height);
    Repaint();
}

void TKVClickableLabel::Move(int left, int top)
{
    if (m_bounds.topLeft() == QPoint(left, top))
        return;
    Repaint();
    m_bounds.moveTo(left, top);
    Repaint();
}

int TKVClickableLabel::width() const
{
    if (m_widthPending) {
        m_bounds.setWidth(QFontMetrics(m_font).horizontalAdvance(m_caption) +
                          (m_iconSlot ? linkicons::kTextIndent : 0));
        m_widthPending = false;
    }
    return m_bounds.width();
}

void TKVClickableLabel::setCaption(const QString &caption)
{
    m_caption = caption;
    Fit();
    Repaint();
}

void TKVClickableLabel::setAutoSize(bool on)
{
    m_autoSize = on;
    Fit();
}

void TKVClickableLabel::setFont(const QFont &font)
{
    m_font = font;
    Fit();
    Repaint();
}

void TKVClickableLabel::setFontColour(TColor colour)
{
    m_colour = colour;
    Repaint();
}

void TKVClickableLabel::setIconSlot(bool on)
{
    if (m_iconSlot == on)
        return;
    Repaint();
    m_iconSlot = on;
    Fit();
    Repaint();
}

void TKVClickableLabel::Fit()
{
    if (!m_autoSize)
        return;
    Repaint();
    const int textHeight = QFontMetrics(m_font).height();
    m_bounds.setHeight(m_iconSlot ? std::max(textHeight, linkicons::kIconSize) : textHeight);
    m_widthPending = true;
    Repaint();
}

void TKVClickableLabel::Repaint() const
{
    if (!m_panel || !m_panel->isVisible())
        return;
    // A label whose width is not known yet may reach to the panel's edge.
    m_panel->update(m_widthPending ? QRect(m_bounds.x(), m_bounds.y(), m_panel->width(), m_bounds.height())
                                   : m_bounds);
}

void TKVClickableLabel::Paint(QPainter &p) const
{
    p.setFont(m_font);
    p.setPen(ToQColor(m_colour));
    QRect textArea = geometry();
    if (m_iconSlot) {
        textArea.setLeft(textArea.left() + linkicons::kTextIndent);
        const QIcon icon = Icon();
        if (!icon.isNull()) {
            // Drawn from a pixmap of the screen's own resolution, so that it
            // stays sharp on a scaled screen.
            const QRect at(x(), y() + (height() - linkicons::kIconSize) / 2, linkicons::kIconSize,
                           linkicons::kIconSize);
            p.drawPixmap(at, icon.pixmap(at.size(), p.device()->devicePixelRatioF()));
        }
    }
    p.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_caption);
}

void TKVClickableLabel::Underline(bool on)
{
    QFont f = m_font;
    f.setBold(BoldAtRest());
    f.setUnderline(on);
    setFont(f);
}

void TKVClickableLabel::MouseEnter()
{
    Underline(true);
}

void TKVClickableLabel::MouseLeave()
{
    Underline(false);
}

void TKVClickableLabel::MouseDown()
{
    m_pressed = true;
    savedFontColour = m_colour;
    setFontColour(0xFFFFFF);
}

void TKVClickableLabel::MouseUp(bool inside)
{
    if (!m_pressed)
        return;
    m_pressed = false;
    setFontColour(savedFontColour);
    if (inside)
        Click(); // may rebuild the panel, this label included
}

void TKVCatHeaderLabel::Click()
{
    m_panel->ToggleOpen();
}

void TKVLabel::Click()
{
    OpenLink(type, linkTarget);
}

QIcon TKVLabel::Icon() const
{
    return linkicons::IconFor(type, linkTarget);
}

// --- buttons and the check box ---------------------------------------------

TKVButton::TKVButton(QWidget *parent) : TSpeedButton(parent)
{
    connect(this, &QAbstractButton::clicked, this, [this] { Click(); });
}

void TKVButton::Click()
{
    if (TKVGUIForm *form = PanelsForm())
        form->AddLinkToCategory(categoryIndex);
}

void TKVCatDeleteButton::Click()
{
    if (TKVGUIForm *form = PanelsForm())
        form->CategoryArea->DeleteCategory(categoryIndex);
}

TKVCheckBox::TKVCheckBox(QWidget *parent) : QCheckBox(parent)
{
    setFocusPolicy(Qt::NoFocus);
    SetCheckBoxLook(this);
    // The box's Click also runs when its state is set from code.
    connect(this, &QCheckBox::toggled, this, [this] { Click(); });
}

void TKVCheckBox::Click()
{
    if (!KVOP)
        return;
    KVOP->categories[categoryIndex].lockedOpen = isChecked();
    RefreshLayoutOfForm(true);
}

TKVCatButtonPanel::TKVCatButtonPanel(QWidget *parent, int index, int type)
    : QWidget(parent), categoryIndex(index), categoryType(type)
{
    SetBounds(this, parent->width() - kButtonPanelWidth, 0, kButtonPanelWidth, kHeaderHeight);
    SetAnchors(this, akTop | akRight);
    const QString name = ModelText(KVOP->categories[index].name);

    deleteButton = new TKVCatDeleteButton(this);
    SetBounds(deleteButton, width() - 15 - 4, height() / 2 - 15 / 2, 15, 15);
    deleteButton->setGlyph(IconImage(4));
    deleteButton->setToolTip("Click to delete category: " + name);

    addButton = new TKVButton(this);
    SetBounds(addButton, deleteButton->x() - 15 - 4, deleteButton->y(), 15, 15);
    addButton->setGlyph(IconImage(5));
    addButton->setToolTip("Click to add a link to category: " + name);

    checkBox = new TKVCheckBox(this);
    SetBounds(checkBox, addButton->x() - 13 - 4, height() / 2 - 13 / 2, 13, 13);
    checkBox->setToolTip("Click to toggle \"Locked Open\" for category: " + name);

    for (TKVButton *b : {addButton, static_cast<TKVButton *>(deleteButton)}) {
        b->categoryIndex = index;
        b->categoryType = type;
    }
    checkBox->categoryIndex = index;
    {
        // Construction stores the flag it was given; no layout runs yet.
        QSignalBlocker quiet(checkBox);
        checkBox->setChecked(KVOP->categories[index].lockedOpen);
    }
    SetAnchors(checkBox, akTop | akRight);
}

void TKVCatButtonPanel::enterEvent(QEnterEvent *e)
{
    QWidget::enterEvent(e);
    // The panel sees no move once the pointer is over its button box, so
    // the header it came from would stay underlined.
    if (auto *panel = qobject_cast<TKVPanel *>(parentWidget()))
        panel->Hover(nullptr);
}

// --- the panel --------------------------------------------------------------

TKVPanel::TKVPanel(QWidget *parent, int index, int count, int type)
    : QWidget(parent), categoryType(type), categoryIndex(index), linkCount(count)
{
    const CategoryRecord &cat = KVOP->categories[index];
    open = previousOpen = cat.expanded;
    setToolTip(ModelText(cat.name));
    setAutoFillBackground(true);

    auto *area = qobject_cast<TKVParentPanel *>(
        parent->parentWidget() ? parent->parentWidget()->parentWidget() : nullptr);
    int top = 0;
    if (index > 0 && area && area->panels[index - 1])
        top = area->panels[index - 1]->y() + area->panels[index - 1]->height();
    SetBounds(this, 0, top, parent->width(), 22);
    SetAnchors(this, akLeft | akTop | akRight);

    setMouseTracking(true); // hover feedback of the labels
    setAcceptDrops(true);   // files and addresses become links
    header = new TKVCatHeaderLabel(this);
    header->SetBounds(2, 0, 10, kHeaderHeight);
    header->setFont(MakeFont(ModelText(KVOP->appearance.headingsFont), 16, true));
    header->setCaption(ModelText(cat.name));
    header->setToolTip(ModelText(cat.description));
    header->setFontColour(TColorFromColour(cat.colour));
    header->categoryIndex = index;
    header->type = type;

    buttonPanel = new TKVCatButtonPanel(this, index, type);
    checkBox = buttonPanel->checkBox;
    addButton = buttonPanel->addButton;
    deleteButton = buttonPanel->deleteButton;
    FitHeader();

    const QFont linkFont = MakeFont(ModelText(KVOP->appearance.linksFont), 11);
    for (int k = 0; k < linkCount; ++k)
        linkLabels[k] = MakeLinkLabel(k, linkFont);
    StackLinks();
    ++PanelCount;
}

TKVPanel::~TKVPanel()
{
    if (m_counted)
        --PanelCount;
    delete header;
    for (TKVLabel *label : linkLabels)
        delete label;
}

// The header spans the panel up to the button box, as its anchors would keep it.
void TKVPanel::FitHeader()
{
    header->SetBounds(header->x(), header->y(), buttonPanel->x() - 2 - header->x(), header->height());
}

void TKVPanel::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    if (header && buttonPanel)
        FitHeader();
}

void TKVPanel::Retire()
{
    if (m_counted) {
        --PanelCount;
        m_counted = false;
    }
    hide();
    deleteLater();
}

TKVLabel *TKVPanel::MakeLinkLabel(int k, const QFont &font)
{
    const CategoryRecord &cat = KVOP->categories[categoryIndex];
    const LinkRecord &link = cat.links[k];
    auto *label = new TKVLabel(this);
    label->setFont(font);
    label->linkName = ModelText(link.name);
    label->linkTarget = ModelText(link.path);
    label->setCaption(label->linkName);
    label->setAutoSize(true);
    label->setToolTip(label->linkTarget);
    label->setFontColour(TColorFromColour(cat.linkColour));
    label->categoryIndex = categoryIndex;
    label->type = LaunchTypeOf(cat.type, link.type);
    label->linkIndex = k;
    label->setIconSlot(KVOP->linkIcons);
    return label;
}

void TKVPanel::StackLinks()
{
    int y = header->y() + header->height();
    for (int k = 0; k < linkCount; ++k) {
        TKVLabel *label = linkLabels[k];
        if (!label)
            continue;
        y += 2;
        label->Move(10, y);
        y += label->height();
    }
}

void TKVPanel::RebuildPanel(int index)
{
    const CategoryRecord &cat = KVOP->categories[index];
    categoryIndex = index;
    linkCount = KVOP->LinkCount(index);
    checkBox->categoryIndex = index;
    checkBox->setChecked(cat.lockedOpen); // runs the box's Click when it changes
    open = previousOpen = cat.expanded;
    categoryType = cat.type;
    setToolTip(ModelText(cat.name));

    header->setCaption(ModelText(cat.name));
    header->setToolTip(ModelText(cat.description));
    header->setFontColour(TColorFromColour(cat.colour));
    header->categoryIndex = index;
    header->type = cat.type;
    buttonPanel->categoryIndex = index;
    buttonPanel->categoryType = cat.type;
    for (TKVButton *b : {addButton, static_cast<TKVButton *>(deleteButton)}) {
        b->categoryIndex = index;
        b->categoryType = cat.type;
    }

    // A label the mouse is on may be replaced; forget it rather than keep
    // a pointer into what goes.
    m_hovered = m_pressed = nullptr;
    const QFont linkFont = MakeFont(ModelText(KVOP->appearance.linksFont), 11);
    int y = header->y() + header->height();
    for (int k = 0; k < kMaxLinks; ++k) {
        if (k < linkCount) {
            const LinkRecord &link = cat.links[k];
            TKVLabel *label = linkLabels[k];
            if (label) {
                label->categoryIndex = index;
                label->linkIndex = k;
                label->linkName = ModelText(link.name);
                label->linkTarget = ModelText(link.path);
                label->setCaption(label->linkName);
                label->setToolTip(label->linkTarget);
                label->type = LaunchTypeOf(cat.type, link.type);
                label->setFontColour(TColorFromColour(cat.linkColour));
                label->setIconSlot(KVOP->linkIcons);
            } else {
                label = linkLabels[k] = MakeLinkLabel(k, linkFont);
            }
            y += 2;
            label->Move(10, y);
            y += label->height();
        } else if (linkLabels[k]) {
            delete linkLabels[k];
            linkLabels[k] = nullptr;
        }
    }
    update();
}

int TKVPanel::PanelHeight() const
{
    return ::PanelHeight(open, KVOP->categories[categoryIndex].lockedOpen, linkLabels[0] != nullptr,
                         KVOP->LinkCount(categoryIndex), linkLabels[0] ? linkLabels[0]->height() : 0);
}

void TKVPanel::ArrangePanel()
{
    auto *area = PanelsForm() ? PanelsForm()->CategoryArea : nullptr;
    int top = 0;
    if (categoryIndex > 0 && area && area->panels[categoryIndex - 1]) {
        const TKVPanel *prev = area->panels[categoryIndex - 1];
        top = prev->y() + prev->height() + 1;
    }
    const int h = PanelHeight();
    if (top != y() || h != height())
        SetBounds(this, x(), top, width(), h);
    if (buttonPanel->x() != width() - buttonPanel->width())
        SetLeft(buttonPanel, width() - buttonPanel->width());
    const int deleteLeft = buttonPanel->width() - deleteButton->width() - 4;
    const int addLeft = deleteLeft - addButton->width() - 4;
    const int boxLeft = addLeft - checkBox->width() - 4;
    if (deleteButton->x() != deleteLeft)
        SetLeft(deleteButton, deleteLeft);
    if (addButton->x() != addLeft)
        SetLeft(addButton, addLeft);
    if (checkBox->x() != boxLeft)
        SetLeft(checkBox, boxLeft);
}

void TKVPanel::ToggleOpen()
{
    if (checkBox->isChecked())
        return;
    previousOpen = open;
    open = linkCount < 1 ? false : !open;
    // The flag goes into the model before the layout saves it.
    KVOP->categories[categoryIndex].expanded = open;
    if (open != previousOpen) {
        RefreshLayoutOfForm(true);
        previousOpen = open;
    }
}

void TKVPanel::SetHoverOpen(bool wanted)
{
    previousOpen = open;
    if (checkBox->isChecked())
        open = true;
    else if (linkCount > 0 && open != wanted)
        open = wanted;
    KVOP->categories[categoryIndex].expanded = open;
    if (open != previousOpen) {
        RefreshLayoutOfForm(false);
        previousOpen = open;
    }
}

void TKVPanel::ApplyFonts()
{
    QFont hf = header->font();
    hf.setFamily(InstalledFamily(ModelText(KVOP->appearance.headingsFont)));
    header->setFont(hf);
    const QString links = InstalledFamily(ModelText(KVOP->appearance.linksFont));
    for (int k = 0; k < KVOP->LinkCount(categoryIndex) && k < kMaxLinks; ++k)
        if (TKVLabel *label = linkLabels[k]) {
            QFont f = label->font();
            f.setFamily(links);
            label->setFont(f);
        }
    StackLinks();
    update();
}

void TKVPanel::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::Window));
    if (!header)
        return;
    p.setPen(ToQColor(header->fontColour()));
    if ((open || checkBox->isChecked()) && linkLabels[0]) {
        QPoint at(2, header->y() + header->height() + 1);
        const int n = std::min(KVOP ? KVOP->LinkCount(categoryIndex) : 0, kMaxLinks);
        for (int k = 0; k < n; ++k) {
            const TKVLabel *label = linkLabels[k];
            if (!label)
                continue;
            const int y = label->y() + label->height() / 2;
            p.drawLine(at, QPoint(2, y));
            p.drawLine(QPoint(2, y), QPoint(label->x() - 1, y));
            at = QPoint(2, y);
        }
    }
    if (checkBox) {
        const int x = buttonPanel->x() - 1;
        const int bottom = buttonPanel->y() + buttonPanel->height();
        p.drawLine(x, 0, x, bottom);
        p.drawLine(x, bottom, width(), bottom);
    }
    if (!m_dropMark.isNull())
        p.fillRect(m_dropMark, ToQColor(header->fontColour())); // where a drop lands
    const QRect dirty = e->rect();
    header->Paint(p);
    for (const TKVLabel *label : linkLabels)
        if (label && label->y() < height() && label->y() <= dirty.bottom() &&
            label->y() + label->height() > dirty.top())
            label->Paint(p);
}

TKVClickableLabel *TKVPanel::LabelAt(QPoint p) const
{
    if (header && header->geometry().contains(p))
        return header;
    for (TKVLabel *label : linkLabels)
        if (label && label->y() < height() && label->geometry().contains(p))
            return label;
    return nullptr;
}

void TKVPanel::Hover(TKVClickableLabel *label)
{
    if (label == m_hovered)
        return;
    if (m_hovered)
        m_hovered->MouseLeave();
    m_hovered = label;
    if (label) {
        label->MouseEnter();
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void TKVPanel::mouseMoveEvent(QMouseEvent *e)
{
    Hover(LabelAt(e->position().toPoint()));
}

void TKVPanel::leaveEvent(QEvent *e)
{
    QWidget::leaveEvent(e);
    Hover(nullptr);
}

void TKVPanel::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_pressed = LabelAt(e->position().toPoint());
    if (m_pressed)
        m_pressed->MouseDown();
}

void TKVPanel::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || !m_pressed)
        return;
    TKVClickableLabel *label = m_pressed;
    m_pressed = nullptr;
    label->MouseUp(LabelAt(e->position().toPoint()) == label);
}

bool TKVPanel::HintAt(QPoint pos, QString &hint, QRect &area) const
{
    const TKVClickableLabel *label = LabelAt(pos);
    if (!label)
        return false;
    hint = label->toolTip();
    area = label->geometry();
    return true;
}

void TKVPanel::mouseDoubleClickEvent(QMouseEvent *e)
{
    // The second press of a double click is no second click, as with the
    // form library's labels: a link starts once, a header folds once.
    e->accept();
}

// --- the area ---------------------------------------------------------------

TKVParentPanel::TKVParentPanel(QWidget *parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(8);
    setWidgetResizable(false);
    setToolTip(QStringLiteral("Category Area"));
    auto *content = new QWidget;
    content->setAutoFillBackground(false);
    setWidget(content);
    UpdateContentSize();
}

TKVParentPanel::~TKVParentPanel() = default;

int TKVParentPanel::VertPosition() const
{
    return verticalScrollBar()->value();
}

void TKVParentPanel::SetVertPosition(int y)
{
    verticalScrollBar()->setValue(y);
}

void TKVParentPanel::WheelScroll(int delta)
{
    constexpr int kNotch = 120;
    // A turn back the other way starts afresh.
    if ((delta > 0 && m_wheelRest < 0) || (delta < 0 && m_wheelRest > 0))
        m_wheelRest = 0;
    m_wheelRest += delta;
    const int notches = m_wheelRest / kNotch;
    m_wheelRest %= kNotch;
    if (notches != 0)
        SetVertPosition(VertPosition() - notches * verticalScrollBar()->singleStep());
}

void TKVParentPanel::UpdateContentSize()
{
    QWidget *content = widget();
    int bottom = 0;
    for (const TKVPanel *p : panels)
        if (p)
            bottom = std::max(bottom, p->y() + p->height());
    const QSize size(viewport()->width(), bottom);
    if (content->size() != size) {
        content->resize(size);
        ApplyAnchors(content);
    }
}

void TKVParentPanel::resizeEvent(QResizeEvent *e)
{
    QScrollArea::resizeEvent(e);
    UpdateContentSize();
}

TKVPanel *TKVParentPanel::CreatePanel(int i)
{
    auto *panel = new TKVPanel(widget(), i, KVOP->LinkCount(i), KVOP->categories[i].type);
    panels[i] = panel;
    panel->show();
    UpdateContentSize();
    return panel;
}

void TKVParentPanel::DeleteCategory(int d)
{
    if (!forms::Confirm(PanelsForm(), QStringLiteral("Do you really want to delete this category?"),
                        QStringLiteral("Delete Category")) ||
        !KVOP || d < 0 || d >= PanelCount || !panels[d])
        return; // the program may have closed while the question was open
    TKVPanel *doomed = panels[d];
    const int count = PanelCount;
    for (int j = d; j < count; ++j) {
        if (j + 1 < kMaxCategories) {
            KVOP->CopyCategory(j, j + 1);
            KVOP->ClearCategory(j + 1);
        } else {
            KVOP->ClearCategory(j);
        }
        if (j + 1 < count) {
            panels[j] = panels[j + 1];
            panels[j]->RebuildPanel(j);
        } else {
            panels[j] = nullptr;
        }
    }
    doomed->Retire();
    UpdateContentSize();
    RefreshLayoutOfForm(true);
}
