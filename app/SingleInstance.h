#pragma once

// One launcher per user: a lock held for the life of the process and a local
// socket on which a later start asks this one to come to the front.
//
// Both live in a folder that only this user can enter. When no such folder can
// be had, or the lock cannot be taken for any reason but another instance
// holding it, the launcher starts anyway, without the one-instance guard: a
// second launcher is a smaller harm than none.

#include <QObject>
#include <QString>

class QSocketNotifier;

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // name is the lock's and the socket's file name in the runtime folder.
    explicit SingleInstance(const QString &name, QObject *parent = nullptr);
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

    QString m_folderProblem; // why there is no runtime folder, when there is none
    QString m_lockPath;
    QString m_socketPath;
    QString m_lastError;
    int m_lockFd = -1;
    int m_listenFd = -1;
    QSocketNotifier *m_incoming = nullptr;
};
