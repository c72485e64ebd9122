#include "FontList.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>

namespace {

constexpr int kItemHeight = 20;
constexpr int kMissingRole = Qt::UserRole + 1;

const QString kNotInstalled = QStringLiteral(" (not installed)");

QFont FaceOf(const QComboBox *list, int index)
{
    QFont f = list->font();
    if (TKVFontList::Installed(list, index))
        f.setFamilies({list->itemText(index)});
    else
        f.setItalic(true);
    f.setPointSize(12);
    return f;
}

// Each name in its own face at 12 points, on white or the highlight.
class FontItemDelegate : public QStyledItemDelegate {
  public:
    explicit FontItemDelegate(TKVFontList *list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(option.rect, selected ? option.palette.color(QPalette::Highlight) : QColor(Qt::white));
        p->setPen(selected ? option.palette.color(QPalette::HighlightedText) : QColor(Qt::black));
        p->setFont(FaceOf(m_list, index.row()));
        p->drawText(option.rect.adjusted(0, -2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    m_list->ShownText(index.row(), option.rect.width()));
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight};
    }

  private:
    TKVFontList *m_list;
};

} // namespace

TKVFontList::TKVFontList(QWidget *parent) : QComboBox(parent)
{
    setItemDelegate(new FontItemDelegate(this));
    setMaxVisibleItems(12);
}

bool TKVFontList::Installed(const QComboBox *list, int index)
{
    return !list->itemData(index, kMissingRole).toBool();
}

void TKVFontList::Fill(const QStringList &families)
{
    clear();
    addItems(families);
}

void TKVFontList::SelectName(const QString &name)
{
    if (name.isEmpty()) {
        setCurrentIndex(-1);
        return;
    }
    int i = findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i < 0) {
        insertItem(0, name);
        setItemData(0, true, kMissingRole);
        i = 0;
    }
    setCurrentIndex(i);
}

QString TKVFontList::Name() const
{
    return currentIndex() < 0 ? QString() : currentText();
}

QString TKVFontList::ShownText(int index, int width) const
{
    const QFontMetrics metrics(FaceOf(this, index));
    const QString name = itemText(index);
    if (Installed(this, index))
        return metrics.elidedText(name, Qt::ElideRight, width);
    // The mark is what tells the user why the name is not in its own face.
    const int room = std::max(0, width - metrics.horizontalAdvance(kNotInstalled));
    return metrics.elidedText(name, Qt::ElideRight, room) + kNotInstalled;
}

QRect TKVFontList::TextField() const
{
    QStyleOptionComboBox frame;
    initStyleOption(&frame);
    return style()
        ->subControlRect(QStyle::CC_ComboBox, &frame, QStyle::SC_ComboBoxEditField, this)
        .adjusted(2, 0, 0, 0);
}

QString TKVFontList::FieldText() const
{
    return currentIndex() < 0 ? QString() : ShownText(currentIndex(), TextField().width());
}

void TKVFontList::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionComboBox frame;
    initStyleOption(&frame);
    frame.currentText.clear();
    p.drawComplexControl(QStyle::CC_ComboBox, frame);
    if (currentIndex() < 0)
        return;
    p.setFont(FaceOf(this, currentIndex()));
    p.setPen(palette().color(QPalette::Text));
    p.drawText(TextField(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FieldText());
}
