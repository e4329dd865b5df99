#include "server/userroutes.h"

#include "server/accessguard.h"
#include "server/apirequest.h"
#include "server/database.h"
#include "server/fieldrules.h"
#include "server/jsonreply.h"
#include "server/passwordwork.h"
#include "server/sessionstore.h"

namespace {

using Method = QHttpServerRequest::Method;
using Status = JsonReply::Status;

QHttpServerResponse refusalFor(Database::WriteResult result)
{
    switch (result) {
    case Database::WriteResult::NotFound:
        return JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen felhasználó."));
    case Database::WriteResult::Duplicate:
        return JsonReply::refusal(
            Status::Conflict, QStringLiteral("Ez a felhasználónév már foglalt."));
    case Database::WriteResult::LastAdmin:
        return JsonReply::refusal(Status::Conflict,
            QStringLiteral("Legalább egy admin szerepkörű felhasználónak maradnia kell."));
    default:
        return JsonReply::storageFailure();
    }
}

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
    const Method method = request.method();
    const QString name = request.segment(3);
    if (depth == 3)
        return JsonReply::ready(method == Method::Get
                ? list(request)
                : JsonReply::refusal(
                    Status::MethodNotAllowed, QStringLiteral("Ez a metódus itt nem használható.")));
    QHttpServerResponse (UserRoutes::*route)(const ApiRequest &, const QString &) = nullptr;
    const bool password = depth == 5 && request.segment(4) == QLatin1String("password");
    if (depth == 4)
        route = &UserRoutes::update;
    else if (depth == 5 && request.segment(4) == QLatin1String("role"))
        route = &UserRoutes::setRole;
    if (!route && !password)
        return JsonReply::ready(
            JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen végpont.")));
    if (method != Method::Put)
        return JsonReply::ready(JsonReply::refusal(
            Status::MethodNotAllowed, QStringLiteral("Ez a metódus itt nem használható.")));
    return password ? setPassword(request, name) : JsonReply::ready((this->*route)(request, name));
}

QHttpServerResponse UserRoutes::list(const ApiRequest &request)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::Admin, &caller))
        return std::move(*refusal);
    return JsonReply::array(database.users());
}

QHttpServerResponse UserRoutes::update(const ApiRequest &request, const QString &name)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::ReauthenticatedAdmin, &caller))
        return std::move(*refusal);
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
    for (const QString &problem : {FieldRules::userName(data.felhasznalonev),
             FieldRules::personName(QStringLiteral("vezetéknév"), data.vezeteknev),
             FieldRules::personName(QStringLiteral("keresztnév"), data.keresztnev),
             FieldRules::email(data.email), FieldRules::role(data.szerepkor)}) {
        if (!problem.isEmpty())
            return JsonReply::unprocessable(problem);
    }
    const Database::WriteResult result = database.updateUser(name, data);
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    return JsonReply::object(data.toJson());
}

QFuture<QHttpServerResponse> UserRoutes::setPassword(const ApiRequest &request, const QString &name)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::ReauthenticatedAdmin, &caller))
        return JsonReply::ready(std::move(*refusal));
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
    return hashing->then(&work, [this, name, caller](const QByteArray &hash) {
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
        sessions.closeAllOf(user->id, caller.token);
        return JsonReply::object({{QStringLiteral("detail"), QStringLiteral("Jelszó beállítva.")}});
    });
}

QHttpServerResponse UserRoutes::setRole(const ApiRequest &request, const QString &name)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::ReauthenticatedAdmin, &caller))
        return std::move(*refusal);
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
