#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QString>

// One finished HTTP exchange.
struct ProbeReply {
    int status = 0;
    QByteArray body;
    QJsonDocument json() const
    {
        return QJsonDocument::fromJson(body);
    }
    QJsonObject object() const
    {
        return json().object();
    }
    QJsonArray array() const
    {
        return json().array();
    }
    QString detail() const
    {
        return object().value(QStringLiteral("detail")).toString();
    }
};

// Sends requests to a server and waits for each reply. Paths are given
// already percent-encoded, exactly as they go on the wire.
class HttpProbe {
public:
    explicit HttpProbe(const QString &origin);

    void setToken(const QByteArray &token);
    ProbeReply send(
        const QByteArray &method, const QString &encodedPath, const QByteArray &body = {});
    ProbeReply get(const QString &encodedPath)
    {
        return send("GET", encodedPath);
    }
    ProbeReply sendJson(
        const QByteArray &method, const QString &encodedPath, const QJsonObject &body);

    // Signs in; an empty token when the server refuses.
    QByteArray login(const QString &name, const QString &password);
    // Signs in and keeps the token for later requests.
    bool signIn(const QString &name, const QString &password);
    bool reauthenticate(const QString &password);

    static QString encode(const QString &segment);

private:
    QNetworkAccessManager network;
    QString origin;
    QByteArray token;
};
