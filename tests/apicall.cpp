#include "tests/apicall.h"

#include "api/apiclient.h"

namespace {

struct Operation {
    const char *name;
    const char *ok; // SIGNAL() signatures, as QSignalSpy expects them
    const char *error;
    const char *label;
};

// The order in which operations() lists them.
const Operation Operations[] = {
    {"login", "2loginOk(QString,QString,QString)", "2loginError(QString)",
        "Hibás válasz (nem JSON)."},
    {"registerUser", "2registerOk()", "2registerError(QString)", "Regisztráció sikertelen."},
    {"adminReauth", "2adminReauthOk()", "2adminReauthError(QString)", "Reauth sikertelen."},
    {"fetchCompounds", "2compoundsOk(QList<Compound>)", "2compoundsError(QString)",
        "Hibás válasz a szervertől (JSON tömb)."},
    {"searchCompounds", "2compoundsSearchOk(QList<Compound>)", "2compoundsSearchError(QString)",
        "Hibás válasz a szervertől (search nem JSON tömb)."},
    {"createCompound", "2compoundWriteOk()", "2compoundWriteError(QString)",
        "Sikertelen létrehozás."},
    {"updateCompound", "2compoundWriteOk()", "2compoundWriteError(QString)",
        "Sikertelen frissítés."},
    {"deleteCompound", "2compoundWriteOk()", "2compoundWriteError(QString)", "Sikertelen törlés."},
    {"fetchCompoundDetails", "2compoundDetailsOk(CompoundDetails)",
        "2compoundDetailsError(QString)", "Részletek lekérése sikertelen."},
    {"saveCompoundDetails", "2compoundDetailsWriteOk()", "2compoundDetailsWriteError(QString)",
        "Részletek mentése sikertelen."},
    {"fetchUsers", "2usersOk(QList<UserRow>)", "2usersError(QString)",
        "Hibás válasz a szervertől (users nem JSON tömb)."},
    {"updateUser", "2userUpdateOk(QString)", "2userUpdateError(QString,QString)",
        "Mentés sikertelen."},
    {"resetUserPassword", "2passwordResetOk(QString)", "2passwordResetError(QString,QString)",
        "Jelszó mentés sikertelen."},
    {"setUserRole", "2adminWriteOk()", "2adminWriteError(QString)",
        "Szerepkör frissítés sikertelen."},
};

const Operation &find(const QString &name)
{
    for (const Operation &operation : Operations) {
        if (name == QLatin1String(operation.name))
            return operation;
    }
    qFatal("unknown operation");
}

} // namespace

ApiCall::ApiCall(ApiClient *api, const QString &operation)
    : ok(api, find(operation).ok)
    , error(api, find(operation).error)
    , api(api)
    , operation(operation)
{
}

QStringList ApiCall::operations()
{
    QStringList names;
    for (const Operation &operation : Operations)
        names << QString::fromLatin1(operation.name);
    return names;
}

QString ApiCall::failureLabel(const QString &operation)
{
    return QString::fromUtf8(find(operation).label);
}

void ApiCall::start(const QString &identifier)
{
    // Padded texts show which arguments are sent as given and which trimmed.
    const QString password = QStringLiteral(" titok ");
    Compound compound;
    compound.kod = identifier;
    compound.nev = QStringLiteral(" víz ");
    compound.keplet = QStringLiteral("H₂O");
    compound.molaris_tomeg = QStringLiteral("18,02");
    compound.halmazallapot = QStringLiteral("folyékony");
    compound.details_hit = true;
    compound.base_hit = false;
    CompoundDetails details;
    details.kod = QStringLiteral("MASIK");
    details.description = QStringLiteral("első sor\nmásodik sor");
    details.msds_url = QStringLiteral("https://example.hu/sds?id=1&x=2");
    details.notes = QStringLiteral("  ");
    details.images.append({QStringLiteral("https://example.hu/a.png"), QStringLiteral("a"), 1});

    if (operation == QLatin1String("login"))
        api->login(QStringLiteral(" anna "), password);
    else if (operation == QLatin1String("registerUser"))
        api->registerUser(QStringLiteral(" anna\t"), QStringLiteral(" Kiss "),
            QStringLiteral("Anna "), password, QStringLiteral(" a@b.hu "));
    else if (operation == QLatin1String("adminReauth"))
        api->adminReauth(password);
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
        api->updateUser(identifier, QStringLiteral("uj"), QStringLiteral("Kiss"),
            QStringLiteral(" Anna "), QString(), QStringLiteral("editor"));
    else if (operation == QLatin1String("resetUserPassword"))
        api->resetUserPassword(identifier, password);
    else if (operation == QLatin1String("setUserRole"))
        api->setUserRole(identifier, QStringLiteral("admin"));
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
    if (!QByteArray(find(operation).error).contains(','))
        return QString();
    const QSignalSpy &spy = ok.isEmpty() ? error : ok;
    return spy.isEmpty() ? QString() : spy.first().constFirst().toString();
}
