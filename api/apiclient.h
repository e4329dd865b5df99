#pragma once

#include "api/compound.h"
#include "api/compounddetails.h"
#include "api/origintrust.h"
#include "api/sessionnotifier.h"
#include "api/userrow.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>
#include <QString>

#include <functional>

class QNetworkReply;

// The one client of the compound server's REST API. Every operation sends one
// request and returns at once; its outcome arrives later as exactly one of a
// pair of signals, the error signal carrying a finished Hungarian sentence.
class ApiClient : public QObject {
    Q_OBJECT

public:
    // Talks to the product server, DefaultServerOrigin.
    explicit ApiClient(QObject *parent = nullptr);
    // Talks to another origin, e.g. a test's loopback server.
    explicit ApiClient(const QString &origin, QObject *parent = nullptr);

    // The origin the client was made for: the initial base URL and the login
    // dialog's fallback.
    QString origin() const;
    // Inactivity limit of every request, TransferTimeoutMs unless set.
    void setTransferTimeout(int milliseconds);
    // The PEM file of authorities trusted, besides the system's, on the
    // requests to origin().
    void setOriginAuthorities(const QString &authorityFile);

    void setBaseUrl(const QString &url);
    QString baseUrl() const;
    void setToken(const QString &token);

    // Reports the end of the session, apart from the operations' signals.
    SessionNotifier *sessionNotifier();
    // While a search reply's signal is being delivered, the text ("q") that
    // the reply answers; empty at any other time.
    QString searchQuery() const;

    QNetworkRequest buildRequest(const QString &path) const;
    static QString encodePathSegment(const QString &identifier);
    // The first 200 bytes of a reply body, decoded as UTF-8.
    static QString bodyPrefix(const QByteArray &body);

    void login(const QString &username, const QString &password);
    void registerUser(const QString &username, const QString &lastName, const QString &firstName,
        const QString &password, const QString &email);
    void adminReauth(const QString &password);

    void fetchCompounds();
    void searchCompounds(const QString &query);
    void createCompound(const Compound &c);
    void updateCompound(const QString &kod, const Compound &c);
    void deleteCompound(const QString &kod);

    void fetchCompoundDetails(const QString &kod);
    void saveCompoundDetails(const QString &kod, const CompoundDetails &details);

    void fetchUsers();
    void updateUser(const QString &oldUsername, const QString &newUsername,
        const QString &vezeteknev, const QString &keresztnev, const QString &email,
        const QString &szerepkor);
    void resetUserPassword(const QString &username, const QString &newPassword);
    void setUserRole(const QString &username, const QString &szerepkor);

signals:
    void loginOk(QString token, QString role, QString keresztnev);
    void loginError(QString message);
    void compoundsOk(QList<Compound> compounds);
    void compoundsError(QString message);
    void compoundWriteOk();
    void compoundWriteError(QString message);
    void compoundDetailsOk(CompoundDetails d);
    void compoundDetailsError(QString message);
    void compoundDetailsWriteOk();
    void compoundDetailsWriteError(QString message);
    void compoundsSearchOk(QList<Compound> compounds);
    void compoundsSearchError(QString message);
    void usersOk(QList<UserRow> users);
    void usersError(QString message);
    void adminWriteOk();
    void adminWriteError(QString message);
    void registerOk();
    void registerError(QString message);
    void adminReauthOk();
    void adminReauthError(QString message);
    void userUpdateOk(QString username);
    void userUpdateError(QString username, QString message);
    void passwordResetOk(QString username);
    void passwordResetError(QString username, QString message);

private:
    using ReplyHandler = std::function<void(int status, const QByteArray &body)>;
    enum class Verb { Get, Post, Put, Delete };

    QNetworkRequest requestFor(const QString &urlText) const;
    // A refused token ends the session unless the request sends credentials
    // (login, registration, admin re-authentication), whose refusal is theirs.
    void send(Verb verb, const QNetworkRequest &request, const QJsonObject &body,
        ReplyHandler handler, bool sendsCredentials = false);
    void send(Verb verb, const QString &path, const QJsonObject &body, ReplyHandler handler,
        bool sendsCredentials = false);
    // Sends to a path with one identifier segment, or fails like a refused
    // connection when the identifier cannot name a single resource.
    void sendTo(Verb verb, const QString &identifier, const QString &prefix, const QString &suffix,
        const QJsonObject &body, ReplyHandler handler);
    void failLater(ReplyHandler handler);

    void handleLogin(int status, const QByteArray &body);
    void handleCompounds(int status, const QByteArray &body);
    void handleSearch(const QString &query, int status, const QByteArray &body);
    void handleDetails(int status, const QByteArray &body);
    void handleUsers(int status, const QByteArray &body);

    QNetworkAccessManager networkManager;
    QString serverOrigin;
    OriginTrust originTrust;
    QString apiBaseUrl;
    QString accessToken;
    SessionNotifier notifier;
    QString deliveredSearchQuery;
};
