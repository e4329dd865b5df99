#pragma once

#include <QByteArray>
#include <QHttpServerRequest>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrlQuery>
#include <optional>

// The parts of an HTTP request the routes look at. Path segments are split
// before percent-decoding, so an encoded "/" stays inside its segment.
class ApiRequest {
public:
    explicit ApiRequest(const QHttpServerRequest &request);

    QHttpServerRequest::Method method() const;
    const QStringList &segments() const;
    QString segment(int index) const;
    const QUrlQuery &query() const;
    const QByteArray &body() const;
    // The token of an "Authorization: Bearer <token>" header; empty otherwise.
    const QByteArray &bearerToken() const;

    // The body as a JSON object, or nullopt with a Hungarian reason.
    std::optional<QJsonObject> jsonObject(QString *reason) const;
    // The members named by keys, each required to be a JSON string.
    static std::optional<QStringList> strings(
        const QJsonObject &object, const QStringList &keys, QString *reason);
    // The body's members named by keys, as strings: jsonObject, then strings.
    std::optional<QStringList> bodyStrings(const QStringList &keys, QString *reason) const;

private:
    QHttpServerRequest::Method requestMethod;
    QStringList pathSegments;
    QUrlQuery urlQuery;
    QByteArray requestBody;
    QByteArray token;
};
