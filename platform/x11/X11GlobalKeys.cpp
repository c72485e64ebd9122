// Global keys on X11: passive grabs on the root window, one for each state
// of Caps Lock and Num Lock, so that the keys work whichever is on.

#include "GlobalKeys.h"

#include <cstdlib>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include "VirtualKeys.h"
#include "XcbConnection.h"

namespace platform {

namespace {

constexpr uint16_t kAlt = 1;
constexpr uint16_t kCtrl = 2;
constexpr uint16_t kShift = 4;
constexpr uint16_t kWin = 8;
constexpr uint32_t kNumLockKeysym = 0xff7f;
constexpr uint8_t kBadAccess = 10;

// A Wayland desktop: the X server is XWayland, whose grabs "succeed" but
// only see the keys pressed while one of its own X windows has the focus.
bool WaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

class X11GlobalKeys : public GlobalKeys, public QAbstractNativeEventFilter {
  public:
    bool Available(QString *why) const override;
    bool Grab(uint16_t modifiers, uint8_t key, QString *error) override;
    bool Release(uint16_t modifiers, uint8_t key) override;
    bool Holds(uint16_t modifiers, uint8_t key) const override { return Find(modifiers, key) >= 0; }
    void SetPressedHandler(PressedHandler handler) override { m_handler = std::move(handler); }
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *result) override;

  private:
    struct Held {
        uint16_t modifiers;
        uint8_t key;
        xcb_keycode_t keycode;
        uint16_t mask;
    };

    xcb_window_t Root() const;
    void ReadKeyboard();
    xcb_keycode_t KeycodeOf(uint32_t keysym);
    uint16_t MaskOf(uint16_t modifiers) const;
    std::vector<uint16_t> LockVariants() const;
    bool GrabVariants(xcb_keycode_t code, uint16_t mask, QString *error);
    void UngrabVariants(xcb_keycode_t code, uint16_t mask);
    int Find(uint16_t modifiers, uint8_t key) const;
    void Regrab();

    std::vector<Held> m_held;
    PressedHandler m_handler;
    bool m_keyboardKnown = false;
    xcb_keycode_t m_minKeycode = 0;
    int m_perKeycode = 0;
    std::vector<xcb_keysym_t> m_keysyms;
    uint16_t m_numLock = 0;
    bool m_filtering = false;
    // First event number of the keyboard extension: its clients get no core
    // MappingNotify when the layout changes, but these events instead.
    uint8_t m_xkbEvent = 0;
};

xcb_window_t X11GlobalKeys::Root() const
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(XcbConnection()));
    return it.rem ? it.data->root : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
}

// The keyboard map, and which modifier bit Num Lock sets: it differs
// between keyboards, and a grab must name it.
void X11GlobalKeys::ReadKeyboard()
{
    xcb_connection_t *c = XcbConnection();
    const xcb_setup_t *setup = xcb_get_setup(c);
    m_minKeycode = setup->min_keycode;
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    m_keysyms.clear();
    m_perKeycode = 0;
    if (auto *map =
            xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, m_minKeycode, count), nullptr)) {
        m_perKeycode = map->keysyms_per_keycode;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map);
        m_keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map));
        free(map);
    }
    m_numLock = 0;
    const xcb_keycode_t numLock = KeycodeOf(kNumLockKeysym);
    if (auto *mods = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr)) {
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(mods);
        for (int bit = 0; bit < 8 && numLock; ++bit)
            for (int i = 0; i < mods->keycodes_per_modifier; ++i)
                if (codes[bit * mods->keycodes_per_modifier + i] == numLock)
                    m_numLock = static_cast<uint16_t>(1u << bit);
        free(mods);
    }
    if (!m_xkbEvent) {
        const char name[] = "XKEYBOARD";
        if (auto *ext =
                xcb_query_extension_reply(c, xcb_query_extension(c, sizeof name - 1, name), nullptr)) {
            if (ext->present)
                m_xkbEvent = ext->first_event;
            free(ext);
        }
    }
    m_keyboardKnown = true;
}

xcb_keycode_t X11GlobalKeys::KeycodeOf(uint32_t keysym)
{
    if (m_perKeycode <= 0)
        return 0;
    const std::size_t keys = m_keysyms.size() / static_cast<std::size_t>(m_perKeycode);
    // The key that makes the symbol without other levels first: it is the
    // one a person presses for it.
    for (int column = 0; column < m_perKeycode; ++column)
        for (std::size_t k = 0; k < keys; ++k)
            if (m_keysyms[k * static_cast<std::size_t>(m_perKeycode) + static_cast<std::size_t>(column)] ==
                keysym)
                return static_cast<xcb_keycode_t>(m_minKeycode + k);
    return 0;
}

uint16_t X11GlobalKeys::MaskOf(uint16_t modifiers) const
{
    uint16_t mask = 0;
    if (modifiers & kShift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & kCtrl)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & kAlt)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & kWin)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

