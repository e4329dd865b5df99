#include "server/connectionguard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

namespace {

// A client still sending a refused body is given this much before the
// connection is cut.
const qint64 MaxDiscardedBytes = 256 * 1024 * 1024;

} // namespace

void ConnectionGuard::attach(QTcpSocket *socket, qint64 maxBodyBytes, int idleSeconds)
{
    new ConnectionGuard(socket, maxBodyBytes, idleSeconds);
}

ConnectionGuard::ConnectionGuard(QTcpSocket *socket, qint64 maxBodyBytes, int idleSeconds)
    : QObject(socket)
    , socket(socket)
    , maxRequestBytes(maxBodyBytes + HeaderAllowance)
{
    idleTimer.setSingleShot(true);
    idleTimer.setInterval(idleSeconds * 1000);
    connect(&idleTimer, &QTimer::timeout, socket, &QTcpSocket::abort);
    idleTimer.start();
    connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        receivedSinceReply = 0;
        idleTimer.start();
    });
}

void ConnectionGuard::onReadyRead()
{
    idleTimer.start();
    if (draining) {
        discarded += socket->readAll().size();
        if (discarded > MaxDiscardedBytes)
            socket->abort();
        return;
    }
    receivedSinceReply += socket->bytesAvailable();
    if (receivedSinceReply > maxRequestBytes)
        refuseOversizedRequest();
}

void ConnectionGuard::refuseOversizedRequest()
{
    draining = true;
    discarded = socket->readAll().size();
    const QByteArray body
        = QJsonDocument(QJsonObject {{QStringLiteral("detail"),
                            QStringLiteral("A kérés törzse túl nagy (legfeljebb 1 MiB).")}})
              .toJson(QJsonDocument::Compact);
    socket->write("HTTP/1.1 413 Payload Too Large\r\n"
                  "Content-Type: application/json; charset=utf-8\r\n"
                  "Content-Length: "
        + QByteArray::number(body.size())
        + "\r\n"
          "Connection: close\r\n\r\n"
        + body);
    // The connection ends when the client has finished sending and gone
    // quiet, or at the idle limit; closing earlier would reset it and could
    // lose the reply on the client's side.
    idleTimer.setInterval(qMin(idleTimer.interval(), 2000));
    disconnect(&idleTimer, nullptr, socket, nullptr);
    connect(&idleTimer, &QTimer::timeout, socket, &QTcpSocket::disconnectFromHost);
    idleTimer.start();
}
