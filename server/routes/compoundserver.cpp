#include "server/routes/compoundserver.h"

#include "server/http/apirequest.h"
#include "server/http/connectionguard.h"
#include "server/http/guardedtcpserver.h"
#include "server/http/jsonreply.h"
#include "server/http/tlspolicy.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpSocket>

#include <memory>

namespace {

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

} // namespace

CompoundServer::CompoundServer(Database &database, const ServerOptions &options, QObject *parent)
    : QObject(parent)
    , options(options)
    , sessions(options.tokenSeconds, options.reauthSeconds)
    , guard(database, sessions)
    , passwordWork(options.hashThreads)
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
    std::optional<QSslConfiguration> tls;
    if (!options.plainHttp
        && !(tls = TlsPolicy::load(options.certificatePath, options.keyPath, reason)))
        return false;
    // Without named addresses: loopback, on ::1 too for clients that resolve
    // localhost to IPv6 first, where the host has IPv6.
    const bool loopback = options.listenAddresses.isEmpty();
    const QList<QHostAddress> addresses = loopback
        ? QList<QHostAddress> {QHostAddress::LocalHost, QHostAddress::LocalHostIPv6}
        : options.listenAddresses;
    boundPort = options.port;
    for (const QHostAddress &address : addresses) {
        if (listenOn(address, tls.value_or(QSslConfiguration()))) {
            listeningUrls.append(options.urlOf(address, boundPort));
        } else if (!loopback || address == QHostAddress::LocalHost) {
            *reason = QStringLiteral("cannot listen on %1 port %2")
                          .arg(address.toString())
                          .arg(boundPort);
            return false;
        }
    }
    if (loopback)
        listeningUrls = QStringList {options.loopbackUrl(boundPort)};
    compoundRoutes.setImageOrigin(options.clientOrigin(boundPort));
    return true;
}

bool CompoundServer::listenOn(const QHostAddress &address, const QSslConfiguration &tls)
{
    auto *server = new GuardedTcpServer(options.idleSeconds, options.requestSeconds, this);
    if (!options.plainHttp)
        server->setTls(tls);
    if (!server->listen(address, boundPort)) {
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

const QStringList &CompoundServer::urls() const
{
    return listeningUrls;
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
        if (socket->inherits("QSslSocket"))
            response.setHeader(TlsPolicy::StrictTransportSecurity, TlsPolicy::OneYear);
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
    return JsonReply::ready(JsonReply::noSuchEndpoint());
}
