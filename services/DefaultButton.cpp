#include "DefaultButton.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {

// Sees the keys that the window's controls leave unused: they travel up to
// the window, where a line edit's Return or a drop-down's arrives.
class ReturnPresses : public QObject {
  public:
    ReturnPresses(QWidget *window, QAbstractButton *button)
        : QObject(window), m_window(window), m_button(button)
    {
    }

  protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(e);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        QAbstractButton *button = qobject_cast<QAbstractButton *>(m_window->focusWidget());
        if (!button)
            button = m_button;
        if (!button || !button->isEnabled() || !button->isVisible())
            return false;
        button->click();
        return true;
    }

  private:
    QWidget *m_window;
    QPointer<QAbstractButton> m_button;
};

} // namespace

void PressOnReturn(QWidget *window, QAbstractButton *defaultButton)
{
    window->installEventFilter(new ReturnPresses(window, defaultButton));
}
