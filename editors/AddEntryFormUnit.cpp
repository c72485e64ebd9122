#include "AddEntryFormUnit.h"

#include <algorithm>
#include <initializer_list>

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

#include "AddEntryState.h"
#include "CategoryTypeDropDown.h"
#include "Controls.h"
#include "Dialogs.h"
#include "Forms.h"
#include "MemberRows.h"

using namespace forms;

TAddEntryForm *AddEntryForm = nullptr;

namespace {

constexpr int kClientWidth = 306;
// The model's fields end in a NUL: 49 and 1999 bytes of text.
constexpr int kShortNameChars = 49;
constexpr int kTargetChars = 1999;
// The least room between a caption and the control it names.
constexpr int kCaptionGap = 6;

const QString kCaption = QStringLiteral("Add link to section: ");

TLabel *MakeLabel(QWidget *parent, const QString &caption, int left, int top)
{
    auto *label = new TLabel(parent);
    label->setCaption(caption);
    SetBounds(label, left, top, 0, 0);
    label->setAutoSize(true);
    return label;
}

QPushButton *MakeButton(QWidget *parent, const QString &caption, int left, int top, int width)
{
    auto *button = new QPushButton(caption, parent);
    SetBounds(button, left, top, width, 25);
    return button;
}

// A label beside its control sits on the control's middle line.
void CentreOn(QWidget *label, const QWidget *control)
{
    SetTop(label, control->y() + control->height() / 2 - label->height() / 2);
}

} // namespace

TAddEntryForm::TAddEntryForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    for (int &type : SectionTypes)
        type = ctUnused;
    setWindowTitle(kCaption);
}

TAddEntryForm::~TAddEntryForm()
{
    if (AddEntryForm == this)
        AddEntryForm = nullptr;
}

void TAddEntryForm::EnsureBuilt()
{
    if (SectionChoice)
        return;
    setFont(DialogFont());
    // The width first: anchored controls measure their distance from the
    // right edge of the finished dialog.
    resize(kClientWidth, height());

    LinkSectionLabel = MakeLabel(this, QStringLiteral("Section:"), 7, 10);
    SectionChoice = new QComboBox(this);
    SetBounds(SectionChoice, 73, 7, 127, 21);
    LinkNameLabel = MakeLabel(this, QStringLiteral("Short name:"), 7, 36);
    ShortNameEdit = new QLineEdit(this);
    LimitToFieldBytes(ShortNameEdit, kShortNameChars);
    SetBounds(ShortNameEdit, 73, 33, 225, 21);
    LinkTypeLabel = MakeLabel(this, QStringLiteral("Type:"), 7, 64);
    LinkURLLabel = MakeLabel(this, QStringLiteral("Target/URL:"), 7, 89);
    URLEdit = new QLineEdit(this);
    LimitToFieldBytes(URLEdit, kTargetChars);
    SetBounds(URLEdit, 7, 109, 291, 21);
    BrowseButton = MakeButton(this, QStringLiteral("Browse"), 6, 140, 74);
    CancelButton = MakeButton(this, QStringLiteral("Cancel"), 143, 140, 75);
    AddEntryOK = MakeButton(this, QStringLiteral("OK"), 224, 140, 75);
    AddEntryOK->setDefault(true);

    // The dialog was drawn for a narrower font than the one standing in for
    // it here. Rather than run under their controls, they push the
    // column of controls right; the name edit keeps its right edge.
    int captionsRight = 0;
    for (const QWidget *label : {LinkSectionLabel, LinkNameLabel, LinkTypeLabel})
        captionsRight = std::max(captionsRight, label->x() + label->width());
    const int shift = std::max(0, captionsRight + kCaptionGap - SectionChoice->x());
    SetLeft(SectionChoice, SectionChoice->x() + shift);
    SetBounds(ShortNameEdit, ShortNameEdit->x() + shift, ShortNameEdit->y(), ShortNameEdit->width() - shift,
              ShortNameEdit->height());

    TypeChoice = new TKVCategoryTypeDropDown(this);
    TypeChoice->RemoveMultiple();
    TypeChoice->setCurrentIndex(0);
    SetBounds(TypeChoice, SectionChoice->x(), 0, SectionChoice->width(), 21);

    // The designed gap between the first two rows spaces every row, so the
    // dialog keeps its proportions whatever height the labels' font gives.
    const int g = ShortNameEdit->y() - (SectionChoice->y() + SectionChoice->height());
    SetTop(SectionChoice, g);
    QWidget *previous = SectionChoice;
    for (QWidget *w :
         std::initializer_list<QWidget *>{ShortNameEdit, TypeChoice, LinkURLLabel, URLEdit, BrowseButton}) {
        SetTop(w, previous->y() + previous->height() + g);
        previous = w;
    }
    SetTop(AddEntryOK, BrowseButton->y());
    SetTop(CancelButton, BrowseButton->y());
    CentreOn(LinkSectionLabel, SectionChoice);
    CentreOn(LinkNameLabel, ShortNameEdit);
    CentreOn(LinkTypeLabel, TypeChoice);
    SetAnchors(LinkURLLabel, akLeft | akTop | akRight);
    SetAnchors(URLEdit, akLeft | akTop | akRight);
    setFixedSize(kClientWidth, CancelButton->y() + CancelButton->height() + g);

    // Tab order follows the rows, not the order the controls were made in.
    setTabOrder(SectionChoice, ShortNameEdit);
    setTabOrder(ShortNameEdit, TypeChoice);
    setTabOrder(TypeChoice, URLEdit);
    setTabOrder(URLEdit, BrowseButton);
    setTabOrder(BrowseButton, CancelButton);
    setTabOrder(CancelButton, AddEntryOK);

    connect(SectionChoice, &QComboBox::currentIndexChanged, this, &TAddEntryForm::SectionChoiceChange);
    connect(ShortNameEdit, &QLineEdit::textChanged, this, &TAddEntryForm::ShortNameEditChange);
    connect(URLEdit, &QLineEdit::textChanged, this, &TAddEntryForm::URLEditChange);
    connect(TypeChoice, &QComboBox::currentIndexChanged, this, &TAddEntryForm::ShortNameEditChange);
    connect(BrowseButton, &QPushButton::clicked, this, &TAddEntryForm::BrowseButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TAddEntryForm::CancelButtonClick);
    connect(AddEntryOK, &QPushButton::clicked, this, &TAddEntryForm::AddEntryOKClick);
}

