// The session and network requests for real, against python3-dbusmock's
// logind and NetworkManager on a private bus: which methods reach the
// daemons, with which arguments, and what a missing or refusing daemon
// makes of the answer. No display is needed.

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QDBusArgument>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "x11/SystemBus.h"

// Failures show the texts, not their bytes.
void PrintTo(const QString &s, std::ostream *out)
{
    *out << '"' << s.toStdString() << '"';
}

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kNmManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kWifiDevice = QStringLiteral("/org/freedesktop/NetworkManager/Devices/wlan0");
const QString kWiredDevice = QStringLiteral("/org/freedesktop/NetworkManager/Devices/eth0");

// An argument as the mock's own log writes it.
QString Text(const QVariant &v)
{
    if (v.metaType() == QMetaType::fromType<bool>())
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (v.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return '"' + v.value<QDBusObjectPath>().path() + '"';
    if (v.metaType() == QMetaType::fromType<QString>())
        return '"' + v.toString() + '"';
    return v.toString();
}

bool WaitFor(const std::function<bool()> &done, int ms = 20000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// A bus of this test's own, and stand-in daemons on it.
class PrivateBus {
  public:
    bool Start(QString &why)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            why = "dbus-daemon is not installed (scripts/packages.txt lists it)";
            return false;
        }
        QProcess probe;
        probe.start(kPython, {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
        if (!probe.waitForFinished(20000) || probe.exitCode() != 0) {
            why = "python3-dbusmock is not installed (scripts/packages.txt lists it)";
            return false;
        }
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral(
                    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    "<busconfig><type>system</type><listen>unix:path=%1/bus</listen>"
                    "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                    "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n")
                    .arg(m_dir.path())
                    .toUtf8());
        f.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {"--config-file=" + config, QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                        QStringLiteral("--print-address=1")});
        if (!WaitFor([this] { return m_daemon.canReadLine() || m_daemon.waitForReadyRead(100); }) ||
            !m_daemon.canReadLine()) {
            why = "dbus-daemon printed no address: " + QString::fromUtf8(m_daemon.readAllStandardError());
            return false;
        }
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(address, QStringLiteral("kv-test")));
        if (!bus->isConnected()) {
            why = "could not connect to the private bus: " + bus->lastError().message();
            return false;
        }
        return true;
    }

    ~PrivateBus()
    {
        if (bus)
            StopMock();
        bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("kv-test"));
        m_daemon.terminate();
        m_daemon.waitForFinished(10000);
    }

    // Starts a template on the bus and waits until it owns its name.
    void StartMock(const QString &name, const QString &templ, const QString &parameters = {})
    {
        StopMock();
        m_name = name;
        m_mock = std::make_unique<QProcess>();
        m_mock->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
        m_mock->setProcessEnvironment(env);
        QStringList args{QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                         QStringLiteral("--template"), templ};
        if (!parameters.isEmpty())
            args << QStringLiteral("-p") << parameters;
        m_mock->start(kPython, args);
        ASSERT_TRUE(m_mock->waitForStarted(20000)) << templ.toStdString() << " did not start";
        // Without an event loop only the waits notice that it ended.
        QDeadlineTimer deadline(20000);
        while (!bus->interface()->isServiceRegistered(m_name)) {
            ASSERT_FALSE(m_mock->waitForFinished(20)) << templ.toStdString() << " exited at start";
            ASSERT_FALSE(deadline.hasExpired()) << templ.toStdString() << " did not take its name on the bus";
        }
    }

    void StopMock()
    {
        if (!m_mock)
            return;
        m_mock->terminate();
        m_mock->waitForFinished(10000);
        m_mock.reset();
        WaitFor([this] { return !bus->interface()->isServiceRegistered(m_name); });
    }

    // Calls a method of the stand-in (its mock interface unless told).
    void Mock(const QString &path, const QString &method, const QVariantList &args,
              const QString &interface = kMockInterface)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(m_name, path, interface, method);
        call.setArguments(args);
        const QDBusMessage reply = bus->call(call, QDBus::Block, 20000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
    }

    // The methods the stand-in's objects at paths were asked for since their
    // last ClearCalls, in order, each with its arguments ("Reboot False").
    // Reading and writing properties are not among them.
    QStringList Calls(const QStringList &paths) const
    {
        QStringList calls;
        for (const QString &path : paths) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(m_name, path, kMockInterface, QStringLiteral("GetCalls"));
            const QDBusMessage reply = bus->call(call, QDBus::Block, 20000);
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                calls.append("GetCalls failed: " + reply.errorMessage());
                continue;
            }
            const QDBusArgument log = reply.arguments().first().value<QDBusArgument>();
            log.beginArray();
            while (!log.atEnd()) {
                quint64 when = 0;
                QString method;
                log.beginStructure();
                log >> when >> method;
                log.beginArray();
                while (!log.atEnd()) {
                    QDBusVariant argument;
                    log >> argument;
                    method += ' ' + Text(argument.variant());
                }
                log.endArray();
                log.endStructure();
                calls.append(method);
            }
            log.endArray();
        }
        return calls;
    }

    QString address;
    std::unique_ptr<QDBusConnection> bus;

  private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    std::unique_ptr<QProcess> m_mock;
    QString m_name;
};

