#include "api/apiclient.h"

#include "api/serverorigin.h"
#include "api/transfertimeout.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

constexpr int BodyPrefixBytes = 200;

QString failureText(const QString &pattern, int status, const QByteArray &body)
{
    return pattern.arg(QString::number(status), ApiClient::bodyPrefix(body));
}

bool parseJson(const QByteArray &body, QJsonDocument *document)
{
    QJsonParseError error;
    *document = QJsonDocument::fromJson(body, &error);
    return error.error == QJsonParseError::NoError;
}

// Dot segments are resolved by URL layers even when percent-encoded, and an
// empty segment names the collection: none of these addresses one resource.
bool isAddressable(const QString &identifier)
{
    return !identifier.isEmpty() && identifier != QLatin1String(".")
        && identifier != QLatin1String("..");
}

// The network layer normalises every path before sending it and, in this Qt
// version, also drops short segments that begin with a dot (".a"); a path it
// would change must not be sent at all.
bool survivesNormalisation(const QString &path)
{
    const QUrl url(QStringLiteral("http://host") + path);
    return url.adjusted(QUrl::NormalizePathSegments) == url;
}

// A token with a line break or another control character would add header
// lines, or whole requests, to the one it authorises.
bool fitsInHeader(const QString &value)
{
    return std::none_of(value.cbegin(), value.cend(),
        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

} // namespace

ApiClient::ApiClient(QObject *parent)
    : ApiClient(DefaultServerOrigin, parent)
{
}

ApiClient::ApiClient(const QString &origin, QObject *parent)
    : QObject(parent)
    , networkManager(this)
    , serverOrigin(origin)
    , apiBaseUrl(origin)
{
    networkManager.setTransferTimeout(TransferTimeoutMs);
}

QString ApiClient::origin() const
{
    return serverOrigin;
}

void ApiClient::setTransferTimeout(int milliseconds)
{
    networkManager.setTransferTimeout(milliseconds);
}

void ApiClient::setOriginAuthorities(const QString &authorityFile)
{
    originTrust = OriginTrust(QUrl(serverOrigin, QUrl::TolerantMode), authorityFile);
}

void ApiClient::setBaseUrl(const QString &url)
{
    apiBaseUrl = url.trimmed();
    if (apiBaseUrl.endsWith(QLatin1Char('/')))
        apiBaseUrl.chop(1);
}

QString ApiClient::baseUrl() const
{
    return apiBaseUrl;
}

void ApiClient::setToken(const QString &token)
{
    accessToken = token;
}

SessionNotifier *ApiClient::sessionNotifier()
{
    return &notifier;
}

QString ApiClient::searchQuery() const
{
    return deliveredSearchQuery;
}

QNetworkRequest ApiClient::buildRequest(const QString &path) const
{
    return requestFor(apiBaseUrl + path);
}

QNetworkRequest ApiClient::requestFor(const QString &urlText) const
{
    QNetworkRequest request(QUrl(urlText, QUrl::TolerantMode));
    originTrust.apply(request);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!accessToken.isEmpty() && fitsInHeader(accessToken))
        request.setRawHeader(QByteArrayLiteral("Authorization"),
            QByteArrayLiteral("Bearer ") + accessToken.toUtf8());
    return request;
}

QString ApiClient::encodePathSegment(const QString &identifier)
{
    // QByteArray::toPercentEncoding leaves exactly the RFC 3986 unreserved
    // characters alone and writes upper-case hex digits.
    return QString::fromLatin1(identifier.toUtf8().toPercentEncoding());
}

QString ApiClient::bodyPrefix(const QByteArray &body)
{
    return QString::fromUtf8(body.left(BodyPrefixBytes));
}

