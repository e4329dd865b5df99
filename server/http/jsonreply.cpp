#include "server/http/jsonreply.h"

#include <QJsonDocument>

namespace {

// A busy server asks to be tried again this much later.
const int BusyRetryAfterSeconds = 1;

QHttpServerResponse jsonResponse(const QByteArray &body, JsonReply::Status status)
{
    QHttpServerResponse response(
        QByteArrayLiteral("application/json; charset=utf-8"), body, status);
    JsonReply::addCommonHeaders(response);
    response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    return response;
}

} // namespace

QHttpServerResponse JsonReply::object(const QJsonObject &body, Status status)
{
    return jsonResponse(QJsonDocument(body).toJson(QJsonDocument::Compact), status);
}

QHttpServerResponse JsonReply::array(const QJsonArray &body)
{
    return jsonResponse(QJsonDocument(body).toJson(QJsonDocument::Compact), Status::Ok);
}

QHttpServerResponse JsonReply::serialised(const QByteArray &json)
{
    return jsonResponse(json, Status::Ok);
}

QHttpServerResponse JsonReply::refusal(Status status, const QString &detail)
{
    return object(QJsonObject {{QStringLiteral("detail"), detail}}, status);
}

void JsonReply::addCommonHeaders(QHttpServerResponse &response)
{
    response.setHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
}

QHttpServerResponse JsonReply::unprocessable(const QString &reason)
{
    return refusal(Status::UnprocessableEntity, reason);
}

QHttpServerResponse JsonReply::noSuchEndpoint()
{
    return refusal(Status::NotFound, QStringLiteral("Nincs ilyen végpont."));
}

QHttpServerResponse JsonReply::methodNotAllowed()
{
    return refusal(Status::MethodNotAllowed, QStringLiteral("Ez a metódus itt nem használható."));
}

QHttpServerResponse JsonReply::storageFailure()
{
    return refusal(
        Status::InternalServerError, QStringLiteral("Az adatbázis művelet nem sikerült."));
}

QHttpServerResponse JsonReply::refusalRetryAfter(Status status, const QString &detail, int seconds)
{
    QHttpServerResponse response = refusal(status, detail);
    response.setHeader(QByteArrayLiteral("Retry-After"), QByteArray::number(seconds));
    return response;
}

QHttpServerResponse JsonReply::busy()
{
    return refusalRetryAfter(Status::ServiceUnavailable,
        QStringLiteral("A szerver most túlterhelt. Próbáld újra néhány másodperc múlva."),
        BusyRetryAfterSeconds);
}

QFuture<QHttpServerResponse> JsonReply::ready(QHttpServerResponse &&response)
{
    return QtFuture::makeReadyFuture(std::move(response));
}