class SystemBus : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        // The bus connections need an application object.
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "platform_tests";
            static char *argv[] = {name, nullptr};
            new QCoreApplication(argc, argv);
        }
    }

    void SetUp() override
    {
        QString why;
        ASSERT_TRUE(bus.Start(why)) << why.toStdString();
    }

    // Code for the mock's AddMethod: refuse as the daemons do.
    static QString Refusal(const char *text)
    {
        return QStringLiteral("raise dbus.exceptions.DBusException('%1', "
                              "name='org.freedesktop.DBus.Error.AccessDenied')")
            .arg(QString::fromUtf8(text));
    }

    PrivateBus bus;
};

TEST_F(SystemBus, EndingTheSessionAsksLogindForTheRightThing)
{
    // As logind answers: only pid 4242 runs inside a session.
    const QString byPid =
        QStringLiteral("if args[0] != 4242:\n"
                       "    raise dbus.exceptions.DBusException('PID does not belong to any known "
                       "session', name='org.freedesktop.login1.NoSessionForPID')\n"
                       "ret = '/org/freedesktop/login1/session/c1'");
    struct Case {
        const char *name;
        std::function<platform::ServiceResult(const QDBusConnection &)> request;
        bool findsByPid;      // logind answers GetSessionByPID for pid 4242
        const char *refusing; // a method that refuses, or nullptr
        bool ok;
        QStringList calls;
    } cases[] = {
        {"log off: the session of the process",
         [](const QDBusConnection &b) { return platform::TerminateSessionOf(b, 4242, QStringLiteral("c9")); },
         true,
         nullptr,
         true,
         {"GetSessionByPID 4242", "Terminate"}},
        {"log off: a process outside the sessions uses XDG_SESSION_ID",
         [](const QDBusConnection &b) { return platform::TerminateSessionOf(b, 4243, QStringLiteral("c9")); },
         true,
         nullptr,
         true,
         {"GetSessionByPID 4243", "TerminateSession \"c9\""}},
        {"log off: a logind without GetSessionByPID",
         [](const QDBusConnection &b) { return platform::TerminateSessionOf(b, 4242, QStringLiteral("c9")); },
         false,
         nullptr,
         true,
         {"TerminateSession \"c9\""}},
        {"log off: no session to be found",
         [](const QDBusConnection &b) { return platform::TerminateSessionOf(b, 4243, QString()); },
         true,
         nullptr,
         false,
         {"GetSessionByPID 4243"}},
        {"log off refused",
         [](const QDBusConnection &b) { return platform::TerminateSessionOf(b, 4242, {}); },
         true,
         "Terminate",
         false,
         {"GetSessionByPID 4242", "Terminate"}},
        {"restart", platform::RequestReboot, false, nullptr, true, {"Reboot False"}},
        {"shut down", platform::RequestPowerOff, false, nullptr, true, {"PowerOff False"}},
        {"restart refused", platform::RequestReboot, false, "Reboot", false, {"Reboot False"}},
        {"shut down refused", platform::RequestPowerOff, false, "PowerOff", false, {"PowerOff False"}},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        ASSERT_NO_FATAL_FAILURE(bus.StartMock(kLogind, QStringLiteral("logind")));
        ASSERT_NO_FATAL_FAILURE(
            bus.Mock(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("AddSession"),
                     {QStringLiteral("c1"), QStringLiteral("seat0"), 1000u, QStringLiteral("user"), true}));
        if (tc.findsByPid) {
            ASSERT_NO_FATAL_FAILURE(
                bus.Mock(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("AddMethod"),
                         {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetSessionByPID"),
                          QStringLiteral("u"), QStringLiteral("o"), byPid}));
        }
        if (tc.refusing) {
            const bool onSession = QString::fromUtf8(tc.refusing) == QLatin1String("Terminate");
            ASSERT_NO_FATAL_FAILURE(
                bus.Mock(onSession ? QStringLiteral("/org/freedesktop/login1/session/c1")
                                   : QStringLiteral("/org/freedesktop/login1"),
                         QStringLiteral("AddMethod"),
                         {onSession ? QStringLiteral("org.freedesktop.login1.Session")
                                    : QStringLiteral("org.freedesktop.login1.Manager"),
                          QString::fromUtf8(tc.refusing), onSession ? QString() : QStringLiteral("b"),
                          QString(), Refusal("Permission denied by the test")}));
        }
        // The set-up's own calls are not the program's.
        ASSERT_NO_FATAL_FAILURE(
            bus.Mock(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("ClearCalls"), {}));
        const platform::ServiceResult r = tc.request(*bus.bus);
        EXPECT_EQ(r.ok, tc.ok) << r.error.toStdString();
        if (tc.refusing) {
            EXPECT_EQ(r.error, QStringLiteral("Permission denied by the test"));
        } else if (!tc.ok) {
            EXPECT_FALSE(r.error.isEmpty());
        }
        EXPECT_EQ(bus.Calls({QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("/org/freedesktop/login1/session/c1")}),
                  tc.calls);
    }
}