void ApiClient::send(Verb verb, const QNetworkRequest &request, const QJsonObject &body,
    ReplyHandler handler, bool sendsCredentials)
{
    const QString sentToken
        = !sendsCredentials && request.hasRawHeader(QByteArrayLiteral("Authorization"))
        ? accessToken
        : QString();
    const QByteArray payload = QJsonDocument(body).toJson(QJsonDocument::Indented);
    QNetworkReply *reply = nullptr;
    switch (verb) {
    case Verb::Get:
        reply = networkManager.get(request);
        break;
    case Verb::Post:
        reply = networkManager.post(request, payload);
        break;
    case Verb::Put:
        reply = networkManager.put(request, payload);
        break;
    case Verb::Delete:
        reply = networkManager.deleteResource(request);
        break;
    }
    connect(reply, &QNetworkReply::finished, this,
        [this, reply, sentToken, handler = std::move(handler)] {
            const QByteArray replyBody = reply->readAll();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            reply->deleteLater();
            // Only the token now in use can expire. The operation's own signal
            // still follows (one outcome per request): the receivers of the
            // ended session have stopped listening by then.
            if (status == 401 && !sentToken.isEmpty() && sentToken == accessToken)
                emit notifier.sessionExpired();
            handler(status, replyBody);
        });
}

void ApiClient::send(Verb verb, const QString &path, const QJsonObject &body, ReplyHandler handler,
    bool sendsCredentials)
{
    send(verb, buildRequest(path), body, std::move(handler), sendsCredentials);
}

void ApiClient::sendTo(Verb verb, const QString &identifier, const QString &prefix,
    const QString &suffix, const QJsonObject &body, ReplyHandler handler)
{
    const QString path = prefix + encodePathSegment(identifier) + suffix;
    if (!isAddressable(identifier) || !survivesNormalisation(path)) {
        failLater(std::move(handler));
        return;
    }
    send(verb, path, body, std::move(handler));
}

void ApiClient::failLater(ReplyHandler handler)
{
    QTimer::singleShot(0, this, [handler = std::move(handler)] { handler(0, QByteArray()); });
}

// --- Authentication and registration ---------------------------------------

void ApiClient::login(const QString &username, const QString &password)
{
    const QJsonObject body {
        {QLatin1String("felhasznalonev"), username}, {QLatin1String("jelszo"), password}};
    send(
        Verb::Post, QStringLiteral("/api/v1/auth/login"), body,
        [this](int status, const QByteArray &reply) { handleLogin(status, reply); }, true);
}

void ApiClient::handleLogin(int status, const QByteArray &body)
{
    QJsonDocument document;
    if (!parseJson(body, &document) || !document.isObject()) {
        emit loginError(
            QStringLiteral("Hibás válasz (nem JSON). HTTP=%1\nSzerver: %2\nElső 200 byte:\n%3")
                .arg(QString::number(status), apiBaseUrl, bodyPrefix(body)));
        return;
    }
    const QJsonObject object = document.object();
    if (status != 200) {
        const QString detail = object.value(QLatin1String("detail")).toString();
        emit loginError(detail.isEmpty() ? QStringLiteral("Sikertelen bejelentkezés.") : detail);
        return;
    }
    const QString token = object.value(QLatin1String("access_token")).toString();
    if (token.isEmpty() || !fitsInHeader(token)) {
        emit loginError(QStringLiteral("A szerver nem adott tokent."));
        return;
    }
    emit loginOk(token, object.value(QLatin1String("szerepkor")).toString(),
        object.value(QLatin1String("keresztnev")).toString());
}

void ApiClient::registerUser(const QString &username, const QString &lastName,
    const QString &firstName, const QString &password, const QString &email)
{
    const QJsonObject body {{QLatin1String("felhasznalonev"), username.trimmed()},
        {QLatin1String("vezeteknev"), lastName.trimmed()},
        {QLatin1String("keresztnev"), firstName.trimmed()}, {QLatin1String("jelszo"), password},
        {QLatin1String("email"), email.trimmed()}};
    send(
        Verb::Post, QStringLiteral("/api/v1/auth/register"), body,
        [this](int status, const QByteArray &reply) {
            if (status == 200 || status == 201)
                emit registerOk();
            else
                emit registerError(failureText(
                    QStringLiteral("Regisztráció sikertelen. HTTP=%1\n%2"), status, reply));
        },
        true);
}

