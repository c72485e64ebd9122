#pragma once

// One launcher per user: a lock held for the life of the process and a local
// socket on which a later start asks this one to come to the front.

#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // name is the lock's and the socket's file name in the runtime folder.
    explicit SingleInstance(const QString &name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first; it then listens for requests.
    bool Acquire();
    // Asks the running instance to show its window; false when none answered.
    bool SignalRunning(int timeoutMs = 1000) const;

    static QByteArray ShowRequest() { return QByteArrayLiteral("show\n"); }

  signals:
    void showRequested();

  private:
    void Accept();
    QString m_lockPath;
    QString m_socketPath;
    int m_lockFd = -1;
    QLocalServer *m_server = nullptr;
};
