// The global hot keys for real, on an X server shared with other clients: a
// key another client holds is refused and leaves nothing taken behind, our
// own keys are held in every Caps Lock and Num Lock state and let go again,
// presses made through XTEST reach the handler whatever the lock keys say
// while other combinations do not, and the keys follow a new keyboard map.
//
// Needs an X server in DISPLAY with a window manager, xdotool, setxkbmap
// and xkbcomp, and the other client, grab_key, in KV_GRAB_KEY; the end-to-end
// script test_x11_hotkeys.sh gives it all that.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include "HotKeyManager.h"

// Failures show the texts, not their bytes.
void PrintTo(const QString &s, std::ostream *out)
{
    *out << '"' << s.toStdString() << '"';
}

namespace {

// Modifier masks as X grabs name them. Num Lock is Mod2 in the server's
// default map; the lock tests check that it is.
constexpr uint16_t kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr uint16_t kCtrl = XCB_MOD_MASK_CONTROL;
constexpr uint16_t kCapsLock = XCB_MOD_MASK_LOCK;
constexpr uint16_t kNumLock = XCB_MOD_MASK_2;
constexpr uint16_t kLockStates[] = {0, kCapsLock, kNumLock, kCapsLock | kNumLock};

constexpr uint32_t kKeysymM = 0x6d;
constexpr uint32_t kKeysymI = 0x69;
constexpr uint32_t kKeysymF1 = 0xffbe;
constexpr uint32_t kKeysymComma = 0x2c;

const QString kGrabbed = QStringLiteral("grabbed");
const QString kRefused = QStringLiteral("refused");

constexpr uint32_t kCtrlAltM = 0xC04D;
constexpr uint32_t kCtrlAltI = 0xC049;
constexpr uint32_t kCtrlF1 = 0x4070;

struct Pressed {
    uint32_t hotKey;
    uint16_t index;
    bool operator==(const Pressed &) const = default;
};

void PrintTo(const Pressed &p, std::ostream *out)
{
    *out << std::hex << "{0x" << p.hotKey << ", index 0x" << p.index << "}" << std::dec;
}

QString LockText(uint16_t locks)
{
    QStringList on;
    if (locks & kCapsLock)
        on << QStringLiteral("Caps Lock");
    if (locks & kNumLock)
        on << QStringLiteral("Num Lock");
    return on.isEmpty() ? QStringLiteral("no lock") : on.join(QStringLiteral(" and "));
}

xcb_connection_t *Connection()
{
    return qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_window_t Root()
{
    return xcb_setup_roots_iterator(xcb_get_setup(Connection())).data->root;
}

// A round trip: the server has done everything sent before.
void Sync()
{
    free(xcb_get_input_focus_reply(Connection(), xcb_get_input_focus(Connection()), nullptr));
}

// Runs the event loop until DONE, or returns false when the time is up.
bool SpinUntil(const std::function<bool()> &done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

// Runs a tool to its end; the empty text when it succeeded, else what went
// wrong.
QString RunTool(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    const QString command = program + ' ' + arguments.join(' ');
    if (!p.waitForFinished(20000))
        return command + QStringLiteral(" did not finish: ") + p.errorString();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return command + QStringLiteral(" failed with status %1: ").arg(p.exitCode()) +
               QString::fromLocal8Bit(p.readAll()).trimmed();
    return {};
}

// Presses the combination through XTEST, as a person at the keyboard would:
// only such presses set off passive grabs.
QString Press(const QString &keys)
{
    return RunTool(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
}

// Another X client holding one combination, exactly as given, for as long
// as it lives.
class OtherClient {
  public:
    OtherClient(uint16_t mask, uint32_t keysym)
    {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(qEnvironmentVariable("KV_GRAB_KEY"),
                        {QString::number(mask), QStringLiteral("0x%1").arg(keysym, 0, 16)});
        QDeadlineTimer deadline(20000);
        while (!m_process.canReadLine() && m_process.state() != QProcess::NotRunning &&
               !deadline.hasExpired())
            m_process.waitForReadyRead(100);
        m_answer = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        if (m_answer.isEmpty())
            m_answer = QStringLiteral("(no answer: %1)").arg(m_process.errorString());
    }
    ~OtherClient()
    {
        m_process.closeWriteChannel(); // its cue to let go
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    OtherClient(const OtherClient &) = delete;
    OtherClient &operator=(const OtherClient &) = delete;

    // "grabbed", "refused", or what went wrong.
    const QString &Answer() const { return m_answer; }

  private:
    QProcess m_process;
    QString m_answer;
};

// What another client gets when it tries the combination now.
QString OtherClientGets(uint16_t mask, uint32_t keysym)
{
    Sync();
    return OtherClient(mask, keysym).Answer();
}

// Caps Lock and Num Lock as the server has them now.
uint16_t Locks()
{
    auto *reply = xcb_query_pointer_reply(Connection(), xcb_query_pointer(Connection(), Root()), nullptr);
    const uint16_t locks = reply ? static_cast<uint16_t>(reply->mask & (kCapsLock | kNumLock)) : 0;
    free(reply);
    return locks;
}

// Turns the lock keys on or off by pressing them.
::testing::AssertionResult SetLocks(uint16_t wanted)
{
    const std::pair<uint16_t, QString> keys[] = {{kCapsLock, QStringLiteral("Caps_Lock")},
                                                 {kNumLock, QStringLiteral("Num_Lock")}};
    for (const auto &[bit, key] : keys)
        if ((Locks() & bit) != (wanted & bit))
            if (const QString error = Press(key); !error.isEmpty())
                return ::testing::AssertionFailure() << error.toStdString();
    if (!SpinUntil([wanted] { return Locks() == wanted; }, 5000))
        return ::testing::AssertionFailure()
               << "pressing the lock keys left " << LockText(Locks()).toStdString() << " on, wanted "
               << LockText(wanted).toStdString();
    return ::testing::AssertionSuccess();
}

// Counts the keyboard changes that reach this program's X connection, in
// whichever form the server sends them: the core MappingNotify, or XKB's
// NewKeyboardNotify and MapNotify, which Qt asks for and which stand in for
// the core event after some changes.
class KeyboardChangeWatch : public QAbstractNativeEventFilter {
  public:
    KeyboardChangeWatch()
    {
        static const char name[] = "XKEYBOARD";
        auto *xkb = xcb_query_extension_reply(
            Connection(), xcb_query_extension(Connection(), sizeof name - 1, name), nullptr);
        if (xkb && xkb->present)
            m_xkbEvent = xkb->first_event;
        free(xkb);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~KeyboardChangeWatch() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const uint8_t kind = event->response_type & 0x7f;
        // An XKB event names its kind in the second byte: 0 a new keyboard, 1 a new map.
        if (kind == XCB_MAPPING_NOTIFY || (m_xkbEvent && kind == m_xkbEvent && event->pad0 <= 1))
            ++m_changes;
        return false;
    }
    int m_changes = 0;

  private:
    uint8_t m_xkbEvent = 0;
};

// A window of ours with the keyboard focus: ordinary keys come to this
// program too, and pass the hot keys' event filter on their way.
class KeySink : public QWidget {
  public:
    int m_keys = 0; // presses of keys that are not modifiers

  protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        switch (e->key()) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
            break;
        default:
            ++m_keys;
        }
    }
};

class X11HotKeys : public ::testing::Test {
  protected:
    void SetUp() override
    {
        m_manager = std::make_unique<THotKeyManager>();
        m_manager->OnHotKeyPressed = [this](uint32_t hotKey, uint16_t index) {
            m_pressed.push_back({hotKey, index});
        };
    }
    void TearDown() override
    {
        m_manager.reset();
        EXPECT_TRUE(SetLocks(0)) << "the lock keys stay on for the tests that follow";
    }

    // Presses each combination in turn and waits for the event of
    // LAST_HOT_KEY, which the last of them must raise; returns every event
    // raised on the way, so that one too many shows.
    std::vector<Pressed> Presses(const std::vector<const char *> &keys, uint32_t lastHotKey)
    {
        m_pressed.clear();
        for (const char *k : keys) {
            const QString error = Press(QString::fromLatin1(k));
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        }
        const bool came =
            SpinUntil([&] { return !m_pressed.empty() && m_pressed.back().hotKey == lastHotKey; });
        EXPECT_TRUE(came) << "no event for " << keys.back() << " within 10 s";
        return m_pressed;
    }

    std::unique_ptr<THotKeyManager> m_manager;
    std::vector<Pressed> m_pressed;
};

// Another client holds Ctrl+Alt+M in one lock state or another: we refuse
// the whole key, say why, and leave the other states free for anyone.
TEST_F(X11HotKeys, KeyAnotherClientHoldsInAnyLockStateIsRefusedAndNothingStaysTaken)
{
    for (const uint16_t held : kLockStates) {
        SCOPED_TRACE("the other client holds Ctrl+Alt+M with " + LockText(held).toStdString());
        {
            OtherClient holder(kCtrlAlt | held, kKeysymM);
            ASSERT_EQ(holder.Answer(), kGrabbed);

            EXPECT_EQ(m_manager->AddHotKey(kCtrlAltM), 0);
            EXPECT_TRUE(m_manager->LastError().contains(QStringLiteral("another program")))
                << "LastError: " << m_manager->LastError().toStdString();
            EXPECT_TRUE(m_manager->Registrations().empty());
            EXPECT_FALSE(HotKeyAvailable(kCtrlAltM));
            EXPECT_FALSE(HotKeyValid(kCtrlAltM));

            for (const uint16_t other : kLockStates) {
                if (other == held)
                    continue;
                EXPECT_EQ(OtherClientGets(kCtrlAlt | other, kKeysymM), kGrabbed)
                    << "Ctrl+Alt+M with " << LockText(other).toStdString()
                    << " stayed taken after the refusal";
            }
        }
        // Once the other client has gone the key is ours to take. The server
        // notices the end of a client a moment after it exits.
        EXPECT_TRUE(SpinUntil([&] { return m_manager->AddHotKey(kCtrlAltM) != 0; }, 5000))
            << "still refused after the other client ended: " << m_manager->LastError().toStdString();
        m_manager->ClearHotKeys();
    }
}

// Our keys are held in every lock state, so nobody else gets them, and
// ClearHotKeys gives every one of them back.
TEST_F(X11HotKeys, OwnKeysAreHeldInEveryLockStateUntilCleared)
{
    const uint16_t indexI = m_manager->AddHotKey(kCtrlAltI);
    ASSERT_NE(indexI, 0) << m_manager->LastError().toStdString();
    const uint16_t indexF1 = m_manager->AddHotKey(kCtrlF1);
    ASSERT_NE(indexF1, 0) << m_manager->LastError().toStdString();
    EXPECT_NE(indexI, indexF1);

    struct Case {
        const char *name;
        uint32_t hotKey;
        uint16_t mask;
        uint32_t keysym;
    };
    const Case cases[] = {{"Ctrl+Alt+I", kCtrlAltI, kCtrlAlt, kKeysymI},
                          {"Ctrl+F1", kCtrlF1, kCtrl, kKeysymF1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(HotKeyAvailable(c.hotKey)) << "a key we hold cannot be taken again";
        EXPECT_TRUE(HotKeyValid(c.hotKey));
        for (const uint16_t locks : kLockStates)
            EXPECT_EQ(OtherClientGets(c.mask | locks, c.keysym), kRefused)
                << "with " << LockText(locks).toStdString();
    }

    m_manager->ClearHotKeys();
    EXPECT_TRUE(m_manager->Registrations().empty());
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " after ClearHotKeys");
        for (const uint16_t locks : kLockStates)
            EXPECT_EQ(OtherClientGets(c.mask | locks, c.keysym), kGrabbed)
                << "with " << LockText(locks).toStdString();
        EXPECT_TRUE(HotKeyAvailable(c.hotKey));
    }
}

// Asking whether a free key is available takes it only for the question.
TEST_F(X11HotKeys, AskingAboutAFreeKeyLeavesItFree)
{
    EXPECT_TRUE(HotKeyAvailable(kCtrlAltM));
    EXPECT_TRUE(HotKeyValid(kCtrlAltM));
    for (const uint16_t locks : kLockStates)
        EXPECT_EQ(OtherClientGets(kCtrlAlt | locks, kKeysymM), kGrabbed)
            << "with " << LockText(locks).toStdString();
}

// Each press raises the event once, with the value and the index that
// AddHotKey gave, in every state of the lock keys.
TEST_F(X11HotKeys, PressesReachTheHandlerWhateverTheLockKeysSay)
{
    const uint16_t indexI = m_manager->AddHotKey(kCtrlAltI);
    ASSERT_NE(indexI, 0) << m_manager->LastError().toStdString();
    const uint16_t indexF1 = m_manager->AddHotKey(kCtrlF1);
    ASSERT_NE(indexF1, 0) << m_manager->LastError().toStdString();

    for (const uint16_t locks : kLockStates) {
        SCOPED_TRACE("with " + LockText(locks).toStdString());
        ASSERT_TRUE(SetLocks(locks));
        EXPECT_EQ(Presses({"ctrl+alt+i", "ctrl+F1"}, kCtrlF1),
                  (std::vector<Pressed>{{kCtrlAltI, indexI}, {kCtrlF1, indexF1}}));
    }
}

// Combinations that differ from ours in a modifier or the key go where
// they would go without us, here to our focused window, and raise nothing.
TEST_F(X11HotKeys, OtherCombinationsRaiseNothingAndStillReachTheFocusedWindow)
{
    KeySink sink;
    sink.setWindowTitle(QStringLiteral("hot key test sink"));
    sink.resize(200, 100);
    sink.show();
    sink.activateWindow();
    ASSERT_TRUE(SpinUntil([&] { return sink.isActiveWindow(); })) << "the test window did not get the focus";

    const uint16_t indexI = m_manager->AddHotKey(kCtrlAltI);
    ASSERT_NE(indexI, 0) << m_manager->LastError().toStdString();
    ASSERT_NE(m_manager->AddHotKey(kCtrlF1), 0) << m_manager->LastError().toStdString();

    const std::vector<const char *> others = {
        "i",          "alt+i", "ctrl+i",   "ctrl+shift+i", "ctrl+alt+shift+i", "super+ctrl+alt+i",
        "ctrl+alt+j", "F1",    "shift+F1", "ctrl+shift+F1"};
    std::vector<const char *> keys = others;
    keys.push_back("ctrl+alt+i");
    EXPECT_EQ(Presses(keys, kCtrlAltI), (std::vector<Pressed>{{kCtrlAltI, indexI}}));
    EXPECT_EQ(sink.m_keys, static_cast<int>(others.size()))
        << "the focused window should get every other combination, and not ours";

    // Given back, Ctrl+Alt+I is an ordinary key again.
    m_manager->ClearHotKeys();
    m_pressed.clear();
    const int before = sink.m_keys;
    ASSERT_TRUE(Press("ctrl+alt+i").isEmpty());
    EXPECT_TRUE(SpinUntil([&] { return sink.m_keys == before + 1; }))
        << "after ClearHotKeys, Ctrl+Alt+I did not reach the focused window";
    EXPECT_TRUE(m_pressed.empty());
}

// The two ways a keyboard map reaches the server: a new keyboard
// description (setxkbmap, as desktops' keyboard settings do), or a map
// written into the current one (xkbcomp's upload).
struct MapChange {
    const char *name;
    QString (*use)(const QString &layout);
};

const MapChange kMapChanges[] = {
    {"setxkbmap", [](const QString &layout) { return RunTool(QStringLiteral("setxkbmap"), {layout}); }},
    {"xkbcomp",
     [](const QString &layout) {
         return RunTool(QStringLiteral("sh"),
                        {QStringLiteral("-c"),
                         QStringLiteral("setxkbmap -print \"$1\" | xkbcomp -w0 - \"$DISPLAY\""),
                         QStringLiteral("sh"), layout});
     }},
};

void PrintTo(const MapChange &c, std::ostream *out)
{
    *out << c.name;
}

class X11HotKeysMapChange : public X11HotKeys, public ::testing::WithParamInterface<MapChange> {};

// A new keyboard map moves the letters to other keys: a hot key follows its
// letter, and the key that made the letter before is free again.
TEST_P(X11HotKeysMapChange, KeysFollowTheirLetters)
{
    if (QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xkbcomp")).isEmpty())
        GTEST_SKIP() << "setxkbmap or xkbcomp is not installed (both come with Xvfb, in x11-xkb-utils)";

    const uint16_t indexM = m_manager->AddHotKey(kCtrlAltM);
    ASSERT_NE(indexM, 0) << m_manager->LastError().toStdString();
    const uint16_t indexF1 = m_manager->AddHotKey(kCtrlF1);
    ASSERT_NE(indexF1, 0) << m_manager->LastError().toStdString();

    KeyboardChangeWatch watch;
    const auto useLayout = [&](const QString &layout) -> ::testing::AssertionResult {
        const int before = watch.m_changes;
        if (const QString error = GetParam().use(layout); !error.isEmpty())
            return ::testing::AssertionFailure() << error.toStdString();
        if (!SpinUntil([&] { return watch.m_changes > before; }))
            return ::testing::AssertionFailure() << "the change to " << layout.toStdString()
                                                 << " never reached this program's X connection";
        // A change may come as more than one event.
        Sync();
        SpinUntil([] { return false; }, 300);
        return ::testing::AssertionSuccess();
    };
    struct Restore {
        ~Restore() { GetParam().use(QStringLiteral("us")); }
    } restore;

    // French: m sits where the US map has the semicolon, and the comma
    // where the US map has the m.
    {
        SCOPED_TRACE("in the French map");
        ASSERT_TRUE(useLayout(QStringLiteral("fr")));
        EXPECT_EQ(OtherClientGets(kCtrlAlt, kKeysymM), kRefused)
            << "nothing holds Ctrl+Alt+M on the key that makes m now: the keys were not taken again";
        EXPECT_EQ(OtherClientGets(kCtrlAlt, kKeysymComma), kGrabbed)
            << "Ctrl+Alt+M is still held on the key that made m before the change";
        EXPECT_EQ(Presses({"ctrl+alt+comma", "ctrl+F1"}, kCtrlF1), (std::vector<Pressed>{{kCtrlF1, indexF1}}))
            << "Ctrl+Alt+comma, on the key that made m before the change, must raise nothing";
        EXPECT_EQ(Presses({"ctrl+alt+m"}, kCtrlAltM), (std::vector<Pressed>{{kCtrlAltM, indexM}}));
    }
    {
        SCOPED_TRACE("back in the US map");
        ASSERT_TRUE(useLayout(QStringLiteral("us")));
        EXPECT_EQ(Presses({"ctrl+alt+semicolon", "ctrl+F1"}, kCtrlF1),
                  (std::vector<Pressed>{{kCtrlF1, indexF1}}));
        EXPECT_EQ(Presses({"ctrl+alt+m"}, kCtrlAltM), (std::vector<Pressed>{{kCtrlAltM, indexM}}));
    }
}

INSTANTIATE_TEST_SUITE_P(KeyboardMaps, X11HotKeysMapChange, ::testing::ValuesIn(kMapChanges),
                         [](const ::testing::TestParamInfo<MapChange> &info) {
                             return std::string(info.param.name);
                         });

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        fprintf(stderr, "x11_hotkey_tests needs an X server: DISPLAY is not set\n");
        return 1;
    }
    const QFileInfo grabKey(qEnvironmentVariable("KV_GRAB_KEY"));
    if (!grabKey.isAbsolute() || !grabKey.isExecutable()) {
        fprintf(stderr, "x11_hotkey_tests needs KV_GRAB_KEY, the absolute path of grab_key; got '%s'\n",
                qPrintable(grabKey.filePath()));
        return 1;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        fprintf(stderr, "x11_hotkey_tests needs xdotool\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
