#pragma once

#include "server/auth/accessguard.h"
#include "server/auth/passwordwork.h"
#include "server/auth/sessionstore.h"
#include "server/routes/authroutes.h"
#include "server/routes/compoundroutes.h"
#include "server/routes/filesroutes.h"
#include "server/routes/serveroptions.h"
#include "server/routes/userroutes.h"

#include <QHttpServer>
#include <QObject>
#include <QSslConfiguration>
#include <QStringList>

class Database;

// The HTTP(S) front: guarded connections (see ConnectionGuard), dispatch by
// path to the routes, whose replies may come later from PasswordWork, and
// one log line per request (method, path, status; never a body, a query or
// a header).
class CompoundServer : public QObject {
    Q_OBJECT

public:
    CompoundServer(Database &database, const ServerOptions &options, QObject *parent = nullptr);

    // Listens on the configured addresses; false with a reason on failure.
    bool start(QString *reason);
    quint16 port() const;
    // The URL of each address it listens on, the first of them being the
    // origin of image URLs unless the options name another.
    const QStringList &urls() const;

private:
    bool listenOn(const QHostAddress &address, const QSslConfiguration &tls);
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
    QStringList listeningUrls;
};
