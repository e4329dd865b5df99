#include "tests/apicall.h"

#include "api/apiclient.h"

#include <QHash>

namespace {

struct SignalPair {
    const char *ok;
    const char *error;
};

// SIGNAL() signatures, as QSignalSpy expects them.
const QHash<QString, SignalPair> &signalPairs()
{
    static const QHash<QString, SignalPair> pairs {
        {QStringLiteral("login"), {"2loginOk(QString,QString,QString)", "2loginError(QString)"}},
        {QStringLiteral("registerUser"), {"2registerOk()", "2registerError(QString)"}},
        {QStringLiteral("adminReauth"), {"2adminReauthOk()", "2adminReauthError(QString)"}},
        {QStringLiteral("fetchCompounds"),
            {"2compoundsOk(QList<Compound>)", "2compoundsError(QString)"}},
        {QStringLiteral("searchCompounds"),
            {"2compoundsSearchOk(QList<Compound>)", "2compoundsSearchError(QString)"}},
        {QStringLiteral("createCompound"), {"2compoundWriteOk()", "2compoundWriteError(QString)"}},
        {QStringLiteral("updateCompound"), {"2compoundWriteOk()", "2compoundWriteError(QString)"}},
        {QStringLiteral("deleteCompound"), {"2compoundWriteOk()", "2compoundWriteError(QString)"}},
        {QStringLiteral("fetchCompoundDetails"),
            {"2compoundDetailsOk(CompoundDetails)", "2compoundDetailsError(QString)"}},
        {QStringLiteral("saveCompoundDetails"),
            {"2compoundDetailsWriteOk()", "2compoundDetailsWriteError(QString)"}},
        {QStringLiteral("fetchUsers"), {"2usersOk(QList<UserRow>)", "2usersError(QString)"}},
        {QStringLiteral("updateUser"),
            {"2userUpdateOk(QString)", "2userUpdateError(QString,QString)"}},
        {QStringLiteral("resetUserPassword"),
            {"2passwordResetOk(QString)", "2passwordResetError(QString,QString)"}},
        {QStringLiteral("setUserRole"), {"2adminWriteOk()", "2adminWriteError(QString)"}},
    };
    return pairs;
}

bool carriesUsername(const QString &operation)
{
    return operation == QLatin1String("updateUser")
        || operation == QLatin1String("resetUserPassword");
}

} // namespace

ApiCall::ApiCall(ApiClient *api, const QString &operation)
    : ok(api, signalPairs().value(operation).ok)
    , error(api, signalPairs().value(operation).error)
    , api(api)
    , operation(operation)
{
}

QStringList ApiCall::operations()
{
    return {QStringLiteral("login"), QStringLiteral("registerUser"), QStringLiteral("adminReauth"),
        QStringLiteral("fetchCompounds"), QStringLiteral("searchCompounds"),
        QStringLiteral("createCompound"), QStringLiteral("updateCompound"),
        QStringLiteral("deleteCompound"), QStringLiteral("fetchCompoundDetails"),
        QStringLiteral("saveCompoundDetails"), QStringLiteral("fetchUsers"),
        QStringLiteral("updateUser"), QStringLiteral("resetUserPassword"),
        QStringLiteral("setUserRole")};
}

QStringList ApiCall::identifiedOperations()
{
    return {QStringLiteral("updateCompound"), QStringLiteral("deleteCompound"),
        QStringLiteral("fetchCompoundDetails"), QStringLiteral("saveCompoundDetails"),
        QStringLiteral("updateUser"), QStringLiteral("resetUserPassword"),
        QStringLiteral("setUserRole")};
}

void ApiCall::start(const QString &identifier)
{
    Compound compound;
    compound.kod = identifier;
    compound.nev = QStringLiteral("víz");
    CompoundDetails details;
    details.description = QStringLiteral("leírás");

    if (operation == QLatin1String("login"))
        api->login(QStringLiteral("anna"), QStringLiteral("jelszo"));
    else if (operation == QLatin1String("registerUser"))
        api->registerUser(QStringLiteral("anna"), QStringLiteral("Kiss"), QStringLiteral("Anna"),
            QStringLiteral("jelszo"), QStringLiteral("anna@example.hu"));
    else if (operation == QLatin1String("adminReauth"))
        api->adminReauth(QStringLiteral("jelszo"));
    else if (operation == QLatin1String("fetchCompounds"))
        api->fetchCompounds();
    else if (operation == QLatin1String("searchCompounds"))
        api->searchCompounds(identifier);
    else if (operation == QLatin1String("createCompound"))
        api->createCompound(compound);
    else if (operation == QLatin1String("updateCompound"))
        api->updateCompound(identifier, compound);
    else if (operation == QLatin1String("deleteCompound"))
        api->deleteCompound(identifier);
    else if (operation == QLatin1String("fetchCompoundDetails"))
        api->fetchCompoundDetails(identifier);
    else if (operation == QLatin1String("saveCompoundDetails"))
        api->saveCompoundDetails(identifier, details);
    else if (operation == QLatin1String("fetchUsers"))
        api->fetchUsers();
    else if (operation == QLatin1String("updateUser"))
        api->updateUser(identifier, QStringLiteral("uj-nev"), QStringLiteral("Kiss"),
            QStringLiteral("Anna"), QStringLiteral("anna@example.hu"), QStringLiteral("editor"));
    else if (operation == QLatin1String("resetUserPassword"))
        api->resetUserPassword(identifier, QStringLiteral("uj-jelszo"));
    else if (operation == QLatin1String("setUserRole"))
        api->setUserRole(identifier, QStringLiteral("editor"));
    else
        qFatal("unknown operation");
}

int ApiCall::emissions() const
{
    return ok.size() + error.size();
}

QString ApiCall::errorMessage() const
{
    return error.isEmpty() ? QString() : error.first().constLast().toString();
}

QString ApiCall::signalledUsername() const
{
    if (!carriesUsername(operation))
        return QString();
    const QSignalSpy &spy = ok.isEmpty() ? error : ok;
    return spy.isEmpty() ? QString() : spy.first().constFirst().toString();
}
