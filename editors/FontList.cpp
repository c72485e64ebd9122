#include "FontList.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>

namespace {

constexpr int kItemHeight = 20;
constexpr int kMissingRole = Qt::UserRole + 1;

QString Shown(const QComboBox *list, int index)
{
    const QString name = list->itemText(index);
    return TKVFontList::Installed(list, index) ? name : name + QStringLiteral(" (not installed)");
}

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
    explicit FontItemDelegate(QComboBox *list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(option.rect, selected ? option.palette.color(QPalette::Highlight) : QColor(Qt::white));
        p->setPen(selected ? option.palette.color(QPalette::HighlightedText) : QColor(Qt::black));
        p->setFont(FaceOf(m_list, index.row()));
        p->drawText(option.rect.adjusted(0, -2, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    Shown(m_list, index.row()));
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight};
    }

  private:
    QComboBox *m_list;
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

void TKVFontList::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionComboBox frame;
    initStyleOption(&frame);
    frame.currentText.clear();
    p.drawComplexControl(QStyle::CC_ComboBox, frame);
    if (currentIndex() < 0)
        return;
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &frame, QStyle::SC_ComboBoxEditField, this);
    p.setFont(FaceOf(this, currentIndex()));
    p.setPen(palette().color(QPalette::Text));
    p.drawText(field.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               Shown(this, currentIndex()));
}
