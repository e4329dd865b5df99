#include "server/compoundroutes.h"

#include "server/accessguard.h"
#include "server/apirequest.h"
#include "server/database.h"
#include "server/fieldrules.h"
#include "server/jsonreply.h"
#include "server/searchtext.h"

#include <QJsonDocument>

namespace {

using Method = QHttpServerRequest::Method;
using Status = JsonReply::Status;

const int DefaultSearchLimit = 50;
const int MaxSearchLimit = 200;

QHttpServerResponse methodNotAllowed()
{
    return JsonReply::refusal(
        Status::MethodNotAllowed, QStringLiteral("Ez a metódus itt nem használható."));
}

QHttpServerResponse unknownCompound()
{
    return JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen kódú vegyület."));
}

// The refusal for a compound write that did not succeed.
QHttpServerResponse refusalFor(Database::WriteResult result)
{
    switch (result) {
    case Database::WriteResult::NotFound:
        return unknownCompound();
    case Database::WriteResult::Duplicate:
        return JsonReply::refusal(
            Status::Conflict, QStringLiteral("Már létezik vegyület ezzel a kóddal."));
    default:
        return JsonReply::storageFailure();
    }
}

// The compound as the reply shows it, from its six checked strings.
QJsonObject compoundObject(const QStringList &values)
{
    QJsonObject compound;
    for (int i = 0; i < values.size(); ++i)
        compound.insert(Database::compoundKeys().at(i), values.at(i));
    return compound;
}

// The six compound strings of a request body, checked.
std::optional<QStringList> compoundValues(const ApiRequest &request, QString *reason)
{
    std::optional<QStringList> values = request.bodyStrings(Database::compoundKeys(), reason);
    if (!values)
        return std::nullopt;
    const QStringList labels = {QStringLiteral("kód"), QStringLiteral("név"),
        QStringLiteral("képlet"), QStringLiteral("moláris tömeg"), QStringLiteral("szín"),
        QStringLiteral("halmazállapot")};
    *reason = FieldRules::compoundCode(values->at(0));
    if (reason->isEmpty())
        *reason = FieldRules::text(labels.at(1), values->at(1), 200, true);
    for (int i = 2; i < values->size() && reason->isEmpty(); ++i)
        *reason = FieldRules::text(labels.at(i), values->at(i), 200, false);
    if (!reason->isEmpty())
        return std::nullopt;
    return values;
}

} // namespace

CompoundRoutes::CompoundRoutes(Database &database, AccessGuard &guard)
    : database(database)
    , guard(guard)
{
}

void CompoundRoutes::setImageOrigin(const QString &origin)
{
    imageOrigin = origin;
}

QHttpServerResponse CompoundRoutes::handle(const ApiRequest &request)
{
    const int depth = request.segments().size();
    const Method method = request.method();
    if (depth == 3) {
        if (method == Method::Get)
            return list(request);
        if (method == Method::Post)
            return create(request);
        return methodNotAllowed();
    }
    const QString kod = request.segment(3);
    if (depth == 4) {
        if (method == Method::Get && kod == QLatin1String("search"))
            return search(request);
        if (method == Method::Put)
            return update(request, kod);
        if (method == Method::Delete)
            return remove(request, kod);
        return methodNotAllowed();
    }
    if (depth == 5 && request.segment(4) == QLatin1String("details")) {
        if (method == Method::Get)
            return readDetails(request, kod);
        if (method == Method::Put)
            return writeDetails(request, kod);
        return methodNotAllowed();
    }
    return JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen végpont."));
}

QHttpServerResponse CompoundRoutes::list(const ApiRequest &request)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::SignedIn, &caller))
        return std::move(*refusal);
    if (listCache.isEmpty())
        listCache = QJsonDocument(database.compounds()).toJson(QJsonDocument::Compact);
    return JsonReply::serialised(listCache);
}

QHttpServerResponse CompoundRoutes::search(const ApiRequest &request)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::SignedIn, &caller))
        return std::move(*refusal);
    const QString q = request.query().queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded);
    if (q.size() > 200)
        return JsonReply::unprocessable(
            QStringLiteral("A keresett szöveg legfeljebb 200 karakter lehet."));
    int limit = DefaultSearchLimit;
    if (request.query().hasQueryItem(QStringLiteral("limit"))) {
        bool ok = false;
        limit = request.query().queryItemValue(QStringLiteral("limit")).toInt(&ok);
        if (!ok || limit < 1)
            return JsonReply::unprocessable(
                QStringLiteral("A limit pozitív egész szám kell legyen."));
        limit = qMin(limit, MaxSearchLimit);
    }
    return JsonReply::array(database.search(SearchText::fold(q.trimmed()), limit));
}

QHttpServerResponse CompoundRoutes::create(const ApiRequest &request)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::Editor, &caller))
        return std::move(*refusal);
    QString reason;
    const std::optional<QStringList> values = compoundValues(request, &reason);
    if (!values)
        return JsonReply::unprocessable(reason);
    const Database::WriteResult result = database.insertCompound(*values);
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    listCache.clear();
    return JsonReply::object(compoundObject(*values), Status::Created);
}

QHttpServerResponse CompoundRoutes::update(const ApiRequest &request, const QString &kod)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::Editor, &caller))
        return std::move(*refusal);
    QString reason;
    const std::optional<QStringList> values = compoundValues(request, &reason);
    if (!values)
        return JsonReply::unprocessable(reason);
    if (values->at(0) != kod)
        return JsonReply::unprocessable(QStringLiteral("A vegyület kódja nem módosítható."));
    const Database::WriteResult result = database.updateCompound(kod, *values);
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    listCache.clear();
    return JsonReply::object(compoundObject(*values));
}

QHttpServerResponse CompoundRoutes::remove(const ApiRequest &request, const QString &kod)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::Editor, &caller))
        return std::move(*refusal);
    const Database::WriteResult result = database.deleteCompound(kod);
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    listCache.clear();
    return JsonReply::object({{QStringLiteral("detail"), QStringLiteral("Törölve.")}});
}

QHttpServerResponse CompoundRoutes::readDetails(const ApiRequest &request, const QString &kod)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::SignedIn, &caller))
        return std::move(*refusal);
    const std::optional<QJsonObject> details = database.details(kod, imageOrigin);
    if (!details)
        return unknownCompound();
    return JsonReply::object(*details);
}

QHttpServerResponse CompoundRoutes::writeDetails(const ApiRequest &request, const QString &kod)
{
    Caller caller;
    if (auto refusal = guard.check(request, AccessGuard::Level::Editor, &caller))
        return std::move(*refusal);
    QString reason;
    const std::optional<QStringList> values = request.bodyStrings(Database::detailKeys(), &reason);
    if (!values)
        return JsonReply::unprocessable(reason);
    for (int i = 0; i < values->size() && reason.isEmpty(); ++i)
        reason = FieldRules::text(Database::detailKeys().at(i), values->at(i), 20000, false);
    if (!reason.isEmpty())
        return JsonReply::unprocessable(reason);
    const Database::WriteResult result = database.saveDetails(kod, *values);
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    return JsonReply::object(database.details(kod, imageOrigin).value_or(QJsonObject()));
}
