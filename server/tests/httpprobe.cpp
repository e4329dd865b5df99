#include "httpprobe.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QUrl>

HttpProbe::HttpProbe(const QString &origin)
    : origin(origin)
{
}

void HttpProbe::setToken(const QByteArray &newToken)
{
    token = newToken;
}

ProbeReply HttpProbe::send(
    const QByteArray &method, const QString &encodedPath, const QByteArray &body)
{
    QNetworkRequest request(QUrl::fromEncoded((origin + encodedPath).toLatin1()));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token);
    QNetworkReply *reply = network.sendCustomRequest(request, method, body);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(30000);
    ProbeReply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    reply->deleteLater();
    return result;
}

ProbeReply HttpProbe::sendJson(
    const QByteArray &method, const QString &encodedPath, const QJsonObject &body)
{
    return send(method, encodedPath, QJsonDocument(body).toJson());
}

QByteArray HttpProbe::login(const QString &name, const QString &password)
{
    const ProbeReply reply = sendJson("POST", QStringLiteral("/api/v1/auth/login"),
        {{QStringLiteral("felhasznalonev"), name}, {QStringLiteral("jelszo"), password}});
    if (reply.status != 200)
        return {};
    return reply.object().value(QStringLiteral("access_token")).toString().toLatin1();
}

bool HttpProbe::signIn(const QString &name, const QString &password)
{
    setToken({});
    token = login(name, password);
    return !token.isEmpty();
}

bool HttpProbe::reauthenticate(const QString &password)
{
    return sendJson("POST", QStringLiteral("/api/v1/admin/reauth"),
               {{QStringLiteral("password"), password}})
               .status
        == 200;
}

QString HttpProbe::encode(const QString &segment)
{
    return QString::fromLatin1(segment.toUtf8().toPercentEncoding());
}
