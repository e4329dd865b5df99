#pragma once

#include "server/auth/caller.h"

#include <QHttpServerResponse>
#include <optional>

class ApiRequest;
class Database;
class SessionStore;

// Decides from the bearer token whether a request may proceed. The role is
// read from the database on every request, so a role change applies at once.
class AccessGuard {
public:
    enum class Level { SignedIn, Editor, Admin, ReauthenticatedAdmin };

    AccessGuard(Database &database, SessionStore &sessions);

    // The refusal to send, or nullopt with *caller filled in.
    std::optional<QHttpServerResponse> check(
        const ApiRequest &request, Level level, Caller *caller);

private:
    Database &database;
    SessionStore &sessions;
};
