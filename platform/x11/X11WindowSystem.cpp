// Window-manager requests through the EWMH properties and client messages.

#include "Platform.h"

#include <map>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include "XcbConnection.h"

namespace platform {

QRect PrimaryAvailableGeometry();
QRect PrimaryVirtualGeometry();

namespace {

xcb_atom_t Atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
    xcb_atom_t atom = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(r);
    return atom;
}

xcb_window_t RootOf(xcb_connection_t *c, xcb_window_t w)
{
    xcb_query_tree_reply_t *r = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
    xcb_window_t root = r ? r->root : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
    free(r);
    return root;
}

bool IsMapped(xcb_connection_t *c, xcb_window_t w)
{
    xcb_get_window_attributes_reply_t *r =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    bool mapped = r && r->map_state != XCB_MAP_STATE_UNMAPPED;
    free(r);
    return mapped;
}

// Adds or removes state atoms: by a client message to the root window while
// the window is managed, in the property itself before it is mapped (the
// window manager reads it then).
bool ChangeNetWmState(QWidget *widget, bool on, std::initializer_list<const char *> names)
{
    xcb_connection_t *c = XcbConnection();
    if (!c || !widget->isWindow())
        return false;
    // QWidget::winId() would mark a parented dialog as a native widget, and
    // Qt then makes every child of its parent native too: the main window's
    // labels would each get an X window and stop being repainted. Creating
    // the dialog's own top-level window leaves its parent alone.
    if (!widget->windowHandle())
        widget->createWinId();
    QWindow *window = widget->windowHandle();
    if (!window)
        return false;
    auto w = static_cast<xcb_window_t>(window->winId());
    xcb_atom_t netWmState = Atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms;
    for (const char *n : names)
        atoms.push_back(Atom(c, n));
    // Before the window manager has taken the window, it reads the property;
    // once it manages it, only a message counts. Between Qt's map request
    // and the manager's answer neither alone is sure, so both are used.
    if (!IsMapped(c, w)) {
        std::vector<xcb_atom_t> current;
        xcb_get_property_reply_t *r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr);
        if (r && r->format == 32) {
            auto *data = static_cast<xcb_atom_t *>(xcb_get_property_value(r));
            current.assign(data, data + xcb_get_property_value_length(r) / 4);
        }
        free(r);
        for (xcb_atom_t a : atoms) {
            std::erase(current, a);
            if (on)
                current.push_back(a);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, netWmState, XCB_ATOM_ATOM, 32,
                            static_cast<uint32_t>(current.size()), current.data());
    }
    if (window->isVisible()) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = netWmState;
        ev.data.data32[0] = on ? 1 : 0;
        ev.data.data32[1] = atoms.size() > 0 ? atoms[0] : 0;
        ev.data.data32[2] = atoms.size() > 1 ? atoms[1] : 0;
        ev.data.data32[3] = 1; // a normal application
        xcb_send_event(c, 0, RootOf(c, w),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&ev));
    }
    xcb_flush(c);
    return true;
}

// A window shown a moment ago is not exposed yet either; mapping it again
// then would race its own map request. Its map is pending until Qt says it
// is on the screen.
class MapWatch : public QObject {
  public:
    explicit MapWatch(QWindow *window) : QObject(window) { window->installEventFilter(this); }
    bool pending = false;

  protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Expose && static_cast<QWindow *>(o)->isExposed())
            pending = false;
        return false;
    }
};

MapWatch *WatchOf(QWindow *window)
{
    return window ? window->findChild<MapWatch *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool MapPending(QWindow *window)
{
    const MapWatch *watch = WatchOf(window);
    return watch && watch->pending;
}

void ExpectMap(QWindow *window)
{
    if (!window)
        return;
    MapWatch *watch = WatchOf(window);
    if (!watch)
        watch = new MapWatch(window);
    watch->pending = !window->isExposed();
}

xcb_window_t RootWindow(xcb_connection_t *c)
{
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    return screen ? screen->root : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
}

// Asks the window manager, by a message to the root window, to enter or
// leave the showing-desktop mode.
bool SetShowingDesktop(xcb_connection_t *c, bool on)
{
    const xcb_window_t root = RootWindow(c);
    if (root == XCB_WINDOW_NONE)
        return false;
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = root;
    ev.type = Atom(c, "_NET_SHOWING_DESKTOP");
    ev.data.data32[0] = on ? 1 : 0;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&ev));
    xcb_flush(c);
    return true;
}

