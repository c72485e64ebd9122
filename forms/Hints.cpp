#include "Hints.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QScreen>
#include <QTextLayout>
#include <QToolTip>
#include <QWidget>

namespace forms {

int HintLineWidth(QPoint at)
{
    const QFontMetrics metrics(QToolTip::font());
    int width = 75 * metrics.averageCharWidth();
    const QScreen *screen = QGuiApplication::screenAt(at);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        width = std::min(width, screen->availableGeometry().width() * 4 / 5);
    return width;
}

QString PlainHint(const QString &text, int maxLineWidth)
{
    // The tool tip would wrap rich text at a width of its own guessing, which
    // breaks even a short hint in two; so the lines are broken here, only
    // where they need it, and shown as they are.
    const QFont font = QToolTip::font();
    const QFontMetrics metrics(font);
    QStringList lines;
    for (const QString &line : text.split(u'\n')) {
        if (metrics.horizontalAdvance(line) <= maxLineWidth) {
            lines << line;
            continue;
        }
        QTextLayout layout(line, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine piece = layout.createLine(); piece.isValid(); piece = layout.createLine()) {
            piece.setLineWidth(maxLineWidth);
            // The blank a line is broken at stays at its end, unseen: the
            // hint still holds every character of the text.
            lines << line.mid(piece.textStart(), piece.textLength());
        }
        layout.endLayout();
    }
    return QStringLiteral("<p style=\"white-space:pre\">") + lines.join(u'\n').toHtmlEscaped() +
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
            QToolTip::showText(help->globalPos(), PlainHint(hint, HintLineWidth(help->globalPos())), w, area,
                               w->toolTipDuration());
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