TEST_F(SystemBus, ConnectingAsksNetworkManagerOnlyForWhatIsMissing)
{
    const QString activate = QStringLiteral("ActivateConnection \"/\" \"%1\" \"/\"");
    struct Case {
        const char *name;
        const char *parameters; // the template's JSON
        bool wifi;              // a wireless device, disconnected, with a connection it could use
        bool wired;             // a wired device, disconnected, with a connection it could use
        bool enableChangesNothing;
        bool refuseActivation;
        bool ok;
        QStringList calls;
    } cases[] = {
        {"connected", nullptr, true, false, false, false, true, {}},
        {"connecting", R"({"State": 40})", true, false, false, false, true, {}},
        {"disconnected: the wireless device",
         R"({"State": 20})",
         true,
         false,
         false,
         false,
         true,
         {"GetDevices", activate.arg(kWifiDevice)}},
        {"disconnected: wired before wireless",
         R"({"State": 20})",
         true,
         true,
         false,
         false,
         true,
         {"GetDevices", activate.arg(kWiredDevice)}},
        {"disconnected: no device could connect",
         R"({"State": 20})",
         false,
         false,
         false,
         false,
         false,
         {"GetDevices"}},
        {"disconnected: activation refused",
         R"({"State": 20})",
         true,
         false,
         false,
         true,
         false,
         {"GetDevices", activate.arg(kWifiDevice)}},
        {"networking off: switched on, and it connects",
         R"({"State": 10, "NetworkingEnabled": false})",
         true,
         false,
         false,
         false,
         true,
         {"Enable True"}},
        {"networking off: switched on, then a device",
         R"({"State": 10, "NetworkingEnabled": false})",
         true,
         false,
         true,
         false,
         true,
         {"Enable True", "GetDevices", activate.arg(kWifiDevice)}},
        {"networking off: switched on, devices still waking",
         R"({"State": 10, "NetworkingEnabled": false})",
         false,
         false,
         true,
         false,
         true,
         {"Enable True", "GetDevices"}},
    };
    const QString nmMain = QStringLiteral("/org/freedesktop");
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.name);
        ASSERT_NO_FATAL_FAILURE(bus.StartMock(kNetworkManager, QStringLiteral("networkmanager"),
                                              tc.parameters ? QString::fromUtf8(tc.parameters) : QString()));
        // A device that cannot connect: no carrier.
        ASSERT_NO_FATAL_FAILURE(bus.Mock(nmMain, QStringLiteral("AddEthernetDevice"),
                                         {QStringLiteral("eth1"), QStringLiteral("eth1"), 20}));
        if (tc.wifi) {
            ASSERT_NO_FATAL_FAILURE(bus.Mock(nmMain, QStringLiteral("AddWiFiDevice"),
                                             {QStringLiteral("wlan0"), QStringLiteral("wlan0"), 30}));
            ASSERT_NO_FATAL_FAILURE(bus.Mock(nmMain, QStringLiteral("AddAccessPoint"),
                                             {kWifiDevice, QStringLiteral("ap0"), QStringLiteral("home"),
                                              QStringLiteral("00:11:22:33:44:55"), 2u, 2412u, 54000u,
                                              QVariant::fromValue(uchar(80)), 0u}));
            ASSERT_NO_FATAL_FAILURE(
                bus.Mock(nmMain, QStringLiteral("AddWiFiConnection"),
                         {kWifiDevice, QStringLiteral("home"), QStringLiteral("home"), QString()}));
        }
        if (tc.wired) {
            ASSERT_NO_FATAL_FAILURE(bus.Mock(nmMain, QStringLiteral("AddEthernetDevice"),
                                             {QStringLiteral("eth0"), QStringLiteral("eth0"), 30}));
            const QList<QDBusObjectPath> connections{
                QDBusObjectPath(QStringLiteral("/org/freedesktop/NetworkManager/Settings/wired"))};
            ASSERT_NO_FATAL_FAILURE(
                bus.Mock(kWiredDevice, QStringLiteral("Set"),
                         {QStringLiteral("org.freedesktop.NetworkManager.Device"),
                          QStringLiteral("AvailableConnections"),
                          QVariant::fromValue(QDBusVariant(QVariant::fromValue(connections)))},
                         QStringLiteral("org.freedesktop.DBus.Properties")));
        }
        // NetworkManager picks the connection itself when given "/"; the
        // template wants a real one, so it answers here as the daemon does.
        ASSERT_NO_FATAL_FAILURE(
            bus.Mock(kNmManagerPath, QStringLiteral("AddMethod"),
                     {kNetworkManager, QStringLiteral("ActivateConnection"), QStringLiteral("ooo"),
                      QStringLiteral("o"),
                      tc.refuseActivation
                          ? Refusal("Not authorized to control networking.")
                          : QStringLiteral("ret = '/org/freedesktop/NetworkManager/ActiveConnection/7'")}));
        if (tc.enableChangesNothing) {
            ASSERT_NO_FATAL_FAILURE(bus.Mock(
                kNmManagerPath, QStringLiteral("AddMethod"),
                {kNetworkManager, QStringLiteral("Enable"), QStringLiteral("b"), QString(), QString()}));
        }
        ASSERT_NO_FATAL_FAILURE(bus.Mock(kNmManagerPath, QStringLiteral("ClearCalls"), {}));
        const platform::ServiceResult r = platform::ConnectThroughNetworkManager(*bus.bus);
        EXPECT_EQ(r.ok, tc.ok) << r.error.toStdString();
        if (tc.refuseActivation) {
            EXPECT_EQ(r.error, QStringLiteral("Not authorized to control networking."));
        } else if (!tc.ok) {
            EXPECT_FALSE(r.error.isEmpty());
        }
        EXPECT_EQ(bus.Calls({kNmManagerPath}), tc.calls);
    }
}

