#include "server/guardedtcpserver.h"

#include "server/connectionguard.h"
#include "server/guardedsocket.h"
#include "server/requestlimits.h"

#include <QSslSocket>
#include <QTimer>

#include <cstring>

qint64 GuardedInput::takeReleased(char *data, qint64 maxSize)
{
    const qint64 size = qMin(maxSize, qint64(released.size()));
    std::memcpy(data, released.constData(), size_t(size));
    released.remove(0, size);
    return size;
}

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
