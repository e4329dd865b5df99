#include "server/http/apirequest.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QUrl>

ApiRequest::ApiRequest(const QHttpServerRequest &request)
    : requestMethod(request.method())
    , urlQuery(request.url().query(QUrl::FullyEncoded))
    , requestBody(request.body())
{
    const QString encodedPath = request.url().path(QUrl::FullyEncoded);
    const QStringList rawSegments = encodedPath.split(QLatin1Char('/'));
    for (int i = 1; i < rawSegments.size(); ++i)
        pathSegments.append(
            QString::fromUtf8(QByteArray::fromPercentEncoding(rawSegments.at(i).toLatin1())));
    // "/api/v1/compounds/" and "/api/v1/compounds" name the same resource.
    if (pathSegments.size() > 1 && pathSegments.last().isEmpty())
        pathSegments.removeLast();

    const QByteArray authorization = request.value(QByteArrayLiteral("Authorization")).trimmed();
    const QByteArray scheme = QByteArrayLiteral("bearer ");
    if (authorization.size() > scheme.size()
        && authorization.left(scheme.size()).toLower() == scheme)
        token = authorization.mid(scheme.size()).trimmed();
}

QHttpServerRequest::Method ApiRequest::method() const
{
    return requestMethod;
}

const QStringList &ApiRequest::segments() const
{
    return pathSegments;
}

QString ApiRequest::segment(int index) const
{
    return pathSegments.value(index);
}

const QUrlQuery &ApiRequest::query() const
{
    return urlQuery;
}

const QByteArray &ApiRequest::body() const
{
    return requestBody;
}

const QByteArray &ApiRequest::bearerToken() const
{
    return token;
}

std::optional<QJsonObject> ApiRequest::jsonObject(QString *reason) const
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(requestBody, &error);
    if (error.error != QJsonParseError::NoError) {
        *reason = QStringLiteral("A kérés törzse nem érvényes JSON.");
        return std::nullopt;
    }
    if (!document.isObject()) {
        *reason = QStringLiteral("A kérés törzsének JSON objektumnak kell lennie.");
        return std::nullopt;
    }
    return document.object();
}

std::optional<QStringList> ApiRequest::strings(
    const QJsonObject &object, const QStringList &keys, QString *reason)
{
    QStringList values;
    values.reserve(keys.size());
    for (const QString &key : keys) {
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) {
            *reason = QStringLiteral("Hiányzó mező: %1.").arg(key);
            return std::nullopt;
        }
        if (!value.isString()) {
            *reason = QStringLiteral("A(z) %1 mező értékének szövegnek kell lennie.").arg(key);
            return std::nullopt;
        }
        values.append(value.toString());
    }
    return values;
}

std::optional<QStringList> ApiRequest::bodyStrings(const QStringList &keys, QString *reason) const
{
    const std::optional<QJsonObject> object = jsonObject(reason);
    return object ? strings(*object, keys, reason) : std::nullopt;
}
