#include "Hints.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>
#include <QWidget>

namespace forms {

QString PlainHint(const QString &text)
{
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

namespace {

// Sees each hint request before the widget does: the widget's own handling
// would pass its text to the tool tip as it is.
class PlainHintFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() != QEvent::ToolTip || !o->isWidgetType())
            return false;
        auto *w = static_cast<QWidget *>(o);
        auto *help = static_cast<QHelpEvent *>(e);
        QString hint;
        QRect area;
        if (!HintOf(w, help->pos(), hint, area)) {
            // Nothing here; the parent may have a hint for this point.
            e->ignore();
            return true;
        }
        if (hint.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), PlainHint(hint), w, area, w->toolTipDuration());
        e->accept();
        return true;
    }

  private:
    static bool HintOf(QWidget *w, QPoint pos, QString &hint, QRect &area)
    {
        if (const auto *source = dynamic_cast<const HintSource *>(w);
            source && source->HintAt(pos, hint, area))
            return true;
        if (auto *menu = qobject_cast<QMenu *>(w)) {
            QAction *action = menu->toolTipsVisible() ? menu->actionAt(pos) : nullptr;
            if (!action)
                return false;
            hint = action->toolTip();
            area = menu->actionGeometry(action);
            return true;
        }
        hint = w->toolTip();
        return !hint.isEmpty();
    }
};

} // namespace

void InstallPlainHints()
{
    static PlainHintFilter *filter = nullptr;
    if (filter || !qApp)
        return;
    filter = new PlainHintFilter(qApp);
    qApp->installEventFilter(filter);
}

} // namespace forms
