#pragma once

#include "server/loginthrottle.h"

#include <QFuture>
#include <QHttpServerResponse>

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
    QHttpServerResponse tooManyAttempts(const QString &userName);

    Database &database;
    SessionStore &sessions;
    AccessGuard &guard;
    PasswordWork &work;
    LoginThrottle throttle;
};