std::vector<uint16_t> X11GlobalKeys::LockVariants() const
{
    std::vector<uint16_t> variants = {0, XCB_MOD_MASK_LOCK};
    if (m_numLock && m_numLock != XCB_MOD_MASK_LOCK) {
        variants.push_back(m_numLock);
        variants.push_back(static_cast<uint16_t>(m_numLock | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

bool X11GlobalKeys::GrabVariants(xcb_keycode_t code, uint16_t mask, QString *error)
{
    xcb_connection_t *c = XcbConnection();
    const xcb_window_t root = Root();
    std::vector<uint16_t> done;
    for (uint16_t variant : LockVariants()) {
        xcb_generic_error_t *e =
            xcb_request_check(c, xcb_grab_key_checked(c, 0, root, static_cast<uint16_t>(mask | variant), code,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (!e) {
            done.push_back(variant);
            continue;
        }
        const uint8_t code_ = e->error_code;
        free(e);
        // Nothing half-taken stays behind.
        for (uint16_t v : done)
            xcb_ungrab_key(c, code, root, static_cast<uint16_t>(mask | v));
        xcb_flush(c);
        if (error)
            *error = code_ == kBadAccess
                         ? QStringLiteral("another program holds the key")
                         : QStringLiteral("the X server refused the grab (error %1)").arg(code_);
        return false;
    }
    return true;
}

void X11GlobalKeys::UngrabVariants(xcb_keycode_t code, uint16_t mask)
{
    xcb_connection_t *c = XcbConnection();
    const xcb_window_t root = Root();
    for (uint16_t variant : LockVariants())
        xcb_ungrab_key(c, code, root, static_cast<uint16_t>(mask | variant));
    xcb_flush(c);
}

int X11GlobalKeys::Find(uint16_t modifiers, uint8_t key) const
{
    for (std::size_t i = 0; i < m_held.size(); ++i)
        if (m_held[i].modifiers == modifiers && m_held[i].key == key)
            return static_cast<int>(i);
    return -1;
}

bool X11GlobalKeys::Available(QString *why) const
{
    QString reason;
    if (!XcbConnection())
        reason = QStringLiteral("this desktop gives programs no global keys (%1)")
                     .arg(QGuiApplication::platformName());
    else if (WaylandSession())
        reason = QStringLiteral("a Wayland desktop gives programs no global keys");
    if (why && !reason.isEmpty())
        *why = reason;
    return reason.isEmpty();
}

bool X11GlobalKeys::Grab(uint16_t modifiers, uint8_t key, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (QString why; !Available(&why))
        return fail(why);
    if (Holds(modifiers, key))
        return fail(QStringLiteral("this program holds the key already"));
    const VirtualKey *vk = FindVirtualKey(key);
    if (!vk)
        return fail(QStringLiteral("the key has no name"));
    if (!m_keyboardKnown)
        ReadKeyboard();
    const xcb_keycode_t code = KeycodeOf(vk->keysym);
    if (!code)
        return fail(QStringLiteral("the keyboard has no %1 key").arg(QString::fromLatin1(vk->name)));
    const uint16_t mask = MaskOf(modifiers);
    if (!GrabVariants(code, mask, error))
        return false;
    m_held.push_back({modifiers, key, code, mask});
    if (!m_filtering) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filtering = true;
    }
    return true;
}

bool X11GlobalKeys::Release(uint16_t modifiers, uint8_t key)
{
    const int i = Find(modifiers, key);
    if (i < 0 || !XcbConnection())
        return false;
    UngrabVariants(m_held[static_cast<std::size_t>(i)].keycode, m_held[static_cast<std::size_t>(i)].mask);
    m_held.erase(m_held.begin() + i);
    return true;
}

// After a keyboard change the keys may sit elsewhere, and Num Lock may set
// another bit: take every held combination again.
void X11GlobalKeys::Regrab()
{
    for (const Held &h : m_held)
        UngrabVariants(h.keycode, h.mask);
    ReadKeyboard();
    std::vector<Held> kept;
    for (Held h : m_held) {
        const VirtualKey *vk = FindVirtualKey(h.key);
        h.keycode = vk ? KeycodeOf(vk->keysym) : 0;
        if (h.keycode && GrabVariants(h.keycode, h.mask, nullptr))
            kept.push_back(h);
    }
    m_held = std::move(kept);
}

bool X11GlobalKeys::nativeEventFilter(const QByteArray &type, void *message, qintptr *)
{
    if (type != "xcb_generic_event_t" || m_held.empty())
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    const uint8_t kind = event->response_type & 0x7f;
    // A new keyboard (a layout switch) or a new map of it: the keys may
    // have moved.
    constexpr uint8_t kNewKeyboardNotify = 0;
    constexpr uint8_t kMapNotify = 1;
    if (m_xkbEvent && kind == m_xkbEvent) {
        const uint8_t xkbKind = reinterpret_cast<const uint8_t *>(event)[1];
        if (xkbKind == kNewKeyboardNotify || xkbKind == kMapNotify)
            Regrab();
        return false;
    }
    switch (kind) {
    case XCB_KEY_PRESS: {
        auto *press = reinterpret_cast<xcb_key_press_event_t *>(event);
        const uint16_t mask =
            press->state & (XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4);
        for (const Held &h : m_held)
            if (h.keycode == press->detail && h.mask == mask && press->event == Root()) {
                if (m_handler)
                    m_handler(h.modifiers, h.key);
                return true;
            }
        return false;
    }
    case XCB_MAPPING_NOTIFY: {
        auto *mapping = reinterpret_cast<xcb_mapping_notify_event_t *>(event);
        if (mapping->request == XCB_MAPPING_KEYBOARD || mapping->request == XCB_MAPPING_MODIFIER)
            Regrab();
        return false;
    }
    default:
        return false;
    }
}

} // namespace

GlobalKeys &Keys()
{
    static X11GlobalKeys keys;
    return keys;
}

} // namespace platform