void ApiClient::adminReauth(const QString &password)
{
    send(
        Verb::Post, QStringLiteral("/api/v1/admin/reauth"),
        QJsonObject {{QLatin1String("password"), password}},
        [this](int status, const QByteArray &reply) {
            if (status == 200)
                emit adminReauthOk();
            else
                emit adminReauthError(
                    failureText(QStringLiteral("Reauth sikertelen. HTTP=%1\n%2"), status, reply));
        },
        true);
}

// --- Compounds -------------------------------------------------------------

void ApiClient::fetchCompounds()
{
    send(Verb::Get, QStringLiteral("/api/v1/compounds"), {},
        [this](int status, const QByteArray &reply) { handleCompounds(status, reply); });
}

void ApiClient::handleCompounds(int status, const QByteArray &body)
{
    QJsonDocument document;
    if (!parseJson(body, &document) || !document.isArray()) {
        emit compoundsError(failureText(
            QStringLiteral("Hibás válasz a szervertől (JSON tömb). HTTP=%1\n%2"), status, body));
        return;
    }
    if (status != 200) {
        emit compoundsError(QStringLiteral("Vegyületek lekérése sikertelen."));
        return;
    }
    emit compoundsOk(compoundsFromJson(document.array(), false));
}

void ApiClient::searchCompounds(const QString &query)
{
    // Encoded by hand: a query builder would leave "+" for the server to read
    // as a space and take "%41" in the text for an escape.
    const QString url = apiBaseUrl + QStringLiteral("/api/v1/compounds/search?q=")
        + encodePathSegment(query) + QStringLiteral("&limit=200");
    send(Verb::Get, requestFor(url), {},
        [this, query](int status, const QByteArray &reply) { handleSearch(query, status, reply); });
}

void ApiClient::handleSearch(const QString &query, int status, const QByteArray &body)
{
    // Saved and restored: a receiver's nested event loop may deliver another
    // search reply meanwhile.
    const QString outer = std::exchange(deliveredSearchQuery, query);
    QJsonDocument document;
    if (!parseJson(body, &document) || !document.isArray())
        emit compoundsSearchError(
            QStringLiteral("Hibás válasz a szervertől (search nem JSON tömb)."));
    else if (status != 200)
        emit compoundsSearchError(QStringLiteral("Keresés sikertelen. HTTP=%1").arg(status));
    else
        emit compoundsSearchOk(compoundsFromJson(document.array(), true));
    deliveredSearchQuery = outer;
}

void ApiClient::createCompound(const Compound &c)
{
    send(Verb::Post, QStringLiteral("/api/v1/compounds"), compoundToJson(c),
        [this](int status, const QByteArray &reply) {
            if (status == 200 || status == 201)
                emit compoundWriteOk();
            else
                emit compoundWriteError(failureText(
                    QStringLiteral("Sikertelen létrehozás. HTTP=%1\n%2"), status, reply));
        });
}

void ApiClient::updateCompound(const QString &kod, const Compound &c)
{
    sendTo(Verb::Put, kod, QStringLiteral("/api/v1/compounds/"), QString(), compoundToJson(c),
        [this](int status, const QByteArray &reply) {
            if (status == 200)
                emit compoundWriteOk();
            else
                emit compoundWriteError(failureText(
                    QStringLiteral("Sikertelen frissítés. HTTP=%1\n%2"), status, reply));
        });
}

void ApiClient::deleteCompound(const QString &kod)
{
    sendTo(Verb::Delete, kod, QStringLiteral("/api/v1/compounds/"), QString(), {},
        [this](int status, const QByteArray &reply) {
            if (status == 200)
                emit compoundWriteOk();
            else
                emit compoundWriteError(
                    failureText(QStringLiteral("Sikertelen törlés. HTTP=%1\n%2"), status, reply));
        });
}

// --- Compound details ------------------------------------------------------

