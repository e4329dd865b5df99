#include "server/guardedtcpserver.h"

#include "server/connectionguard.h"

#include <QTcpSocket>

GuardedTcpServer::GuardedTcpServer(qint64 maxBodyBytes, int idleSeconds, QObject *parent)
    : QTcpServer(parent)
    , maxBodyBytes(maxBodyBytes)
    , idleSeconds(idleSeconds)
{
}

void GuardedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    ConnectionGuard::attach(socket, maxBodyBytes, idleSeconds);
    addPendingConnection(socket);
}