void TAddEntryForm::Prepare(int clickedCategory)
{
    EnsureBuilt();
    const int count = KVOP ? KVOP->CategoryCount() : 0;
    {
        // One update once the list is whole, not one per entry on the way.
        const QSignalBlocker blocker(SectionChoice);
        SectionChoice->clear();
        for (int c = 0; c < kMaxCategories; ++c) {
            SectionTypes[c] = c < count ? KVOP->categories[c].type : ctUnused;
            if (c < count)
                SectionChoice->addItem(ModelText(KVOP->categories[c].name));
        }
        SectionChoice->setCurrentIndex(clickedCategory >= 0 && clickedCategory < count ? clickedCategory
                                                                                       : -1);
    }
    ShortNameEdit->clear();
    URLEdit->clear();
    // The section is chosen by the click that opened the dialog: typing
    // starts with the name.
    ShortNameEdit->setFocus();
    UpdateAddEntryState();
}

int TAddEntryForm::LinkType() const
{
    if (!SectionChoice)
        return ctUnused;
    return EffectiveLinkType(SectionChoice->currentIndex(), SectionTypes, TypeChoice->currentIndex());
}

void TAddEntryForm::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        EnsureBuilt();
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
    }
    QDialog::setVisible(visible);
}

void TAddEntryForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    FormShow();
}

void TAddEntryForm::FormShow()
{
    Accepted = false;
    UpdateAddEntryState();
}

bool TAddEntryForm::InputComplete() const
{
    const int s = SectionChoice->currentIndex();
    return !ShortNameEdit->text().isEmpty() && !URLEdit->text().isEmpty() && s >= 0 && s < kMaxCategories;
}

void TAddEntryForm::AddEntryOKClick()
{
    Accepted = InputComplete();
    done(Accepted ? QDialog::Accepted : QDialog::Rejected);
}

void TAddEntryForm::CancelButtonClick()
{
    Accepted = false;
    reject();
}

void TAddEntryForm::BrowseButtonClick()
{
    const int s = SectionChoice->currentIndex();
    if (s < 0 || s >= kMaxCategories)
        return;
    const int type = EffectiveLinkType(s, SectionTypes, TypeChoice->currentIndex());
    if (type == ctWebsites || type == ctDirectories)
        return;
    const QString filter = BrowseFilterFor(type);
    QString fileName;
    if (!OpenFileName(this, filter, &fileName))
        return;
    URLEdit->setText(fileName);
    UpdateAddEntryState();
}

void TAddEntryForm::SectionChoiceChange()
{
    UpdateAddEntryState();
}

void TAddEntryForm::ShortNameEditChange()
{
    UpdateAddEntryState();
}

void TAddEntryForm::URLEditChange()
{
    UpdateAddEntryState();
}

void TAddEntryForm::UpdateAddEntryState()
{
    if (!SectionChoice)
        return;
    setWindowTitle(kCaption + SectionChoice->currentText());
    AddEntryInput in;
    in.section = SectionChoice->currentIndex();
    in.sectionTypes = SectionTypes;
    in.typeIndex = TypeChoice->currentIndex();
    in.hasShortName = !ShortNameEdit->text().isEmpty();
    in.hasTarget = !URLEdit->text().isEmpty();
    const AddEntryState state = ::UpdateAddEntryState(in);
    AddEntryOK->setEnabled(state.okEnabled);
    TypeChoice->setEnabled(state.typeEnabled);
    {
        // What is applied here already follows from the new index.
        const QSignalBlocker blocker(TypeChoice);
        TypeChoice->setCurrentIndex(state.typeIndex);
    }
    BrowseButton->setEnabled(state.browseEnabled);
}

void TAddEntryForm::Prefill(const QString &name, const QString &target, int linkType)
{
    EnsureBuilt();
    const int s = SectionChoice->currentIndex();
    if (linkType >= ctApplications && linkType <= ctGames && s >= 0 && s < kMaxCategories &&
        SectionTypes[s] == ctMultiple)
        TypeChoice->setCurrentIndex(linkType);
    // The edits' limits apply to what is set from code too.
    ShortNameEdit->setText(QString::fromStdString(EncodeModelText(name, kShortNameChars)));
    URLEdit->setText(QString::fromStdString(EncodeModelText(target, kTargetChars)));
    ShortNameEdit->selectAll();
    UpdateAddEntryState();
}