void ApiClient::fetchCompoundDetails(const QString &kod)
{
    sendTo(Verb::Get, kod, QStringLiteral("/api/v1/compounds/"), QStringLiteral("/details"), {},
        [this](int status, const QByteArray &reply) { handleDetails(status, reply); });
}

void ApiClient::handleDetails(int status, const QByteArray &body)
{
    if (status != 200) {
        emit compoundDetailsError(failureText(
            QStringLiteral("Részletek lekérése sikertelen. HTTP=%1\n%2"), status, body));
        return;
    }
    QJsonDocument document;
    if (!parseJson(body, &document) || !document.isObject()) {
        emit compoundDetailsError(QStringLiteral("Hibás válasz (details nem JSON objektum)."));
        return;
    }
    emit compoundDetailsOk(compoundDetailsFromJson(document.object()));
}

void ApiClient::saveCompoundDetails(const QString &kod, const CompoundDetails &details)
{
    sendTo(Verb::Put, kod, QStringLiteral("/api/v1/compounds/"), QStringLiteral("/details"),
        compoundDetailsToJson(details), [this](int status, const QByteArray &reply) {
            if (status == 200)
                emit compoundDetailsWriteOk();
            else
                emit compoundDetailsWriteError(failureText(
                    QStringLiteral("Részletek mentése sikertelen. HTTP=%1\n%2"), status, reply));
        });
}

// --- User administration ---------------------------------------------------

void ApiClient::fetchUsers()
{
    send(Verb::Get, QStringLiteral("/api/v1/users"), {},
        [this](int status, const QByteArray &reply) { handleUsers(status, reply); });
}

void ApiClient::handleUsers(int status, const QByteArray &body)
{
    QJsonDocument document;
    if (!parseJson(body, &document) || !document.isArray()) {
        emit usersError(failureText(
            QStringLiteral("Hibás válasz a szervertől (users nem JSON tömb). HTTP=%1\n%2"), status,
            body));
        return;
    }
    if (status != 200) {
        emit usersError(QStringLiteral("Felhasználók lekérése sikertelen."));
        return;
    }
    emit usersOk(userRowsFromJson(document.array()));
}

void ApiClient::updateUser(const QString &oldUsername, const QString &newUsername,
    const QString &vezeteknev, const QString &keresztnev, const QString &email,
    const QString &szerepkor)
{
    const QJsonObject body {{QLatin1String("new_username"), newUsername},
        {QLatin1String("vezeteknev"), vezeteknev}, {QLatin1String("keresztnev"), keresztnev},
        {QLatin1String("email"), email}, {QLatin1String("szerepkor"), szerepkor}};
    sendTo(Verb::Put, oldUsername, QStringLiteral("/api/v1/users/"), QString(), body,
        [this, oldUsername](int status, const QByteArray &reply) {
            if (status == 200)
                emit userUpdateOk(oldUsername);
            else
                emit userUpdateError(oldUsername,
                    failureText(QStringLiteral("Mentés sikertelen. HTTP=%1\n%2"), status, reply));
        });
}

void ApiClient::resetUserPassword(const QString &username, const QString &newPassword)
{
    sendTo(Verb::Put, username, QStringLiteral("/api/v1/users/"), QStringLiteral("/password"),
        QJsonObject {{QLatin1String("new_password"), newPassword}},
        [this, username](int status, const QByteArray &reply) {
            if (status == 200)
                emit passwordResetOk(username);
            else
                emit passwordResetError(username,
                    failureText(
                        QStringLiteral("Jelszó mentés sikertelen. HTTP=%1\n%2"), status, reply));
        });
}

void ApiClient::setUserRole(const QString &username, const QString &szerepkor)
{
    sendTo(Verb::Put, username, QStringLiteral("/api/v1/users/"), QStringLiteral("/role"),
        QJsonObject {{QLatin1String("szerepkor"), szerepkor}},
        [this](int status, const QByteArray &reply) {
            if (status == 200)
                emit adminWriteOk();
            else
                emit adminWriteError(failureText(
                    QStringLiteral("Szerepkör frissítés sikertelen. HTTP=%1\n%2"), status, reply));
        });
}
