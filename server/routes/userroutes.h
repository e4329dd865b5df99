#pragma once

#include <QFuture>
#include <QHttpServerResponse>
#include <QString>

class AccessGuard;
class ApiRequest;
class Database;
class PasswordWork;
class SessionStore;

// /api/v1/users: the account list for admins, and the account writes, which
// also need a fresh admin re-authentication on the same token. A new
// password is hashed on PasswordWork.
class UserRoutes {
public:
    UserRoutes(Database &database, SessionStore &sessions, AccessGuard &guard, PasswordWork &work);

    // segments() starts with "api", "v1", "users".
    QFuture<QHttpServerResponse> handle(const ApiRequest &request);

private:
    QHttpServerResponse update(const ApiRequest &request, const QString &name);
    // token: the session that sets the password, which stays signed in.
    QFuture<QHttpServerResponse> setPassword(
        const ApiRequest &request, const QString &name, const QByteArray &token);
    QHttpServerResponse setRole(const ApiRequest &request, const QString &name);

    Database &database;
    SessionStore &sessions;
    AccessGuard &guard;
    PasswordWork &work;
};
