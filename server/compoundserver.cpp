#include "server/compoundserver.h"

#include "server/apirequest.h"
#include "server/connectionguard.h"
#include "server/guardedtcpserver.h"
#include "server/jsonreply.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>

#include <memory>

namespace {

using Status = JsonReply::Status;

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    default:
        return "OTHER";
    }
}

bool loadTls(QSslConfiguration *tls, const ServerOptions &options, QString *reason)
{
    QFile certFile(options.certificatePath);
    QFile keyFile(options.keyPath);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("cannot read the certificate %1 or the key %2")
                      .arg(options.certificatePath, options.keyPath);
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyData = keyFile.readAll();
    QSslKey key(keyData, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyData, QSsl::Rsa, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        *reason = QStringLiteral("the certificate or the key is not a usable PEM file");
        return false;
    }
    *tls = QSslConfiguration::defaultConfiguration();
    tls->setLocalCertificateChain(chain);
    tls->setPrivateKey(key);
    tls->setProtocol(QSsl::TlsV1_2OrLater);
    tls->setPeerVerifyMode(QSslSocket::VerifyNone); // no client certificates
    return true;
}

} // namespace

CompoundServer::CompoundServer(Database &database, const ServerOptions &options, QObject *parent)
    : QObject(parent)
    , options(options)
    , sessions(options.tokenSeconds, options.reauthSeconds)
    , guard(database, sessions)
    , authRoutes(database, sessions, guard, passwordWork)
    , compoundRoutes(database, guard)
    , userRoutes(database, sessions, guard, passwordWork)
    , filesRoutes(options.releasesDir, options.imagesDir)
{
    http.setMissingHandler(
        [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
            respond(request, std::move(responder));
        });
}

bool CompoundServer::start(QString *reason)
{
    QSslConfiguration tls;
    if (!options.plainHttp && !loadTls(&tls, options, reason))
        return false;
    if (!listenOn(QHostAddress::LocalHost, options.port, tls)) {
        *reason = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(options.port);
        return false;
    }
    // The same port on ::1 too, for clients that resolve localhost to IPv6
    // first; a host without IPv6 simply goes without.
    listenOn(QHostAddress::LocalHostIPv6, boundPort, tls);

    QString origin = options.publicOrigin;
    if (origin.isEmpty())
        origin = options.plainHttp ? QStringLiteral("http://127.0.0.1:%1").arg(boundPort)
                                   : QStringLiteral("https://localhost:%1").arg(boundPort);
    compoundRoutes.setImageOrigin(origin);
    return true;
}

bool CompoundServer::listenOn(
    const QHostAddress &address, quint16 port, const QSslConfiguration &tls)
{
    auto *server = new GuardedTcpServer(options.idleSeconds, options.requestSeconds, this);
    if (!options.plainHttp)
        server->setTls(tls);
    if (!server->listen(address, port)) {
        delete server;
        return false;
    }
    boundPort = server->serverPort();
    http.bind(server);
    return true;
}

quint16 CompoundServer::port() const
{
    return boundPort;
}

void CompoundServer::respond(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    QElapsedTimer timer;
    timer.start();
    const QByteArray logLine = options.quiet
        ? QByteArray()
        : methodName(request.method()) + ' ' + request.url().path(QUrl::FullyEncoded).toLatin1();
    QFuture<QHttpServerResponse> reply = dispatch(request);
    // The connection may be gone by the time a later reply is ready.
    auto deliver = [logLine, timer, socket = QPointer<QTcpSocket>(responder.socket()),
                       responder = std::make_shared<QHttpServerResponder>(std::move(responder))](
                       QFuture<QHttpServerResponse> done) {
        QHttpServerResponse response = done.takeResult();
        if (!logLine.isEmpty())
            qInfo("%s -> %d (%lld ms)", logLine.constData(), int(response.statusCode()),
                timer.elapsed());
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            return;
        response.write(std::move(*responder));
        ConnectionGuard::replied(socket);
    };
    if (reply.isFinished()) {
        deliver(reply);
        return;
    }
    // Taken on a later turn of the event loop: in Qt 6.4, taking a move-only
    // result while the continuation that made it is still running resets
    // that future, which then runs its continuations a second time.
    reply.then(this, [this, deliver](const QFuture<QHttpServerResponse> &done) {
        QMetaObject::invokeMethod(
            this, [deliver, done] { deliver(done); }, Qt::QueuedConnection);
    });
}

QFuture<QHttpServerResponse> CompoundServer::dispatch(const QHttpServerRequest &request)
{
    const ApiRequest apiRequest(request);
    const QStringList &segments = apiRequest.segments();
    const QString first = segments.value(0);
    if (first == QLatin1String("releases"))
        return JsonReply::ready(filesRoutes.releases(apiRequest));
    if (first == QLatin1String("images"))
        return JsonReply::ready(filesRoutes.images(apiRequest));
    if (first == QLatin1String("api") && segments.value(1) == QLatin1String("v1")) {
        const QString area = segments.value(2);
        if (area == QLatin1String("auth") || area == QLatin1String("admin"))
            return authRoutes.handle(apiRequest);
        if (area == QLatin1String("compounds"))
            return JsonReply::ready(compoundRoutes.handle(apiRequest));
        if (area == QLatin1String("users"))
            return userRoutes.handle(apiRequest);
    }
    return JsonReply::ready(
        JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen végpont.")));
}
