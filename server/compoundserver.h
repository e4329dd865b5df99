#pragma once

#include "server/accessguard.h"
#include "server/authroutes.h"
#include "server/compoundroutes.h"
#include "server/filesroutes.h"
#include "server/serveroptions.h"
#include "server/sessionstore.h"
#include "server/userroutes.h"

#include <QHttpServer>
#include <QObject>
#include <QSslConfiguration>

class Database;

// The HTTP(S) front: refuses oversized bodies, dispatches by path to the
// routes and logs one line per request (method, path, status; never a body,
// a query or a header).
class CompoundServer : public QObject {
    Q_OBJECT

public:
    static const qint64 MaxBodyBytes = 1024 * 1024;

    CompoundServer(Database &database, const ServerOptions &options, QObject *parent = nullptr);

    // Listens on the loopback addresses; false with a reason on failure.
    bool start(QString *reason);
    quint16 port() const;

private:
    bool listenOn(const QHostAddress &address, quint16 port, const QSslConfiguration &tls);
    void respond(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    QHttpServerResponse dispatch(const QHttpServerRequest &request);

    ServerOptions options;
    QHttpServer http;
    SessionStore sessions;
    AccessGuard guard;
    AuthRoutes authRoutes;
    CompoundRoutes compoundRoutes;
    UserRoutes userRoutes;
    FilesRoutes filesRoutes;
    quint16 boundPort = 0;
};
