#include "FakeSystemServices.h"

namespace platform {

FakeSessionControl &FakeSession()
{
    static FakeSessionControl session;
    return session;
}

FakeNetwork &FakeNetworking()
{
    static FakeNetwork network;
    return network;
}

SessionControl &Session()
{
    return FakeSession();
}

Network &Networking()
{
    return FakeNetworking();
}

} // namespace platform
