#pragma once

// The machine-wide services behind the system buttons: ending the session
// and bringing the network up. Both are requests to system daemons that may
// be missing or may refuse; each answers ok or the system's own reason, and
// never pretends. Every request is bounded in time (a few seconds at most),
// because the buttons call them on the GUI thread; that holds for a bus that
// accepts the connection and then never answers, too.

#include <QString>

namespace platform {

struct ServiceResult {
    bool ok = false;
    QString error; // the system's own text when !ok
};

class SessionControl {
  public:
    virtual ~SessionControl() = default;
    // Ends the login session this process belongs to.
    virtual ServiceResult LogOff() = 0;
    // Reboots or powers off the machine, without asking the user anything:
    // the program has already asked its own question.
    virtual ServiceResult Reboot() = 0;
    virtual ServiceResult PowerOff() = 0;
};

class Network {
  public:
    virtual ~Network() = default;
    // Makes sure the machine is online: nothing to do when it is connected
    // or already connecting; otherwise networking is switched on if it is
    // off and a connection is activated. Fails when no network service is
    // there to ask or it refuses.
    virtual ServiceResult Connect() = 0;
};

SessionControl &Session();
Network &Networking();

} // namespace platform
