#include "CategoryPanels.h"

#include <QScrollBar>

#include "Forms.h"

int PanelCount = 0;

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
    if (delta == 0)
        return;
    SetVertPosition(VertPosition() - (delta > 0 ? 1 : -1) * verticalScrollBar()->singleStep());
}

void TKVParentPanel::UpdateContentSize()
{
    QWidget *content = widget();
    int bottom = 0;
    for (QWidget *child : content->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        bottom = qMax(bottom, child->y() + child->height());
    int width = viewport()->width();
    if (content->size() != QSize(width, bottom)) {
        content->resize(width, bottom);
        forms::ApplyAnchors(content);
    }
}

void TKVParentPanel::resizeEvent(QResizeEvent *e)
{
    QScrollArea::resizeEvent(e);
    UpdateContentSize();
}
