#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Sends one request at a time and waits for its status and body, with the
// bearer token when one is set. Paths are read leniently: characters beyond
// ASCII are encoded, percent escapes stay as written.
struct HttpProbe {
    QString origin;
    QByteArray token {};
    QNetworkAccessManager net {nullptr};

    std::pair<int, QByteArray> send(
        const QByteArray &method, const QString &path, const QByteArray &body = {})
    {
        QNetworkRequest request(QUrl(origin + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        request.setRawHeader("Authorization", token.isEmpty() ? QByteArray() : "Bearer " + token);
        const std::unique_ptr<QNetworkReply> reply(net.sendCustomRequest(request, method, body));
        if (!reply->isFinished())
            QSignalSpy(reply.get(), &QNetworkReply::finished).wait(30000);
        return {
            reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }
};

// The demo accounts signed in, by caller: "user", "editor", "admin" and
// "admin*", a second admin session; "unknown" holds a token nobody was given.
inline QHash<QString, QByteArray> signInCallers(const QString &origin)
{
    QHash<QString, QByteArray> tokens {{"unknown", QByteArray(64, 'f')}};
    for (const char *who : {"user", "editor", "admin", "admin*"}) {
        const QString name = QString(who).remove('*');
        const QString body = QString(R"({"felhasznalonev":"%1","jelszo":"%2#2026"})")
                                 .arg(name, name[0].toUpper() + name.mid(1)); // "User#2026"
        const auto reply = HttpProbe {origin}.send("POST", "/api/v1/auth/login", body.toUtf8());
        tokens[who] = QJsonDocument::fromJson(reply.second)["access_token"].toString().toLatin1();
    }
    return tokens;
}

// Adds a data row per line of a table "<caller> <method> <path> | <body> |
// <expected>", each line its own tag; lines that begin with "//" are notes.
// moc reads a raw string's lines as code: each line keeps its double quotes
// paired and holds no "//" after a quote.
inline void addRequestRows(const char *table)
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    for (const QString &line : QString(table).split('\n', Qt::SkipEmptyParts)) {
        const QStringList cell = line.split('|');
        if (!line.startsWith("//"))
            QTest::newRow(qUtf8Printable(line))
                << cell[0].trimmed() << cell[1].trimmed().toUtf8() << cell[2].trimmed();
    }
}

// Sends the current row's request as its caller ("-": none) and expects
// "<status> <part of the reply>". The caller "*" stands for each in turn, from
// none to admin*, and their statuses are expected.
inline void checkRequestRow(const QString &origin, const QHash<QString, QByteArray> &tokens)
{
    QFETCH(QString, request);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    const QStringList parts = request.split(' ');
    static const QStringList everyone {"-", "unknown", "user", "editor", "admin", "admin*"};
    const QStringList callers = parts[0] == "*" ? everyone : QStringList {parts[0]};
    QStringList statuses;
    for (const QString &who : callers) {
        const auto [status, reply]
            = HttpProbe {origin, tokens.value(who)}.send(parts[1].toLatin1(), parts[2], body);
        statuses << QString::number(status);
        QVERIFY2(callers.size() > 1 || reply.contains(expected.mid(4).toUtf8()), reply.constData());
    }
    QCOMPARE(statuses.join(' '), callers.size() > 1 ? expected : expected.left(3));
}
