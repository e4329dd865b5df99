#pragma once

#include "server/auth/loginthrottle.h"

#include <QFuture>
#include <QHttpServerResponse>

#include <functional>

class AccessGuard;
class ApiRequest;
class Database;
class PasswordWork;
class SessionStore;

// POST /api/v1/auth/login, /api/v1/auth/register and /api/v1/admin/reauth.
// Their password hashing runs on PasswordWork; sign-ins and
// re-authentications share one throttle per account.
class AuthRoutes {
public:
    AuthRoutes(Database &database, SessionStore &sessions, AccessGuard &guard, PasswordWork &work);

    // segments() starts with "api", "v1", then "auth" or "admin".
    QFuture<QHttpServerResponse> handle(const ApiRequest &request);

private:
    QFuture<QHttpServerResponse> login(const ApiRequest &request);
    QFuture<QHttpServerResponse> registerUser(const ApiRequest &request);
    QFuture<QHttpServerResponse> reauthenticate(const ApiRequest &request);
    // Verifies a password for the account called userName under its throttle,
    // then answers with answer(whether it matched).
    QFuture<QHttpServerResponse> verifyThrottled(const QString &userName,
        const QByteArray &encodedHash, const QString &password,
        const std::function<QHttpServerResponse(bool)> &answer);

    Database &database;
    SessionStore &sessions;
    AccessGuard &guard;
    PasswordWork &work;
    LoginThrottle throttle;
};