TEST_F(SystemBus, NoDaemonOrNoBusIsAFailureWithTheSystemsText)
{
    // Nothing owns the names on this bus.
    for (const auto &request :
         {std::function(platform::ConnectThroughNetworkManager), std::function(platform::RequestReboot),
          std::function(platform::RequestPowerOff), std::function([](const QDBusConnection &b) {
              return platform::TerminateSessionOf(b, 1, QStringLiteral("c1"));
          })}) {
        const platform::ServiceResult r = request(*bus.bus);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.error.contains(QStringLiteral("org.freedesktop"))) << r.error.toStdString();
    }
    // No bus at all.
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/kestrava-no-bus"), QStringLiteral("kv-no-bus"));
    for (const auto &request :
         {std::function(platform::ConnectThroughNetworkManager), std::function(platform::RequestReboot)}) {
        const platform::ServiceResult r = request(none);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.isEmpty());
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("kv-no-bus"));
}

TEST_F(SystemBus, ADaemonThatDoesNotAnswerCostsTheBudgetOnce)
{
    ASSERT_NO_FATAL_FAILURE(bus.StartMock(kLogind, QStringLiteral("logind")));
    ASSERT_NO_FATAL_FAILURE(
        bus.Mock(QStringLiteral("/org/freedesktop/login1"), QStringLiteral("AddMethod"),
                 {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"),
                  QStringLiteral("b"), QString(), QStringLiteral("import time; time.sleep(4)")}));
    platform::BusRequests logind(*bus.bus, kLogind, 400);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(logind.Call(QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Reboot"),
                             {false}));
    EXPECT_FALSE(logind.error.isEmpty());
    EXPECT_FALSE(logind.Call(QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"),
                             {false}));
    EXPECT_LT(clock.elapsed(), 2500)
        << "two requests to a silent daemon waited longer than their shared budget";
}

} // namespace
