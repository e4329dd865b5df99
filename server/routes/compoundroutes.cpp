#include "server/routes/compoundroutes.h"

#include "server/auth/accessguard.h"
#include "server/http/apirequest.h"
#include "server/http/jsonreply.h"
#include "server/routes/fieldrules.h"
#include "server/routes/writerefusal.h"
#include "server/storage/database.h"
#include "server/storage/searchtext.h"

#include <QJsonDocument>

#include <functional>

namespace {

using Method = QHttpServerRequest::Method;
using Status = JsonReply::Status;

const int DefaultSearchLimit = 50;
const int MaxSearchLimit = 200;

const WriteRefusal refusalFor(QStringLiteral("Nincs ilyen kódú vegyület."),
    QStringLiteral("Már létezik vegyület ezzel a kóddal."));

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
    const QString kod = request.segment(3);
    std::function<QHttpServerResponse()> route;
    if (depth == 3) {
        if (method == Method::Get)
            route = [this] {
                return list();
            };
        else if (method == Method::Post)
            route = [this, &request] {
                return create(request);
            };
    } else if (depth == 4) {
        if (method == Method::Get && kod == QLatin1String("search"))
            route = [this, &request] {
                return search(request);
            };
        else if (method == Method::Put)
            route = [this, &request, &kod] {
                return update(request, kod);
            };
        else if (method == Method::Delete)
            route = [this, &kod] {
                return remove(kod);
            };
    } else if (depth == 5 && request.segment(4) == QLatin1String("details")) {
        if (method == Method::Get)
            route = [this, &kod] {
                return readDetails(kod);
            };
        else if (method == Method::Put)
            route = [this, &request, &kod] {
                return writeDetails(request, kod);
            };
    } else {
        return JsonReply::noSuchEndpoint();
    }
    if (!route)
        return JsonReply::methodNotAllowed();
    // Whoever is signed in reads; editors and admins write.
    Caller caller;
    const AccessGuard::Level level
        = method == Method::Get ? AccessGuard::Level::SignedIn : AccessGuard::Level::Editor;
    if (auto refusal = guard.check(request, level, &caller))
        return std::move(*refusal);
    return route();
}

QHttpServerResponse CompoundRoutes::list()
{
    if (listCache.isEmpty())
        listCache = QJsonDocument(database.compounds()).toJson(QJsonDocument::Compact);
    return JsonReply::serialised(listCache);
}

QHttpServerResponse CompoundRoutes::search(const ApiRequest &request)
{
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

QHttpServerResponse CompoundRoutes::remove(const QString &kod)
{
    const Database::WriteResult result = database.deleteCompound(kod);
    if (result != Database::WriteResult::Ok)
        return refusalFor(result);
    listCache.clear();
    return JsonReply::object({{QStringLiteral("detail"), QStringLiteral("Törölve.")}});
}

QHttpServerResponse CompoundRoutes::readDetails(const QString &kod)
{
    const std::optional<QJsonObject> details = database.details(kod, imageOrigin);
    if (!details)
        return refusalFor(Database::WriteResult::NotFound);
    return JsonReply::object(*details);
}

QHttpServerResponse CompoundRoutes::writeDetails(const ApiRequest &request, const QString &kod)
{
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
