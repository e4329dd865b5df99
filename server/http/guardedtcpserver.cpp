#include "server/http/guardedtcpserver.h"

#include "server/http/connectionguard.h"
#include "server/http/guardedsocket.h"
#include "server/http/requestlimits.h"

#include <QSslSocket>
#include <QTimer>

GuardedTcpServer::GuardedTcpServer(int idleSeconds, int requestSeconds, QObject *parent)
    : QTcpServer(parent)
    , idleSeconds(idleSeconds)
    , requestSeconds(requestSeconds)
{
}

void GuardedTcpServer::setTls(const QSslConfiguration &configuration)
{
    tls = configuration;
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket *socket = nullptr;
    GuardedInput *input = nullptr;
    QSslSocket *tlsSocket = nullptr;
    if (tls) {
        auto *guarded = new GuardedSocket<QSslSocket>(this);
        guarded->setSslConfiguration(*tls);
        socket = tlsSocket = guarded;
        input = guarded;
    } else {
        auto *guarded = new GuardedSocket<QTcpSocket>(this);
        socket = guarded;
        input = guarded;
    }
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const QHostAddress peer = socket->peerAddress();
    if (openPerAddress.value(peer) >= RequestLimits::MaxConnectionsPerAddress) {
        socket->abort();
        delete socket;
        return;
    }
    ++openPerAddress[peer];
    connect(socket, &QObject::destroyed, this, [this, peer] {
        if (--openPerAddress[peer] <= 0)
            openPerAddress.remove(peer);
    });
    ConnectionGuard::attach(socket, input, idleSeconds, requestSeconds);
    if (tlsSocket) {
        tlsSocket->startServerEncryption();
        QTimer::singleShot(requestSeconds * 1000, tlsSocket, [tlsSocket] {
            if (!tlsSocket->isEncrypted())
                tlsSocket->abort();
        });
    }
    addPendingConnection(socket);
}
