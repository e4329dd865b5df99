#include "server/routes/authroutes.h"

#include "server/auth/accessguard.h"
#include "server/auth/passwordwork.h"
#include "server/auth/sessionstore.h"
#include "server/http/apirequest.h"
#include "server/http/jsonreply.h"
#include "server/routes/fieldrules.h"
#include "server/storage/database.h"

namespace {

using Status = JsonReply::Status;

} // namespace

AuthRoutes::AuthRoutes(
    Database &database, SessionStore &sessions, AccessGuard &guard, PasswordWork &work)
    : database(database)
    , sessions(sessions)
    , guard(guard)
    , work(work)
{
}

QFuture<QHttpServerResponse> AuthRoutes::handle(const ApiRequest &request)
{
    const QString area = request.segment(2);
    const QString action = request.segment(3);
    QFuture<QHttpServerResponse> (AuthRoutes::*route)(const ApiRequest &) = nullptr;
    if (request.segments().size() == 4) {
        if (area == QLatin1String("auth") && action == QLatin1String("login"))
            route = &AuthRoutes::login;
        else if (area == QLatin1String("auth") && action == QLatin1String("register"))
            route = &AuthRoutes::registerUser;
        else if (area == QLatin1String("admin") && action == QLatin1String("reauth"))
            route = &AuthRoutes::reauthenticate;
    }
    if (!route)
        return JsonReply::ready(JsonReply::noSuchEndpoint());
    if (request.method() != QHttpServerRequest::Method::Post)
        return JsonReply::ready(JsonReply::refusal(
            Status::MethodNotAllowed, QStringLiteral("Ez a végpont csak POST kérést fogad.")));
    return (this->*route)(request);
}

QFuture<QHttpServerResponse> AuthRoutes::verifyThrottled(const QString &userName,
    const QByteArray &encodedHash, const QString &password,
    const std::function<QHttpServerResponse(bool)> &answer)
{
    if (throttle.isBlocked(userName))
        return JsonReply::ready(JsonReply::refusalRetryAfter(Status::TooManyRequests,
            QStringLiteral("Túl sok sikertelen bejelentkezés. Próbáld újra néhány perc múlva."),
            throttle.retryAfterSeconds(userName)));
    std::optional<QFuture<bool>> check = work.verify(encodedHash, password);
    if (!check)
        return JsonReply::ready(JsonReply::busy());
    throttle.begin(userName);
    return check->then(&work, [this, userName, answer](bool matches) {
        if (matches)
            throttle.recordSuccess(userName);
        else
            throttle.recordFailure(userName);
        return answer(matches);
    });
}

QFuture<QHttpServerResponse> AuthRoutes::login(const ApiRequest &request)
{
    QString reason;
    const std::optional<QStringList> fields = request.bodyStrings(
        {QStringLiteral("felhasznalonev"), QStringLiteral("jelszo")}, &reason);
    if (!fields)
        return JsonReply::ready(JsonReply::unprocessable(reason));
    // An unknown name is checked against a dummy hash: the same work, so the
    // reply time does not tell which names exist.
    const std::optional<UserRecord> user = database.userByName(fields->at(0));
    return verifyThrottled(fields->at(0), user ? user->passwordHash : QByteArray(), fields->at(1),
        [this, user](bool matches) {
            if (!matches)
                return JsonReply::refusal(
                    Status::Unauthorized, QStringLiteral("Hibás felhasználónév vagy jelszó."));
            const QByteArray token = sessions.open(user->id);
            return JsonReply::object({{QStringLiteral("access_token"), QString::fromLatin1(token)},
                {QStringLiteral("token_type"), QStringLiteral("bearer")},
                {QStringLiteral("szerepkor"), user->szerepkor},
                {QStringLiteral("keresztnev"), user->keresztnev}});
        });
}

QFuture<QHttpServerResponse> AuthRoutes::registerUser(const ApiRequest &request)
{
    QString reason;
    const std::optional<QStringList> fields = request.bodyStrings(
        {QStringLiteral("felhasznalonev"), QStringLiteral("vezeteknev"),
            QStringLiteral("keresztnev"), QStringLiteral("jelszo"), QStringLiteral("email")},
        &reason);
    if (!fields)
        return JsonReply::ready(JsonReply::unprocessable(reason));

    UserRecord user;
    user.felhasznalonev = fields->at(0);
    user.vezeteknev = fields->at(1);
    user.keresztnev = fields->at(2);
    user.email = fields->at(4);
    user.szerepkor = QStringLiteral("user");
    QString problem = FieldRules::account(user);
    if (problem.isEmpty())
        problem = FieldRules::password(fields->at(3));
    if (!problem.isEmpty())
        return JsonReply::ready(JsonReply::unprocessable(problem));
    std::optional<QFuture<QByteArray>> hashing = work.hash(fields->at(3));
    if (!hashing)
        return JsonReply::ready(JsonReply::busy());
    return hashing->then(&work, [this, user](const QByteArray &hash) mutable {
        user.passwordHash = hash;
        if (hash.isEmpty())
            return JsonReply::refusal(
                Status::InternalServerError, QStringLiteral("A jelszó feldolgozása nem sikerült."));
        switch (database.insertUser(user)) {
        case Database::WriteResult::Ok:
            return JsonReply::object(user.toJson(), Status::Created);
        case Database::WriteResult::Duplicate:
            return JsonReply::refusal(
                Status::Conflict, QStringLiteral("Ez a felhasználónév már foglalt."));
        default:
            return JsonReply::refusal(Status::InternalServerError,
                QStringLiteral("A regisztráció mentése nem sikerült."));
        }
    });
}

QFuture<QHttpServerResponse> AuthRoutes::reauthenticate(const ApiRequest &request)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::Admin, &caller))
        return JsonReply::ready(std::move(*refusal));
    QString reason;
    const std::optional<QStringList> fields
        = request.bodyStrings({QStringLiteral("password")}, &reason);
    if (!fields)
        return JsonReply::ready(JsonReply::unprocessable(reason));
    const std::optional<UserRecord> user = database.userById(caller.userId);
    return verifyThrottled(caller.username, user ? user->passwordHash : QByteArray(), fields->at(0),
        [this, token = caller.token](bool matches) {
            if (!matches)
                return JsonReply::refusal(Status::Forbidden, QStringLiteral("Hibás admin jelszó."));
            sessions.markReauthenticated(token);
            return JsonReply::object({{QStringLiteral("detail"), QStringLiteral("Megerősítve.")}});
        });
}
