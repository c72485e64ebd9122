// Files, folders and web addresses dropped on the window: on a category
// panel they become links of that category, on the title strip a new
// category. What the drag carries is examined here; which links are made
// and what is refused is decided by LinkDrops.

#include <sys/stat.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "AddEntryFormUnit.h"
#include "CategoryPanels.h"
#include "DesktopEntries.h"
#include "Dialogs.h"
#include "Forms.h"
#include "KVGUIFormUnit.h"
#include "LinkDrops.h"

using namespace forms;

namespace {

bool IsWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

// The addresses a drag carries: its URI list, or else the lines of its plain
// text that are web addresses (what a browser's address bar gives).
QList<QUrl> DroppedUrls(const QMimeData *mime)
{
    QList<QUrl> urls;
    if (!mime)
        return urls;
    if (mime->hasUrls())
        for (const QUrl &url : mime->urls())
            if (!url.isEmpty())
                urls.push_back(url);
    if (urls.isEmpty() && mime->hasText())
        for (const QString &line : mime->text().split(QLatin1Char('\n'))) {
            const QUrl url(line.trimmed(), QUrl::StrictMode);
            if (url.isValid() && IsWebUrl(url))
                urls.push_back(url);
        }
    return urls;
}

DropItem Examine(const QUrl &url)
{
    DropItem item;
    if (!url.isLocalFile()) {
        item.kind = IsWebUrl(url) ? DropKind::WebAddress : DropKind::Unsupported;
        item.target = url.toString().toStdString();
        return item;
    }
    const QString path = url.toLocalFile();
    item.target = path.toStdString();
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        item.kind = DropKind::Missing;
    } else if (S_ISDIR(st.st_mode)) {
        item.kind = DropKind::Folder;
    } else if (!S_ISREG(st.st_mode)) {
        item.kind = DropKind::Special; // a FIFO, a socket or a device: never opened
    } else if (platform::IsDesktopEntryPath(path)) {
        // An entry that is no application (a link, a folder) is just a file,
        // whatever its execute bits say; so is one from outside the
        // applications folders that the user has not made executable.
        if (const auto entry = platform::IsTrustedDesktopEntry(path) ? platform::ReadDesktopEntry(path)
                                                                      : std::nullopt) {
            item.kind = DropKind::DesktopEntry;
            item.name = entry->name.toStdString();
        } else {
            item.kind = DropKind::OtherFile;
        }
    } else if (S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) {
        item.kind = DropKind::Executable;
    } else {
        item.kind = DropKind::OtherFile;
    }
    return item;
}

std::vector<DropItem> DroppedItems(const QMimeData *mime)
{
    std::vector<DropItem> items;
    for (const QUrl &url : DroppedUrls(mime))
        items.push_back(Examine(url));
    return items;
}

// Takes a drag that carries something to make links of, as a link (never a
// move: the source would delete its files).
bool TakeDrag(QDropEvent *e)
{
    const bool busy = !KVOP || KVOP->HasSnapshot() || QApplication::activeModalWidget();
    const Qt::DropActions offered = e->possibleActions();
    if (busy || !(offered & (Qt::LinkAction | Qt::CopyAction)) || DroppedUrls(e->mimeData()).isEmpty()) {
        e->ignore();
        return false;
    }
    e->setDropAction(offered & Qt::LinkAction ? Qt::LinkAction : Qt::CopyAction);
    e->accept();
    return true;
}

void AppendLinks(int c, const std::vector<DropLink> &links)
{
    int n = KVOP->LinkCount(c);
    for (const DropLink &l : links) {
        if (n >= kMaxLinks)
            break;
        LinkRecord &link = KVOP->categories[c].links[n++];
        KVUIOperationClass::ClearLink(link);
        SetModelText(link.name, QString::fromStdString(l.name));
        SetModelText(link.path, QString::fromStdString(l.target));
        link.type = l.type;
        link.used = 1;
    }
}

void TellRefusals(QWidget *owner, const QString &categoryName, int categoryType,
                  const std::vector<RefusedDrop> &refused, const QString &caption)
{
    if (refused.empty())
        return;
    Warn(owner, QString::fromStdString(RefusalMessage(categoryName.toStdString(), categoryType, refused)),
         caption);
}

// After the drop has ended: dialogs and message boxes must not run inside
// the drag's own handling.
void DropOnCategory(int c, const std::vector<DropItem> &items, bool direct)
{
    TKVGUIForm *form = PanelsForm();
    if (!form || !KVOP || !form->CategoryArea || c < 0 || c >= KVOP->CategoryCount() ||
        !form->CategoryArea->panels[c] || items.empty())
        return;
    const CategoryRecord &cat = KVOP->categories[c];
    const QString name = ModelText(cat.name);
    const int type = cat.type;
    const DropPlan plan = PlanLinkDrop(type, KVOP->LinkCount(c), items);
    if (!direct && items.size() == 1 && plan.links.size() == 1) {
        // One item: the user sees the link before it is made, and may name it.
        const DropLink link = plan.links[0];
        form->AddLinkToCategory(c, [&link](TAddEntryForm &dialog) {
            dialog.Prefill(QString::fromStdString(link.name), QString::fromStdString(link.target), link.type);
        });
        return;
    }
    if (!plan.links.empty()) {
        AppendLinks(c, plan.links);
        form->CategoryArea->panels[c]->RebuildPanel(c);
        form->RefreshLayout(true); // saves
    }
    TellRefusals(form, name, type, plan.refused, QStringLiteral("Add Link"));
}

