#pragma once

#include <QObject>
#include <QTimer>

class QTcpSocket;

// Watches one client connection below the HTTP layer, which buffers a whole
// request before anybody sees it: a request that grows past the body limit is
// answered 413 at once and the rest of its bytes are discarded instead of
// stored, and a connection that stays silent too long is closed. It must be
// attached before the HTTP layer connects to the socket, so that it sees the
// data first.
class ConnectionGuard : public QObject {
    Q_OBJECT

public:
    // Bytes a request may take beyond its body: request line and headers.
    static const qint64 HeaderAllowance = 64 * 1024;

    static void attach(QTcpSocket *socket, qint64 maxBodyBytes, int idleSeconds);

private:
    ConnectionGuard(QTcpSocket *socket, qint64 maxBodyBytes, int idleSeconds);

    void onReadyRead();
    void refuseOversizedRequest();

    QTcpSocket *socket;
    qint64 maxRequestBytes;
    qint64 receivedSinceReply = 0;
    qint64 discarded = 0;
    bool draining = false;
    QTimer idleTimer;
};
