#include "MemberRows.h"

#include <algorithm>

#include <QLabel>

#include "CategoryTypeDropDown.h"
#include "Dialogs.h"
#include "Forms.h"
#include "SettingsFormUnit.h"

using namespace forms;

namespace {

constexpr TColor kRowText = 0x1E1E1E; // red, green and blue 30

LinkRecord &LinkOf(const TSettingsForm *form, int index)
{
    return KVOP->categories[form->CurrentCategory].links[index];
}

} // namespace

QString BrowseFilterFor(int linkType)
{
    // The open-file dialog shows "Executables" as the files the user may
    // start: those with the execute bit, and desktop entries.
    return linkType == ctFiles ? QStringLiteral("All Files (*.*)|*.*")
                               : QStringLiteral("Executables (*.exe)|*.exe");
}

TKVLabeledEdit::TKVLabeledEdit(QWidget *parent, const QString &caption) : QLineEdit(parent)
{
    EditLabel = new QLabel(caption, parent);
    EditLabel->setTextFormat(Qt::PlainText);
    QFont bold = EditLabel->font();
    bold.setBold(true);
    EditLabel->setFont(bold);
    SetFontColor(this, kRowText);
}

TKVNameLabeledEdit::TKVNameLabeledEdit(QWidget *parent, TSettingsForm *form)
    : TKVLabeledEdit(parent, QStringLiteral("Short Name:"))
{
    LimitToFieldBytes(this, sizeof(LinkRecord::name) - 1);
    connect(this, &QLineEdit::textEdited, this, [this, form](const QString &text) {
        if (KVOP)
            SetModelText(LinkOf(form, LinkIndex).name, text);
    });
}

TKVURLLabeledEdit::TKVURLLabeledEdit(QWidget *parent, TSettingsForm *form)
    : TKVLabeledEdit(parent, QStringLiteral("Path/URL:"))
{
    LimitToFieldBytes(this, sizeof(LinkRecord::path) - 1);
    connect(this, &QLineEdit::textEdited, this, [this, form](const QString &text) {
        if (KVOP)
            SetModelText(LinkOf(form, LinkIndex).path, text);
    });
}

TKVSpecialPanelButton::TKVSpecialPanelButton(QWidget *parent, const QString &hint, int image)
    : TSpeedButton(parent)
{
    setToolTip(hint);
    resize(15, 15);
    auto *images = KVOP ? static_cast<TImageList *>(KVOP->iconImages) : nullptr;
    if (images && image < images->Count())
        setGlyph(images->Image(image));
}

TKVPanelUpButton::TKVPanelUpButton(QWidget *parent)
    : TKVSpecialPanelButton(parent, QStringLiteral("Click to move this link upwards."), 0)
{
}

TKVPanelDownButton::TKVPanelDownButton(QWidget *parent)
    : TKVSpecialPanelButton(parent, QStringLiteral("Click to move this link downwards."), 1)
{
}

TKVPanelDeleteButton::TKVPanelDeleteButton(QWidget *parent)
    : TKVSpecialPanelButton(parent, QStringLiteral("Click to delete this link."), 4)
{
}

// The row takes the link colour; its captions and number keep their
// designed dark text where that reads on it, and turn light on a dark one.
void TKVCategoryPanel::ApplyRowColour(TColor colour)
{
    SetPanelColor(this, colour);
    const TColor text = ReadableTextColor(kRowText, colour);
    for (QWidget *caption : {static_cast<QWidget *>(NameEdit->EditLabel), static_cast<QWidget *>(PathEdit->EditLabel),
                             static_cast<QWidget *>(TypeLabel), static_cast<QWidget *>(NumberLabel)})
        SetFontColor(caption, text);
}

TKVCategoryPanel::TKVCategoryPanel(int linkIndex, QWidget *parent, TSettingsForm *form, int category)
    : QWidget(parent), LinkIndex(linkIndex), CategoryIndex(category), m_form(form)
{
    hide();

    NameEdit = new TKVNameLabeledEdit(this, form);
    NameEdit->LinkIndex = linkIndex;
    PathBrowseButton = new TKVCategoryPanelButton(QStringLiteral("Browse"), this);
    PathBrowseButton->LinkIndex = linkIndex;
    PathBrowseButton->setFont(DialogFont());
    SetFontColor(PathBrowseButton, kRowText);
    PathEdit = new TKVURLLabeledEdit(this, form);
    PathEdit->LinkIndex = linkIndex;

    NumberLabel = new QLabel(QString::number(linkIndex + 1), this);
    NumberLabel->setFont(form->MemberNumberFont());
    SetFontColor(NumberLabel, kRowText);

    DeleteButton = new TKVPanelDeleteButton(this);
    DownButton = new TKVPanelDownButton(this);
    UpButton = new TKVPanelUpButton(this);
    for (TKVSpecialPanelButton *b :
         {static_cast<TKVSpecialPanelButton *>(DeleteButton),
          static_cast<TKVSpecialPanelButton *>(DownButton), static_cast<TKVSpecialPanelButton *>(UpButton)})
        b->LinkIndex = linkIndex;

    TypeDropDown = new TKVCategoryTypeDropDown(this);
    TypeDropDown->RemoveMultiple();
    TypeLabel = new QLabel(QStringLiteral("Link Type:"), this);
    TypeLabel->setFont(NameEdit->EditLabel->font());
    ApplyRowColour(TColorFromColour(KVOP->categories[form->CurrentCategory].linkColour));

    connect(PathBrowseButton, &QPushButton::clicked, this, [this] { PathBrowseButtonClick(); });
    connect(UpButton, &QAbstractButton::clicked, this, [this] { UpButtonClick(); });
    connect(DownButton, &QAbstractButton::clicked, this, [this] { DownButtonClick(); });
    connect(DeleteButton, &QAbstractButton::clicked, this, [this] { DeleteButtonClick(); });
    connect(TypeDropDown, &QComboBox::currentIndexChanged, form, [form] { form->CatTypeComboChange(); });

    PlaceAt(parent->width());
    SetAnchors(this, akLeft | akTop | akRight);
    form->ShowCounter();
}

