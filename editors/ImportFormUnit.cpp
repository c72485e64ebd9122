#include "ImportFormUnit.h"

#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

#include "Forms.h"

using namespace forms;

TImportForm *ImportForm = nullptr;

namespace {

constexpr int kImportWidth = 300; // the client area's width
constexpr int kMargin = 7;
constexpr int kListHeight = 180;
// Set on a list item: how many applications its category leaves out.
constexpr int kLeftOutRole = Qt::UserRole;

QString Plural(int n, const char *one, const char *many)
{
    return QString::number(n) + u' ' + QString::fromLatin1(n == 1 ? one : many);
}

} // namespace

TImportForm::TImportForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Import Applications"));
}

TImportForm::~TImportForm()
{
    if (ImportForm == this)
        ImportForm = nullptr;
}

void TImportForm::EnsureBuilt()
{
    if (ProposalList)
        return;
    setFont(DialogFont());
    const int inner = kImportWidth - 2 * kMargin;

    PromptLabel = new QLabel(QStringLiteral("Categories to add from the installed applications:"), this);
    PromptLabel->setTextFormat(Qt::PlainText);
    PromptLabel->setWordWrap(true);
    PromptLabel->setFixedWidth(inner);
    PromptLabel->adjustSize();
    SetBounds(PromptLabel, kMargin, kMargin, inner, PromptLabel->height());

    ProposalList = new QListWidget(this);
    ProposalList->setSelectionMode(QAbstractItemView::SingleSelection);
    SetBounds(ProposalList, kMargin, PromptLabel->y() + PromptLabel->height() + 4, inner, kListHeight);

    NoteLabel = new QLabel(this);
    NoteLabel->setTextFormat(Qt::PlainText);
    NoteLabel->setWordWrap(true);
    // Room for three lines of notes, whichever are shown.
    const int noteHeight = 3 * NoteLabel->fontMetrics().lineSpacing() + 2;
    SetBounds(NoteLabel, kMargin, ProposalList->y() + ProposalList->height() + 6, inner, noteHeight);
    NoteLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const int buttonsTop = NoteLabel->y() + NoteLabel->height() + 6;
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    SetBounds(CancelButton, kImportWidth - kMargin - 75 - 6 - 75, buttonsTop, 75, 25);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    SetBounds(OKButton, kImportWidth - kMargin - 75, buttonsTop, 75, 25);
    OKButton->setDefault(true);
    setFixedSize(kImportWidth, buttonsTop + 25 + kMargin);

    setTabOrder(ProposalList, CancelButton);
    setTabOrder(CancelButton, OKButton);

    connect(ProposalList, &QListWidget::itemChanged, this, [this] { UpdateImportState(); });
    connect(CancelButton, &QPushButton::clicked, this, &TImportForm::CancelButtonClick);
    connect(OKButton, &QPushButton::clicked, this, &TImportForm::OKButtonClick);
}

void TImportForm::Prepare(const std::vector<ImportProposal> &proposals, const std::vector<bool> &checked,
                          int freeSlots)
{
    EnsureBuilt();
    {
        const QSignalBlocker blocker(ProposalList);
        ProposalList->clear();
        for (std::size_t i = 0; i < proposals.size(); ++i) {
            const ImportProposal &p = proposals[i];
            // List items show their text as it is, never as markup.
            auto *item = new QListWidgetItem(QString::fromStdString(p.name) + QStringLiteral(" (") +
                                                 QString::number(p.links.size()) + u')',
                                             ProposalList);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(i >= checked.size() || checked[i] ? Qt::Checked : Qt::Unchecked);
            item->setData(kLeftOutRole, p.leftOut);
        }
        if (ProposalList->count() > 0)
            ProposalList->setCurrentRow(0);
    }
    m_freeSlots = freeSlots;
    ProposalList->setFocus();
    UpdateImportState();
}

std::vector<int> TImportForm::Chosen() const
{
    std::vector<int> chosen;
    if (!ProposalList)
        return chosen;
    for (int i = 0; i < ProposalList->count(); ++i)
        if (ProposalList->item(i)->checkState() == Qt::Checked)
            chosen.push_back(i);
    return chosen;
}

void TImportForm::UpdateImportState()
{
    if (!ProposalList)
        return;
    const int checked = static_cast<int>(Chosen().size());
    OKButton->setEnabled(checked > 0);

    QStringList notes;
    notes << (m_freeSlots == 1 ? QStringLiteral("Room for 1 more category.")
                               : QStringLiteral("Room for %1 more categories.").arg(m_freeSlots));
    if (checked > m_freeSlots)
        notes << QStringLiteral("Only the first %1 checked will be added.").arg(m_freeSlots);
    int leftOut = 0;
    for (int i = 0; i < ProposalList->count(); ++i)
        if (ProposalList->item(i)->checkState() == Qt::Checked)
            leftOut += ProposalList->item(i)->data(kLeftOutRole).toInt();
    if (leftOut > 0)
        notes << QStringLiteral("A category holds at most %1 links: %2 left out.")
                     .arg(kMaxLinks)
                     .arg(Plural(leftOut, "application", "applications"));
    NoteLabel->setText(notes.join(u' '));
}

void TImportForm::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        EnsureBuilt();
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
    }
    QDialog::setVisible(visible);
}

void TImportForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    Accepted = false;
}

void TImportForm::OKButtonClick()
{
    Accepted = !Chosen().empty();
    done(Accepted ? QDialog::Accepted : QDialog::Rejected);
}

void TImportForm::CancelButtonClick()
{
    Accepted = false;
    reject();
}
