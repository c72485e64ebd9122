// Going online through NetworkManager on the system bus.

#include <QDBusArgument>
#include <QDBusObjectPath>

#include "SystemBus.h"

namespace platform {

namespace {

const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");

// NetworkManager's global states (NMState) and device states (NMDeviceState)
// that matter here.
constexpr uint kStateConnecting = 40;
constexpr uint kDeviceDisconnected = 30;
constexpr uint kDeviceFailed = 120;
// Device types (NMDeviceType): wired before wireless, the loopback never.
constexpr uint kTypeEthernet = 1;
constexpr uint kTypeWifi = 2;
constexpr uint kTypeLoopback = 32;

// An "ao" arrives as a list of paths or, inside a variant, still marshalled.
QList<QDBusObjectPath> ObjectPaths(const QVariant &v)
{
    if (v.metaType() == QMetaType::fromType<QDBusArgument>())
        return qdbus_cast<QList<QDBusObjectPath>>(v);
    return v.value<QList<QDBusObjectPath>>();
}

int Preference(uint type)
{
    return type == kTypeEthernet ? 0 : type == kTypeWifi ? 1 : 2;
}

// The device to bring up: one that is free to connect and has a connection
// it could use, wired first. Empty when there is none.
QString DeviceToActivate(BusRequests &nm, const QList<QDBusObjectPath> &devices)
{
    QString best;
    int bestPreference = 3;
    for (const QDBusObjectPath &device : devices) {
        const QVariantMap p = nm.Properties(device.path(), kDevice);
        const uint type = p.value(QStringLiteral("DeviceType")).toUInt();
        const uint state = p.value(QStringLiteral("State")).toUInt();
        if (type == kTypeLoopback || (state != kDeviceDisconnected && state != kDeviceFailed) ||
            ObjectPaths(p.value(QStringLiteral("AvailableConnections"))).isEmpty())
            continue;
        if (Preference(type) < bestPreference) {
            best = device.path();
            bestPreference = Preference(type);
        }
    }
    return best;
}

class NetworkManagerNetwork : public Network {
  public:
    ServiceResult Connect() override
    {
        if (ServiceResult bus = ProbeSystemBus(); !bus.ok)
            return bus;
        return ConnectThroughNetworkManager(QDBusConnection::systemBus());
    }
};

} // namespace

ServiceResult ConnectThroughNetworkManager(const QDBusConnection &bus)
{
    BusRequests nm(bus, kNetworkManager);
    // Connecting counts as online: NetworkManager is already on its way.
    auto online = [](const QVariant &state) { return state.isValid() && state.toUInt() >= kStateConnecting; };
    const QVariant state = nm.Property(kManagerPath, kNetworkManager, QStringLiteral("State"));
    if (!state.isValid())
        return {false, nm.error};
    if (online(state))
        return {true, {}};

    bool enabled = false;
    const QVariant networking =
        nm.Property(kManagerPath, kNetworkManager, QStringLiteral("NetworkingEnabled"));
    if (!networking.isValid())
        return {false, nm.error};
    if (!networking.toBool()) {
        if (!nm.Call(kManagerPath, kNetworkManager, QStringLiteral("Enable"), {true}))
            return {false, nm.error};
        enabled = true;
        if (online(nm.Property(kManagerPath, kNetworkManager, QStringLiteral("State"))))
            return {true, {}};
    }

    const auto devices = nm.Call(kManagerPath, kNetworkManager, QStringLiteral("GetDevices"));
    if (!devices)
        return {false, nm.error};
    const QString device =
        DeviceToActivate(nm, devices->isEmpty() ? QList<QDBusObjectPath>() : ObjectPaths(devices->first()));
    if (device.isEmpty()) {
        // Just woken, the devices are still coming up, and NetworkManager
        // connects them by itself once they are.
        if (enabled)
            return {true, {}};
        return {false, QStringLiteral("No network device has a connection to activate")};
    }
    // "/" for the connection and the specific object: NetworkManager picks
    // the best connection for the device, as it would by itself.
    const QDBusObjectPath none(QStringLiteral("/"));
    if (!nm.Call(kManagerPath, kNetworkManager, QStringLiteral("ActivateConnection"),
                 {QVariant::fromValue(none), QVariant::fromValue(QDBusObjectPath(device)),
                  QVariant::fromValue(none)}))
        return {false, nm.error};
    return {true, {}};
}

Network &Networking()
{
    static NetworkManagerNetwork network;
    return network;
}

} // namespace platform