void TKVCategoryPanel::PlaceAt(int width)
{
    const int height = LayoutMemberRow(m_form->RowMetrics()).height;
    SetBounds(this, 0, MemberRowTop(LinkIndex, height), width, height);
    LayOut();
}

void TKVCategoryPanel::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    LayOut(); // the box's scroll bar came or went
}

void TKVCategoryPanel::LayOut()
{
    MemberRowMetrics m = m_form->RowMetrics();
    m.rowWidth = width();
    const QSize number = NumberLabel->sizeHint();
    m.numberWidth = number.width();
    m.numberHeight = number.height();
    const MemberRowLayout r = LayoutMemberRow(m);
    const auto place = [](QWidget *w, const EditorRect &g) {
        w->setGeometry(g.left, g.top, g.width, g.height);
    };
    place(NameEdit, r.nameEdit);
    place(NameEdit->EditLabel, r.nameLabel);
    place(PathEdit, r.pathEdit);
    place(PathEdit->EditLabel, r.pathLabel);
    place(PathBrowseButton, r.browse);
    place(NumberLabel, r.number);
    place(DeleteButton, r.deleteButton);
    place(DownButton, r.downButton);
    place(UpButton, r.upButton);
    place(TypeDropDown, r.typeDropDown);
    place(TypeLabel, r.typeLabel);
}

void TKVCategoryPanel::LoadRow(int category, int index, bool applyColour, bool loadText)
{
    if (index != -1)
        LinkIndex = index;
    if (category != -1)
        CategoryIndex = category;
    const CategoryRecord &cat = KVOP->categories[CategoryIndex];
    const LinkRecord &link = cat.links[LinkIndex];
    if (loadText) {
        NameEdit->setText(ModelText(link.name));
        PathEdit->setText(ModelText(link.path));
        NameEdit->setCursorPosition(0);
        PathEdit->setCursorPosition(0);
    }
    if (applyColour)
        ApplyRowColour(TColorFromColour(cat.linkColour));
    NameEdit->LinkIndex = PathEdit->LinkIndex = LinkIndex;
    PathBrowseButton->LinkIndex = LinkIndex;
    DeleteButton->LinkIndex = DownButton->LinkIndex = UpButton->LinkIndex = LinkIndex;
    const QString number = QString::number(LinkIndex + 1);
    if (NumberLabel->text() != number) {
        NumberLabel->setText(number);
        LayOut();
    }
    {
        const QSignalBlocker quiet(TypeDropDown);
        const int categoryType = m_form->CatTypeDropDown->currentIndex();
        TypeDropDown->setCurrentIndex(categoryType == ctMultiple ? link.type : categoryType);
    }
    // Members counted by the form stay in view: one added since the category
    // was last stored is not marked used in the model yet.
    const int n =
        std::max(KVOP->LinkCount(m_form->CurrentCategory), m_form->MemberCount[m_form->CurrentCategory]);
    setVisible(n > LinkIndex || (LinkIndex == 0 && n == 0));
}

void TKVCategoryPanel::MoveTo(int otherIndex)
{
    const int c = m_form->CurrentCategory;
    if (otherIndex < 0 || otherIndex >= kMaxLinks)
        return;
    KVUIOperationClass::SwapLinks(KVOP->categories[c].links[LinkIndex],
                                  KVOP->categories[c].links[otherIndex]);
    LoadRow(-1, -1, false, true);
    if (TKVCategoryPanel *other = m_form->Rows[otherIndex])
        other->LoadRow(-1, -1, false, true);
    m_form->UpdateCategoryControls();
}

void TKVCategoryPanel::UpButtonClick()
{
    MoveTo(LinkIndex - 1);
}

void TKVCategoryPanel::DownButtonClick()
{
    MoveTo(LinkIndex + 1);
}

void TKVCategoryPanel::DeleteButtonClick()
{
    const int c = m_form->CurrentCategory;
    KVOP->DeleteLink(c, LinkIndex);
    m_form->MemberCount[c] = KVOP->LinkCount(c);
    for (int slot = 0; slot < kMaxLinks; ++slot) {
        if (!m_form->Rows[slot])
            m_form->Rows[slot] = new TKVCategoryPanel(slot, m_form->TargetContent, m_form, c);
        m_form->Rows[slot]->LoadRow(-1, -1, false, true);
    }
    m_form->ShowCounter();
    m_form->FitRowWidths();
    m_form->UpdateCategoryControls();
}

void TKVCategoryPanel::PathBrowseButtonClick()
{
    const int type = m_form->EffectiveRowType(LinkIndex);
    QString file;
    if (!OpenFileName(m_form, BrowseFilterFor(type), &file) || !KVOP)
        return;
    SetModelText(LinkOf(m_form, LinkIndex).path, file);
    PathEdit->setText(ModelText(LinkOf(m_form, LinkIndex).path));
}
