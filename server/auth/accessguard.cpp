#include "server/auth/accessguard.h"

#include "server/auth/sessionstore.h"
#include "server/http/apirequest.h"
#include "server/http/jsonreply.h"
#include "server/storage/database.h"

AccessGuard::AccessGuard(Database &database, SessionStore &sessions)
    : database(database)
    , sessions(sessions)
{
}

std::optional<QHttpServerResponse> AccessGuard::check(
    const ApiRequest &request, Level level, Caller *caller)
{
    const std::optional<SessionStore::Session> session = sessions.find(request.bearerToken());
    const std::optional<UserRecord> user
        = session ? database.userById(session->userId) : std::nullopt;
    if (!user) {
        QHttpServerResponse refusal = JsonReply::refusal(JsonReply::Status::Unauthorized,
            QStringLiteral("Hiányzó, ismeretlen vagy lejárt token. Jelentkezz be újra."));
        refusal.setHeader(QByteArrayLiteral("WWW-Authenticate"), QByteArrayLiteral("Bearer"));
        return refusal;
    }
    caller->userId = user->id;
    caller->username = user->felhasznalonev;
    caller->role = user->szerepkor;
    caller->token = request.bearerToken();

    const bool isAdmin = caller->role == QLatin1String("admin");
    const bool isEditor = isAdmin || caller->role == QLatin1String("editor");
    bool allowed = true;
    switch (level) {
    case Level::SignedIn:
        break;
    case Level::Editor:
        allowed = isEditor;
        break;
    case Level::Admin:
    case Level::ReauthenticatedAdmin:
        allowed = isAdmin;
        break;
    }
    if (!allowed)
        return JsonReply::refusal(JsonReply::Status::Forbidden,
            QStringLiteral("Nincs jogosultságod ehhez a művelethez."));
    if (level == Level::ReauthenticatedAdmin && !sessions.reauthIsFresh(*session))
        return JsonReply::refusal(JsonReply::Status::Forbidden,
            QStringLiteral("Ehhez a művelethez előbb add meg újra az admin jelszót."));
    return std::nullopt;
}
