#pragma once

#include "server/loginthrottle.h"

#include <QHttpServerResponse>

class AccessGuard;
class ApiRequest;
class Database;
class SessionStore;

// POST /api/v1/auth/login, /api/v1/auth/register and /api/v1/admin/reauth.
class AuthRoutes {
public:
    AuthRoutes(Database &database, SessionStore &sessions, AccessGuard &guard);

    // segments() starts with "api", "v1", then "auth" or "admin".
    QHttpServerResponse handle(const ApiRequest &request);

private:
    QHttpServerResponse login(const ApiRequest &request);
    QHttpServerResponse registerUser(const ApiRequest &request);
    QHttpServerResponse reauthenticate(const ApiRequest &request);

    Database &database;
    SessionStore &sessions;
    AccessGuard &guard;
    LoginThrottle throttle;
};