void DropOnTitle(const std::vector<DropItem> &items)
{
    TKVGUIForm *form = PanelsForm();
    if (!form || !KVOP || !form->CategoryArea || items.empty())
        return;
    const int slot = KVOP->FirstFreeCategory();
    const QString caption = QStringLiteral("New Category");
    if (slot < 0) {
        Warn(form,
             QStringLiteral("All %1 categories are in use. Delete one before making a new category of "
                            "dropped items.")
                 .arg(kMaxCategories),
             caption);
        return;
    }
    const int type = NewCategoryType(items);
    const QString name = QString::fromStdString(NewCategoryName(type));
    const DropPlan plan = PlanLinkDrop(type, 0, items);
    if (type != ctUnused && !plan.links.empty()) {
        KVOP->ClearCategory(slot);
        SetModelText(KVOP->categories[slot].name, name);
        KVOP->categories[slot].type = type;
        AppendLinks(slot, plan.links);
        form->CategoryArea->CreatePanel(slot);
        form->ApplyAppearance();
        form->RefreshLayout(true); // saves
    }
    TellRefusals(form, name, type, plan.refused, caption);
}

// The frame over the title strip while a drop there would make a category.
class TitleDropMark : public QWidget {
  public:
    explicit TitleDropMark(QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("TitleDropMark"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
    TColor colour = 0xFFFFFF;

  protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QPen pen(ToQColor(colour));
        pen.setWidth(2);
        pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
};

} // namespace

// --- a category panel -------------------------------------------------------

void TKVPanel::SetDropMark(const QRect &mark)
{
    if (mark == m_dropMark)
        return;
    update(m_dropMark);
    m_dropMark = mark;
    update(m_dropMark);
}

void TKVPanel::dragEnterEvent(QDragEnterEvent *e)
{
    dragMoveEvent(e);
}

void TKVPanel::dragMoveEvent(QDragMoveEvent *e)
{
    if (!TakeDrag(e) || !header) {
        SetDropMark({});
        return;
    }
    // New links go after the last one; a folded panel shows them under its
    // header.
    int y = header->y() + header->height();
    const bool linksShown = open || (checkBox && checkBox->isChecked());
    if (linksShown)
        for (int k = std::min(linkCount, kMaxLinks) - 1; k >= 0; --k)
            if (const TKVLabel *last = linkLabels[k]) {
                y = last->y() + last->height();
                break;
            }
    y = std::max(0, std::min(y, height() - 2));
    SetDropMark(QRect(10, y, std::max(0, width() - 10 - 4), 2));
}

void TKVPanel::dragLeaveEvent(QDragLeaveEvent *e)
{
    SetDropMark({});
    e->accept();
}

void TKVPanel::dropEvent(QDropEvent *e)
{
    SetDropMark({});
    if (!TakeDrag(e))
        return;
    const bool direct = e->modifiers() & Qt::ShiftModifier;
    std::vector<DropItem> items = DroppedItems(e->mimeData());
    QTimer::singleShot(
        0, this, [c = categoryIndex, items = std::move(items), direct] { DropOnCategory(c, items, direct); });
}

// --- the title strip --------------------------------------------------------

bool TKVGUIForm::TitleTakesDrop(QDropEvent *e)
{
    const bool onTitle = CategoryArea && e->position().y() < CategoryArea->y();
    if (!onTitle) {
        e->ignore();
        return false;
    }
    return TakeDrag(e);
}

void TKVGUIForm::dragEnterEvent(QDragEnterEvent *e)
{
    dragMoveEvent(e);
    // Entered off the strip, the drag is still taken, doing nothing, so that
    // the moves that may bring it to the strip keep coming.
    if (!e->isAccepted() && KVOP && !KVOP->HasSnapshot() && !DroppedUrls(e->mimeData()).isEmpty()) {
        e->setDropAction(Qt::IgnoreAction);
        e->accept();
    }
}

void TKVGUIForm::dragMoveEvent(QDragMoveEvent *e)
{
    const bool taken = TitleTakesDrop(e);
    if (taken && !m_titleDropMark)
        m_titleDropMark = new TitleDropMark(this);
    if (!m_titleDropMark)
        return;
    if (taken) {
        static_cast<TitleDropMark *>(m_titleDropMark)->colour = Colour(crTitle);
        m_titleDropMark->setGeometry(0, 0, width(), CategoryArea->y());
        m_titleDropMark->raise();
    }
    m_titleDropMark->setVisible(taken);
}

void TKVGUIForm::dragLeaveEvent(QDragLeaveEvent *e)
{
    if (m_titleDropMark)
        m_titleDropMark->hide();
    e->accept();
}

void TKVGUIForm::dropEvent(QDropEvent *e)
{
    if (m_titleDropMark)
        m_titleDropMark->hide();
    if (!TitleTakesDrop(e))
        return;
    std::vector<DropItem> items = DroppedItems(e->mimeData());
    QTimer::singleShot(0, this, [items = std::move(items)] { DropOnTitle(items); });
}
