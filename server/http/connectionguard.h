#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

class GuardedInput;
class QTcpSocket;

// Stands between one client connection and the HTTP layer. It reads every
// byte first and checks each request's framing: the request line and
// version, the number and size of header lines, Content-Length against
// Transfer-Encoding and the body limit, and Host. A request reaches the
// HTTP layer only whole, checked, and once the reply to the one before it
// has been written, so that layer never parses a malformed or half-sent
// request and pipelined replies keep their order. A refused request is
// answered here and the connection closed: nothing after it is read as a
// request. Bytes that are not HTTP end the connection at once; a request
// line and headers that take too long, or a body that stops, get 408.
class ConnectionGuard : public QObject {
    Q_OBJECT

public:
    static void attach(
        QTcpSocket *socket, GuardedInput *input, int idleSeconds, int requestSeconds);
    // The reply to the request released last has been written.
    static void replied(QTcpSocket *socket);

private:
    struct Request {
        QByteArray bytes;
        bool closeAfterReply = false;
    };

    ConnectionGuard(QTcpSocket *socket, GuardedInput *input, int idleSeconds, int requestSeconds);

    void onReadyRead();
    bool takeRequest();
    bool takeHead();
    bool checkHead(const QByteArray &head);
    bool refuse(const QByteArray &status, const QString &detail);
    void releaseNext();
    void onIdle();
    void onRequestTimeout();

    QTcpSocket *socket;
    GuardedInput *input;
    // The request being received: its head so far, or its head and body.
    QByteArray incoming;
    qsizetype lineStart = 0;
    qsizetype scanned = 0;
    int headLines = 0;
    // Head and body size once the head has been checked; -1 before.
    qint64 requestSize = -1;
    bool closeAfterReply = false;
    QList<Request> waiting;
    // The reply to a refused request, sent once earlier replies are out.
    QByteArray refusal;
    bool inFlight = false;
    bool closeAfterCurrent = false;
    bool releasing = false;
    bool lingering = false;
    qint64 discarded = 0;
    QTimer idleTimer;
    QTimer requestTimer;
};
