#pragma once

// One launcher per configuration at most: a lock held for the life of the
// process and a local socket on which a later start asks this one to come to
// the front.
//
// Where the two live decides what "one" means. In the user's runtime folder
// (XDG_RUNTIME_DIR, when it is a folder that only this user can enter and
// change) they make one launcher per user. Without such a folder they go into
// the configuration's own folder, beside the files two launchers would
// overwrite, which makes one launcher per configuration. A folder of our own in
// the shared temp folder is no substitute: another user can take its name
// first, or take it and later remove it, and the next start would then pass
// by a launcher that runs on the same configuration.
//
// The socket's address is its path when that fits in a socket address (at
// most 107 bytes); a longer one is reached through a descriptor of the
// folder held open for this, as /proc/self/fd/N/<name>, which is short
// whatever the folder's path. The socket file is made owner-only as it is
// bound, and a caller of any other user is hung up on unheard, so that nobody
// else can bring this launcher forward, whatever the folder lets them reach.
//
// When no folder can be had, or the lock cannot be taken for any reason but
// another instance holding it, the launcher starts anyway, without the
// one-instance guard, and says so: a second launcher is a smaller harm than
// none.

#include <string>

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // name is the socket's file name, and with ".lock" the lock's.
    // configFolder holds the configuration (as the system spells it); the
    // two go there when the runtime folder is not private.
    SingleInstance(const QString &name, const std::string &configFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // False only when another instance holds the lock. True when this process
    // holds it (and then listens for requests whenever it can) and when no
    // lock can be used at all.
    bool Acquire();
    // Asks the running instance to show its window; false when none answered.
    bool SignalRunning(int timeoutMs = 1000) const;

    // The last problem reported through channelError, empty when none was.
    // Problems found by Acquire come before anyone is likely to be connected.
    QString LastError() const { return m_lastError; }

  signals:
    void showRequested();
    // The one-instance guard is off, or later starts cannot reach this one
    // (for now or for good). Each problem is also written once to stderr.
    void channelError(const QString &message);

  private slots:
    // Takes every caller that waits; a failure leaves the socket open.
    void Accept();

  private:
    void Listen();
    void Serve(int fd);
    void Report(const QString &message);
    // A file of the folder, as messages name it.
    QString Shown(const QByteArray &name) const;

    QByteArray m_name;       // the socket's file name
    QByteArray m_folder;     // where the lock and the socket are, empty when nowhere
    QString m_folderProblem; // why there is no folder, when there is none
    QString m_lastError;
    int m_folderFd = -1; // the folder, opened only as a place (O_PATH)
    int m_lockFd = -1;
    int m_listenFd = -1;
    QSocketNotifier *m_incoming = nullptr;
};
