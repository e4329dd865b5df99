#pragma once

#include "server/http/requestlimits.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QThread>

// How one server process runs, as the command line sets it.
struct ServerOptions {
    QString databasePath;
    QString imagesDir;
    QString releasesDir;
    QString certificatePath;
    QString keyPath;
    // Plain HTTP, loopback only; for tests.
    bool plainHttp = false;
    // Where to listen; none: 127.0.0.1 and, where the host has it, ::1.
    QList<QHostAddress> listenAddresses;
    quint16 port = 8443;
    // The origin clients reach the server at; derived from the addresses
    // and the port if empty (see clientOrigin).
    QString publicOrigin;
    qint64 tokenSeconds = 8 * 3600;
    qint64 reauthSeconds = 600;
    // A connection silent this long is closed.
    int idleSeconds = 60;
    // A request line and headers taking longer from their first byte, or a
    // body pausing longer, get 408.
    int requestSeconds = RequestLimits::RequestSeconds;
    // No line per request on the log.
    bool quiet = false;
    // Password hashing jobs that run at once.
    int hashThreads = QThread::idealThreadCount();

    // scheme://address:port of one address served on.
    QString urlOf(const QHostAddress &address, quint16 boundPort) const;
    // The one URL of the loopback default: the name a local test server's
    // certificate is made for.
    QString loopbackUrl(quint16 boundPort) const;
    // Where clients reach the server: publicOrigin, else the first address
    // served on, else the loopback URL. Image URLs start with it, and a
    // published client must be built for it.
    QString clientOrigin(quint16 boundPort) const;
};
