#pragma once

#include "server/accessguard.h"
#include "server/authroutes.h"
#include "server/compoundroutes.h"
#include "server/filesroutes.h"
#include "server/passwordwork.h"
#include "server/serveroptions.h"
#include "server/sessionstore.h"
#include "server/userroutes.h"

#include <QHttpServer>
#include <QObject>
#include <QSslConfiguration>

class Database;

// The HTTP(S) front: guarded connections (see ConnectionGuard), dispatch by
// path to the routes, whose replies may come later from PasswordWork, and
// one log line per request (method, path, status; never a body, a query or
// a header).
class CompoundServer : public QObject {
    Q_OBJECT

public:
    CompoundServer(Database &database, const ServerOptions &options, QObject *parent = nullptr);

    // Listens on the loopback addresses; false with a reason on failure.
    bool start(QString *reason);
    quint16 port() const;

private:
    bool listenOn(const QHostAddress &address, quint16 port, const QSslConfiguration &tls);
    void respond(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    QFuture<QHttpServerResponse> dispatch(const QHttpServerRequest &request);

    ServerOptions options;
    QHttpServer http;
    SessionStore sessions;
    AccessGuard guard;
    PasswordWork passwordWork;
    AuthRoutes authRoutes;
    CompoundRoutes compoundRoutes;
    UserRoutes userRoutes;
    FilesRoutes filesRoutes;
    quint16 boundPort = 0;
};
