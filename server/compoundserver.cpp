#include "server/compoundserver.h"

#include "server/apirequest.h"
#include "server/jsonreply.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTcpSocket>

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

bool loadTls(QHttpServer &http, const ServerOptions &options, QString *reason)
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
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone); // no client certificates
    http.sslSetup(tls);
    return true;
}

} // namespace

CompoundServer::CompoundServer(Database &database, const ServerOptions &options, QObject *parent)
    : QObject(parent)
    , options(options)
    , sessions(options.tokenSeconds, options.reauthSeconds)
    , guard(database, sessions)
    , authRoutes(database, sessions, guard)
    , compoundRoutes(database, guard)
    , userRoutes(database, sessions, guard)
    , filesRoutes(options.releasesDir, options.imagesDir)
{
    http.setMissingHandler(
        [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
            respond(request, std::move(responder));
        });
}

bool CompoundServer::start(QString *reason)
{
    if (!options.plainHttp && !loadTls(http, options, reason))
        return false;
    boundPort = http.listen(QHostAddress::LocalHost, options.port);
    if (boundPort == 0) {
        *reason = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(options.port);
        return false;
    }
    // The same port on ::1 too, for clients that resolve localhost to IPv6
    // first; a host without IPv6 simply goes without.
    http.listen(QHostAddress::LocalHostIPv6, boundPort);

    QString origin = options.publicOrigin;
    if (origin.isEmpty())
        origin = options.plainHttp ? QStringLiteral("http://127.0.0.1:%1").arg(boundPort)
                                   : QStringLiteral("https://localhost:%1").arg(boundPort);
    compoundRoutes.setImageOrigin(origin);
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
    QHttpServerResponse response = dispatch(request);
    if (!options.quiet) {
        qInfo("%s %s -> %d (%lld ms)", methodName(request.method()).constData(),
            request.url().path(QUrl::FullyEncoded).toLatin1().constData(),
            int(response.statusCode()), timer.elapsed());
    }
    // The HTTP layer keeps every connection open; a client that asked for
    // "Connection: close" gets its close once the reply is flushed.
    QTcpSocket *socket = responder.socket();
    const bool closeAfterwards
        = request.value(QByteArrayLiteral("Connection")).trimmed().toLower() == "close";
    response.write(std::move(responder));
    if (closeAfterwards && socket)
        socket->disconnectFromHost();
}

QHttpServerResponse CompoundServer::dispatch(const QHttpServerRequest &request)
{
    if (request.body().size() > MaxBodyBytes)
        return JsonReply::refusal(
            Status::PayloadTooLarge, QStringLiteral("A kérés törzse túl nagy (legfeljebb 1 MiB)."));
    const ApiRequest apiRequest(request);
    const QStringList &segments = apiRequest.segments();
    const QString first = segments.value(0);
    if (first == QLatin1String("releases"))
        return filesRoutes.releases(apiRequest);
    if (first == QLatin1String("images"))
        return filesRoutes.images(apiRequest);
    if (first == QLatin1String("api") && segments.value(1) == QLatin1String("v1")) {
        const QString area = segments.value(2);
        if (area == QLatin1String("auth") || area == QLatin1String("admin"))
            return authRoutes.handle(apiRequest);
        if (area == QLatin1String("compounds"))
            return compoundRoutes.handle(apiRequest);
        if (area == QLatin1String("users"))
            return userRoutes.handle(apiRequest);
    }
    return JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen végpont."));
}
