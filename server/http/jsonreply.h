#pragma once

#include <QFuture>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// Builds the server's replies: compact JSON with headers that keep caches and
// content sniffers away from API data.
class JsonReply {
public:
    using Status = QHttpServerResponse::StatusCode;

    static QHttpServerResponse object(const QJsonObject &body, Status status = Status::Ok);
    static QHttpServerResponse array(const QJsonArray &body);
    // Already serialised JSON.
    static QHttpServerResponse serialised(const QByteArray &json);
    // A refusal: {"detail": "<message>"}.
    static QHttpServerResponse refusal(Status status, const QString &detail);
    // 422 with the reason a request body was refused.
    static QHttpServerResponse unprocessable(const QString &reason);
    // 404 for a path that names no endpoint.
    static QHttpServerResponse noSuchEndpoint();
    // 405 for a method the path does not take.
    static QHttpServerResponse methodNotAllowed();
    // 503 with Retry-After: the server is too busy to take the request now.
    static QHttpServerResponse busy();
    // A refusal with Retry-After.
    static QHttpServerResponse refusalRetryAfter(Status status, const QString &detail, int seconds);
    // A reply that is already there, for routes that answer through a future.
    static QFuture<QHttpServerResponse> ready(QHttpServerResponse &&response);
    // 500: the database did not carry out a write.
    static QHttpServerResponse storageFailure();
    static void addCommonHeaders(QHttpServerResponse &response);
};
