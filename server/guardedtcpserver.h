#pragma once

#include <QTcpServer>

// A plain TCP server that attaches a ConnectionGuard to every connection
// before handing it on.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    GuardedTcpServer(qint64 maxBodyBytes, int idleSeconds, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    qint64 maxBodyBytes;
    int idleSeconds;
};
