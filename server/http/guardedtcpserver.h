#pragma once

#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QTcpServer>
#include <optional>

// A TCP server, or a TLS one once setTls is called, that puts a
// ConnectionGuard in front of every connection before handing it on, and
// closes at once a connection from an address that already has the most
// open connections allowed.
class GuardedTcpServer : public QTcpServer {
    Q_OBJECT

public:
    GuardedTcpServer(int idleSeconds, int requestSeconds, QObject *parent = nullptr);

    void setTls(const QSslConfiguration &configuration);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    int idleSeconds;
    int requestSeconds;
    std::optional<QSslConfiguration> tls;
    QHash<QHostAddress, int> openPerAddress;
};
