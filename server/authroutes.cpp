#include "server/authroutes.h"

#include "server/accessguard.h"
#include "server/apirequest.h"
#include "server/database.h"
#include "server/fieldrules.h"
#include "server/jsonreply.h"
#include "server/passwordhasher.h"
#include "server/sessionstore.h"

namespace {

using Status = JsonReply::Status;

} // namespace

AuthRoutes::AuthRoutes(Database &database, SessionStore &sessions, AccessGuard &guard)
    : database(database)
    , sessions(sessions)
    , guard(guard)
{
}

QHttpServerResponse AuthRoutes::handle(const ApiRequest &request)
{
    const QString area = request.segment(2);
    const QString action = request.segment(3);
    QHttpServerResponse (AuthRoutes::*route)(const ApiRequest &) = nullptr;
    if (request.segments().size() == 4) {
        if (area == QLatin1String("auth") && action == QLatin1String("login"))
            route = &AuthRoutes::login;
        else if (area == QLatin1String("auth") && action == QLatin1String("register"))
            route = &AuthRoutes::registerUser;
        else if (area == QLatin1String("admin") && action == QLatin1String("reauth"))
            route = &AuthRoutes::reauthenticate;
    }
    if (!route)
        return JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen végpont."));
    if (request.method() != QHttpServerRequest::Method::Post)
        return JsonReply::refusal(
            Status::MethodNotAllowed, QStringLiteral("Ez a végpont csak POST kérést fogad."));
    return (this->*route)(request);
}

QHttpServerResponse AuthRoutes::login(const ApiRequest &request)
{
    QString reason;
    const std::optional<QStringList> fields = request.bodyStrings(
        {QStringLiteral("felhasznalonev"), QStringLiteral("jelszo")}, &reason);
    if (!fields)
        return JsonReply::unprocessable(reason);

    if (throttle.isBlocked(fields->at(0)))
        return JsonReply::refusal(Status::TooManyRequests,
            QStringLiteral("Túl sok sikertelen bejelentkezés. Próbáld újra néhány perc múlva."));
    const std::optional<UserRecord> user = database.userByName(fields->at(0));
    if (!user) {
        PasswordHasher::verifyDummy(fields->at(1));
    } else if (PasswordHasher::verify(user->passwordHash, fields->at(1))) {
        throttle.recordSuccess(fields->at(0));
        const QByteArray token = sessions.open(user->id);
        return JsonReply::object({{QStringLiteral("access_token"), QString::fromLatin1(token)},
            {QStringLiteral("token_type"), QStringLiteral("bearer")},
            {QStringLiteral("szerepkor"), user->szerepkor},
            {QStringLiteral("keresztnev"), user->keresztnev}});
    }
    throttle.recordFailure(fields->at(0));
    return JsonReply::refusal(
        Status::Unauthorized, QStringLiteral("Hibás felhasználónév vagy jelszó."));
}

QHttpServerResponse AuthRoutes::registerUser(const ApiRequest &request)
{
    QString reason;
    const std::optional<QStringList> fields = request.bodyStrings(
        {QStringLiteral("felhasznalonev"), QStringLiteral("vezeteknev"),
            QStringLiteral("keresztnev"), QStringLiteral("jelszo"), QStringLiteral("email")},
        &reason);
    if (!fields)
        return JsonReply::unprocessable(reason);

    UserRecord user;
    user.felhasznalonev = fields->at(0);
    user.vezeteknev = fields->at(1);
    user.keresztnev = fields->at(2);
    user.email = fields->at(4);
    user.szerepkor = QStringLiteral("user");
    for (const QString &problem : {FieldRules::userName(user.felhasznalonev),
             FieldRules::personName(QStringLiteral("vezetéknév"), user.vezeteknev),
             FieldRules::personName(QStringLiteral("keresztnév"), user.keresztnev),
             FieldRules::password(fields->at(3)), FieldRules::email(user.email)}) {
        if (!problem.isEmpty())
            return JsonReply::unprocessable(problem);
    }
    user.passwordHash = PasswordHasher::hash(fields->at(3));
    if (user.passwordHash.isEmpty())
        return JsonReply::refusal(
            Status::InternalServerError, QStringLiteral("A jelszó feldolgozása nem sikerült."));
    switch (database.insertUser(user)) {
    case Database::WriteResult::Ok:
        return JsonReply::object(user.toJson(), Status::Created);
    case Database::WriteResult::Duplicate:
        return JsonReply::refusal(
            Status::Conflict, QStringLiteral("Ez a felhasználónév már foglalt."));
    default:
        return JsonReply::refusal(
            Status::InternalServerError, QStringLiteral("A regisztráció mentése nem sikerült."));
    }
}

QHttpServerResponse AuthRoutes::reauthenticate(const ApiRequest &request)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::Admin, &caller))
        return std::move(*refusal);
    QString reason;
    const std::optional<QStringList> fields
        = request.bodyStrings({QStringLiteral("password")}, &reason);
    if (!fields)
        return JsonReply::unprocessable(reason);
    const std::optional<UserRecord> user = database.userById(caller.userId);
    if (!user || !PasswordHasher::verify(user->passwordHash, fields->at(0)))
        return JsonReply::refusal(Status::Forbidden, QStringLiteral("Hibás admin jelszó."));
    sessions.markReauthenticated(caller.token);
    return JsonReply::object({{QStringLiteral("detail"), QStringLiteral("Megerősítve.")}});
}