bool ShowingDesktop(xcb_connection_t *c)
{
    const xcb_window_t root = RootWindow(c);
    if (root == XCB_WINDOW_NONE)
        return false;
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, Atom(c, "_NET_SHOWING_DESKTOP"), XCB_ATOM_CARDINAL, 0, 1), nullptr);
    const bool on = r && r->format == 32 && xcb_get_property_value_length(r) >= 4 &&
                    *static_cast<const uint32_t *>(xcb_get_property_value(r)) != 0;
    free(r);
    return on;
}

// Hears the server's VisibilityNotify for the windows watched: Qt does not
// ask for it, so their event masks gain it here.
class CoveringWatch : public QAbstractNativeEventFilter {
  public:
    void Watch(QWidget *w, std::function<void(bool)> changed)
    {
        xcb_connection_t *c = XcbConnection();
        if (!c || !w->isWindow())
            return;
        if (!w->windowHandle())
            w->createWinId();
        const auto window = static_cast<xcb_window_t>(w->windowHandle()->winId());
        std::erase_if(m_watched, [w](const auto &entry) { return entry.second.widget == w; });
        m_watched[window] = {w, std::move(changed)};
        xcb_get_window_attributes_reply_t *r =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
        if (r && !(r->your_event_mask & XCB_EVENT_MASK_VISIBILITY_CHANGE)) {
            const uint32_t mask = r->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
            xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
            xcb_flush(c);
        }
        free(r);
        if (!m_installed) {
            QCoreApplication::instance()->installNativeEventFilter(this);
            m_installed = true;
        }
    }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7F) != XCB_VISIBILITY_NOTIFY)
            return false;
        const auto *visibility = reinterpret_cast<const xcb_visibility_notify_event_t *>(event);
        const auto it = m_watched.find(visibility->window);
        if (it != m_watched.end() && it->second.widget && it->second.changed)
            it->second.changed(visibility->state == XCB_VISIBILITY_FULLY_OBSCURED);
        return false;
    }

  private:
    struct Watched {
        QPointer<QWidget> widget; // gone with its window
        std::function<void(bool)> changed;
    };
    std::map<xcb_window_t, Watched> m_watched;
    bool m_installed = false;
};

class X11WindowSystem : public WindowSystem {
  public:
    // Qt's own stays-on-top flag would re-create the window at its next
    // showing; the state is asked of the window manager directly instead.
    bool SetAbove(QWidget *w, bool on) override { return ChangeNetWmState(w, on, {"_NET_WM_STATE_ABOVE"}); }

    bool SetSkipTaskbar(QWidget *w, bool on) override
    {
        return ChangeNetWmState(w, on, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
    }

    void Flush() override
    {
        if (xcb_connection_t *c = XcbConnection())
            xcb_flush(c);
    }

    bool ShowDesktop() override
    {
        xcb_connection_t *c = XcbConnection();
        // The manager owns the showing-desktop mode; a client only asks.
        return c && SetShowingDesktop(c, true);
    }

    QRect WorkArea() const override { return PrimaryAvailableGeometry(); }
    QRect VirtualScreen() const override { return PrimaryVirtualGeometry(); }

    void BringToFront(QWidget *w) override
    {
        // While the desktop is shown the manager keeps every window hidden;
        // a window asked for leaves that mode, as activating one does on
        // other desktops.
        if (xcb_connection_t *c = XcbConnection(); c && ShowingDesktop(c))
            SetShowingDesktop(c, false);
        QWindow *window = w->windowHandle();
        bool shown = true;
        if (w->isMinimized()) {
            w->showNormal();
        } else if (w->isVisible() && window && !window->isExposed() && !MapPending(window)) {
            // Unmapped behind Qt's back (by another client): map it anew.
            w->hide();
            w->show();
        } else if (!w->isVisible()) {
            w->show();
        } else {
            shown = false;
        }
        if (shown)
            ExpectMap(w->windowHandle());
        w->raise();
        w->activateWindow();
    }

    void WatchCovering(QWidget *w, std::function<void(bool covered)> changed) override
    {
        m_covering.Watch(w, std::move(changed));
    }

  private:
    CoveringWatch m_covering;
};

} // namespace

WindowSystem &Windows()
{
    static X11WindowSystem system;
    return system;
}

} // namespace platform
