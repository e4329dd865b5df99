#include "server/routes/userroutes.h"

#include "server/auth/accessguard.h"
#include "server/auth/passwordwork.h"
#include "server/auth/sessionstore.h"
#include "server/http/apirequest.h"
#include "server/http/jsonreply.h"
#include "server/routes/fieldrules.h"
#include "server/routes/writerefusal.h"
#include "server/storage/database.h"

#include <functional>

namespace {

using Method = QHttpServerRequest::Method;
using Status = JsonReply::Status;

const WriteRefusal refusalFor(
    QStringLiteral("Nincs ilyen felhasználó."), QStringLiteral("Ez a felhasználónév már foglalt."));

} // namespace

UserRoutes::UserRoutes(
    Database &database, SessionStore &sessions, AccessGuard &guard, PasswordWork &work)
    : database(database)
    , sessions(sessions)
    , guard(guard)
    , work(work)
{
}

QFuture<QHttpServerResponse> UserRoutes::handle(const ApiRequest &request)
{
    const int depth = request.segments().size();
    const bool put = request.method() == Method::Put;
    const QString name = request.segment(3);
    const QString action = request.segment(4);
    Caller caller;
    std::function<QFuture<QHttpServerResponse>()> route;
    if (depth == 3) {
        if (request.method() == Method::Get)
            route = [this] {
                return JsonReply::ready(JsonReply::array(database.users()));
            };
    } else if (depth == 4) {
        if (put)
            route = [&] {
                return JsonReply::ready(update(request, name));
            };
    } else if (depth == 5 && action == QLatin1String("password")) {
        if (put)
            route = [&] {
                return setPassword(request, name, caller.token);
            };
    } else if (depth == 5 && action == QLatin1String("role")) {
        if (put)
            route = [&] {
                return JsonReply::ready(setRole(request, name));
            };
    } else {
        return JsonReply::ready(JsonReply::noSuchEndpoint());
    }
    if (!route)
        return JsonReply::ready(JsonReply::methodNotAllowed());
    // Admins list the accounts; a change needs a fresh re-authentication too.
    const AccessGuard::Level level
        = depth == 3 ? AccessGuard::Level::Admin : AccessGuard::Level::ReauthenticatedAdmin;
    if (auto refusal = guard.check(request, level, &caller))
        return JsonReply::ready(std::move(*refusal));
    return route();
}

QHttpServerResponse UserRoutes::update(const ApiRequest &request, const QString &name)
{
    QString reason;
    const std::optional<QStringList> fields = request.bodyStrings(
        {QStringLiteral("new_username"), QStringLiteral("vezeteknev"), QStringLiteral("keresztnev"),
            QStringLiteral("email"), QStringLiteral("szerepkor")},
        &reason);
    if (!fields)
        return JsonReply::unprocessable(reason);
    UserRecord data;
    data.felhasznalonev = fields->at(0);
    data.vezeteknev = fields->at(1);
    data.keresztnev = fields->at(2);
    data.email = fields->at(3);
    data.szerepkor = fields->at(4);
    reason = FieldRules::account(data);
    if (!reason.isEmpty())
        return JsonReply::unprocessable(reason);
    const Database::WriteResult result = database.updateUser(name, data);
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    return JsonReply::object(data.toJson());
}

QFuture<QHttpServerResponse> UserRoutes::setPassword(
    const ApiRequest &request, const QString &name, const QByteArray &token)
{
    QString reason;
    const std::optional<QStringList> fields
        = request.bodyStrings({QStringLiteral("new_password")}, &reason);
    if (!fields)
        return JsonReply::ready(JsonReply::unprocessable(reason));
    reason = FieldRules::password(fields->at(0));
    if (!reason.isEmpty())
        return JsonReply::ready(JsonReply::unprocessable(reason));
    if (!database.userByName(name))
        return JsonReply::ready(refusalFor(Database::WriteResult::NotFound));
    std::optional<QFuture<QByteArray>> hashing = work.hash(fields->at(0));
    if (!hashing)
        return JsonReply::ready(JsonReply::busy());
    return hashing->then(&work, [this, name, token](const QByteArray &hash) {
        // The account is looked up again: it may have changed while hashing.
        const std::optional<UserRecord> user = database.userByName(name);
        if (!user)
            return refusalFor(Database::WriteResult::NotFound);
        if (hash.isEmpty())
            return refusalFor(Database::WriteResult::Failed);
        const Database::WriteResult result = database.setPasswordHash(name, hash);
        if (result != Database::WriteResult::Ok)
            return refusalFor(result);
        // Whoever signed in with the old password is signed out.
        sessions.closeAllOf(user->id, token);
        return JsonReply::object({{QStringLiteral("detail"), QStringLiteral("Jelszó beállítva.")}});
    });
}

QHttpServerResponse UserRoutes::setRole(const ApiRequest &request, const QString &name)
{
    QString reason;
    const std::optional<QStringList> fields
        = request.bodyStrings({QStringLiteral("szerepkor")}, &reason);
    if (!fields)
        return JsonReply::unprocessable(reason);
    reason = FieldRules::role(fields->at(0));
    if (!reason.isEmpty())
        return JsonReply::unprocessable(reason);
    const Database::WriteResult result = database.setRole(name, fields->at(0));
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    return JsonReply::object(
        {{QStringLiteral("felhasznalonev"), name}, {QStringLiteral("szerepkor"), fields->at(0)}});
}
