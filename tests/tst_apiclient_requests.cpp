#include "api/apiclient.h"
#include "api/serverorigin.h"
#include "tests/apicall.h"
#include "tests/loopbackserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using ClientCall = std::function<void(ApiClient &)>;
Q_DECLARE_METATYPE(ClientCall)

namespace {

using QueryItems = QList<QPair<QString, QString>>;

// Reads a query the way a web server does: items split on "&", name and value
// on the first "=", "+" taken for a space, then percent-decoded.
QueryItems serverQueryItems(const QByteArray &query)
{
    const auto decode = [](QByteArray part) {
        return QString::fromUtf8(QByteArray::fromPercentEncoding(part.replace('+', ' ')));
    };
    QueryItems items;
    for (const QByteArray &item : query.split('&')) {
        const int equals = item.indexOf('=');
        if (equals < 0)
            items.append({decode(item), QString()});
        else
            items.append({decode(item.left(equals)), decode(item.mid(equals + 1))});
    }
    return items;
}

Compound sampleCompound()
{
    Compound c;
    c.kod = QStringLiteral("H2O");
    c.nev = QStringLiteral(" víz ");
    c.keplet = QStringLiteral("H2O");
    c.molaris_tomeg = QStringLiteral("18,02");
    c.halmazallapot = QStringLiteral("folyékony");
    c.details_hit = true;
    c.base_hit = false;
    return c;
}

QJsonObject sampleCompoundJson()
{
    return {{QStringLiteral("kod"), QStringLiteral("H2O")},
        {QStringLiteral("nev"), QStringLiteral(" víz ")},
        {QStringLiteral("keplet"), QStringLiteral("H2O")},
        {QStringLiteral("molaris_tomeg"), QStringLiteral("18,02")},
        {QStringLiteral("szin"), QString()},
        {QStringLiteral("halmazallapot"), QStringLiteral("folyékony")}};
}

CompoundDetails sampleDetails()
{
    CompoundDetails d;
    d.kod = QStringLiteral("MASIK");
    d.description = QStringLiteral("első sor\nmásodik sor");
    d.cas = QStringLiteral("7732-18-5");
    d.msds_url = QStringLiteral("https://example.hu/sds?id=1&x=2");
    d.ghs = QStringLiteral("GHS07");
    d.density = QStringLiteral("1,0 g/cm³");
    d.notes = QStringLiteral("  ");
    d.images.append({QStringLiteral("https://example.hu/a.png"), QStringLiteral("a"), 1});
    return d;
}

QJsonObject detailsJson(const CompoundDetails &d)
{
    return {{QStringLiteral("description"), d.description}, {QStringLiteral("cas"), d.cas},
        {QStringLiteral("msds_url"), d.msds_url}, {QStringLiteral("ghs"), d.ghs},
        {QStringLiteral("storage"), d.storage}, {QStringLiteral("density"), d.density},
        {QStringLiteral("melting_point"), d.melting_point},
        {QStringLiteral("boiling_point"), d.boiling_point},
        {QStringLiteral("solubility"), d.solubility}, {QStringLiteral("notes"), d.notes}};
}

QByteArray indented(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

} // namespace

class TestApiClientRequests : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        server.clearRequests();
        server.setHolding(false);
        server.answerAllWith(ScriptedResponse::json(200, "{}"));
    }

    void requestLineAndBody_data()
    {
        QTest::addColumn<ClientCall>("call");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body");

        const QString padded = QStringLiteral(" titok ");
        QTest::newRow("login keeps name and password")
            << ClientCall([=](ApiClient &a) { a.login(QStringLiteral(" anna "), padded); })
            << QByteArray("POST") << QByteArray("/api/v1/auth/login")
            << indented({{QStringLiteral("felhasznalonev"), QStringLiteral(" anna ")},
                   {QStringLiteral("jelszo"), padded}});
        QTest::newRow("register trims all but the password")
            << ClientCall([=](ApiClient &a) {
                   a.registerUser(QStringLiteral(" anna\t"), QStringLiteral(" Kiss "),
                       QStringLiteral("Anna "), padded, QStringLiteral(" a@b.hu "));
               })
            << QByteArray("POST") << QByteArray("/api/v1/auth/register")
            << indented({{QStringLiteral("felhasznalonev"), QStringLiteral("anna")},
                   {QStringLiteral("vezeteknev"), QStringLiteral("Kiss")},
                   {QStringLiteral("keresztnev"), QStringLiteral("Anna")},
                   {QStringLiteral("jelszo"), padded},
                   {QStringLiteral("email"), QStringLiteral("a@b.hu")}});
        QTest::newRow("reauth keeps the password")
            << ClientCall([=](ApiClient &a) { a.adminReauth(padded); }) << QByteArray("POST")
            << QByteArray("/api/v1/admin/reauth")
            << indented({{QStringLiteral("password"), padded}});
        QTest::newRow("compound list")
            << ClientCall([](ApiClient &a) { a.fetchCompounds(); }) << QByteArray("GET")
            << QByteArray("/api/v1/compounds") << QByteArray();
        QTest::newRow("search") << ClientCall([](ApiClient &a) {
            a.searchCompounds(QStringLiteral("víz"));
        }) << QByteArray("GET") << QByteArray("/api/v1/compounds/search?q=v%C3%ADz&limit=200")
                                << QByteArray();
        QTest::newRow("create sends six keys, no flags")
            << ClientCall([](ApiClient &a) { a.createCompound(sampleCompound()); })
            << QByteArray("POST") << QByteArray("/api/v1/compounds")
            << indented(sampleCompoundJson());
        QTest::newRow("update") << ClientCall([](ApiClient &a) {
            a.updateCompound(QStringLiteral("H2O"), sampleCompound());
        }) << QByteArray("PUT") << QByteArray("/api/v1/compounds/H2O")
                                << indented(sampleCompoundJson());
        QTest::newRow("delete") << ClientCall([](ApiClient &a) {
            a.deleteCompound(QStringLiteral("H2O"));
        }) << QByteArray("DELETE")
                                << QByteArray("/api/v1/compounds/H2O") << QByteArray();
        QTest::newRow("details fetch")
            << ClientCall([](ApiClient &a) { a.fetchCompoundDetails(QStringLiteral("H2O")); })
            << QByteArray("GET") << QByteArray("/api/v1/compounds/H2O/details") << QByteArray();
        QTest::newRow("details save: ten keys, code only in the path")
            << ClientCall([](ApiClient &a) {
                   a.saveCompoundDetails(QStringLiteral("H2O"), sampleDetails());
               })
            << QByteArray("PUT") << QByteArray("/api/v1/compounds/H2O/details")
            << indented(detailsJson(sampleDetails()));
        QTest::newRow("details save of an empty record")
            << ClientCall([](ApiClient &a) {
                   a.saveCompoundDetails(QStringLiteral("H2O"), CompoundDetails());
               })
            << QByteArray("PUT") << QByteArray("/api/v1/compounds/H2O/details")
            << indented(detailsJson(CompoundDetails()));
        QTest::newRow("user list")
            << ClientCall([](ApiClient &a) { a.fetchUsers(); }) << QByteArray("GET")
            << QByteArray("/api/v1/users") << QByteArray();
        QTest::newRow("user update: old name in path, new in body")
            << ClientCall([](ApiClient &a) {
                   a.updateUser(QStringLiteral("regi"), QStringLiteral("uj"),
                       QStringLiteral("Kiss"), QStringLiteral(" Anna "), QString(),
                       QStringLiteral("editor"));
               })
            << QByteArray("PUT") << QByteArray("/api/v1/users/regi")
            << indented({{QStringLiteral("new_username"), QStringLiteral("uj")},
                   {QStringLiteral("vezeteknev"), QStringLiteral("Kiss")},
                   {QStringLiteral("keresztnev"), QStringLiteral(" Anna ")},
                   {QStringLiteral("email"), QString()},
                   {QStringLiteral("szerepkor"), QStringLiteral("editor")}});
        QTest::newRow("password reset with an empty password")
            << ClientCall(
                   [](ApiClient &a) { a.resetUserPassword(QStringLiteral("anna"), QString()); })
            << QByteArray("PUT") << QByteArray("/api/v1/users/anna/password")
            << indented({{QStringLiteral("new_password"), QString()}});
        QTest::newRow("password reset keeps spaces")
            << ClientCall(
                   [=](ApiClient &a) { a.resetUserPassword(QStringLiteral("anna"), padded); })
            << QByteArray("PUT") << QByteArray("/api/v1/users/anna/password")
            << indented({{QStringLiteral("new_password"), padded}});
        QTest::newRow("role") << ClientCall(
            [](ApiClient &a) { a.setUserRole(QStringLiteral("anna"), QStringLiteral("admin")); })
                              << QByteArray("PUT") << QByteArray("/api/v1/users/anna/role")
                              << indented({{QStringLiteral("szerepkor"), QStringLiteral("admin")}});
    }

    void requestLineAndBody()
    {
        QFETCH(ClientCall, call);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);

        ApiClient api;
        api.setBaseUrl(server.origin());
        call(api);
        QTRY_COMPARE(server.requests().size(), 1);
        const RecordedRequest &request = server.requests().constFirst();
        QCOMPARE(request.method, method);
        QCOMPARE(request.target, target);
        if (!body.isEmpty()) {
            // Same members first (clearer on failure), then the exact indented text.
            QCOMPARE(QJsonDocument::fromJson(request.body).object(),
                QJsonDocument::fromJson(body).object());
        }
        QCOMPARE(request.body, body);
    }

    void headers_data()
    {
        QTest::addColumn<ClientCall>("call");
        QTest::addColumn<QStringList>("tokens"); // set one after the other
        QTest::addColumn<QByteArray>("authorization"); // empty: no header at all

        const QList<QPair<const char *, ClientCall>> calls {
            {"GET",
                [](ApiClient &a) {
                    a.fetchCompounds();
                }},
            {"search",
                [](ApiClient &a) {
                    a.searchCompounds(QStringLiteral("x"));
                }},
            {"DELETE",
                [](ApiClient &a) {
                    a.deleteCompound(QStringLiteral("x"));
                }},
            {"POST",
                [](ApiClient &a) {
                    a.login(QStringLiteral("a"), QStringLiteral("b"));
                }},
            {"PUT",
                [](ApiClient &a) {
                    a.setUserRole(QStringLiteral("a"), QStringLiteral("b"));
                }},
        };
        for (const auto &[name, call] : calls) {
            QTest::addRow("%s, no token", name) << call << QStringList() << QByteArray();
            QTest::addRow("%s, token", name) << call << QStringList {QStringLiteral("abc.DEF-123")}
                                             << QByteArray("Bearer abc.DEF-123");
            QTest::addRow("%s, non-ASCII token", name)
                << call << QStringList {QStringLiteral("tökén")}
                << QByteArray("Bearer t\xc3\xb6k\xc3\xa9n");
            QTest::addRow("%s, token cleared", name)
                << call << QStringList {QStringLiteral("abc"), QString()} << QByteArray();
        }
    }

    void headers()
    {
        QFETCH(ClientCall, call);
        QFETCH(QStringList, tokens);
        QFETCH(QByteArray, authorization);

        ApiClient api;
        api.setBaseUrl(server.origin());
        for (const QString &token : tokens)
            api.setToken(token);
        call(api);
        QTRY_COMPARE(server.requests().size(), 1);
        const RecordedRequest &request = server.requests().constFirst();
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(request.hasHeader("Authorization"), !authorization.isEmpty());
        QCOMPARE(request.header("Authorization"), authorization);
    }

    // A token comes from a server reply. Whatever it holds, it must not add
    // header lines or a second request to what the client sends.
    void tokenNeverAddsHeaderLines_data()
    {
        QTest::addColumn<QString>("token");
        QTest::newRow("CR LF") << QStringLiteral(
            "abc\r\nX-Injected: 1\r\n\r\nGET /smuggled HTTP/1.1\r\nHost: x");
        QTest::newRow("LF") << QStringLiteral("abc\nX-Injected: 1");
    }

    void tokenNeverAddsHeaderLines()
    {
        QFETCH(QString, token);

        LoopbackServer isolated; // whatever gets smuggled stays with this test
        isolated.answerAllWith(ScriptedResponse::json(200, "[]"));
        ApiClient api;
        api.setBaseUrl(isolated.origin());
        api.setToken(token);
        QSignalSpy listed(&api, &ApiClient::compoundsOk);
        api.fetchCompounds();
        QTRY_COMPARE(listed.size(), 1);
        // A second request started later shows whether a smuggled one came first.
        api.fetchUsers();
        QTRY_VERIFY(isolated.requests().size() >= 2);
        QCOMPARE(isolated.requests().at(1).target, QByteArray("/api/v1/users"));
        QVERIFY(!isolated.requests().constFirst().hasHeader("X-Injected"));
    }

    void encodePathSegment_data()
    {
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("encoded");

        QTest::newRow("unreserved unchanged")
            << QStringLiteral("AZaz09-._~") << QStringLiteral("AZaz09-._~");
        QTest::newRow("slash") << QStringLiteral("a/b") << QStringLiteral("a%2Fb");
        QTest::newRow("space") << QStringLiteral("a b") << QStringLiteral("a%20b");
        QTest::newRow("percent") << QStringLiteral("%41") << QStringLiteral("%2541");
        QTest::newRow("every other ASCII sign")
            << QStringLiteral("!\"#$%&'()*+,/:;<=>?@[\\]^`{|}")
            << QStringLiteral("%21%22%23%24%25%26%27%28%29%2A%2B%2C%2F%3A%3B%3C%3D%3E%3F%40%5B%5C%"
                              "5D%5E%60%7B%7C%7D");
        QTest::newRow("controls") << QStringLiteral("\t\n") << QStringLiteral("%09%0A");
        QTest::newRow("two-byte letters, upper-case hex")
            << QStringLiteral("Víz ß") << QStringLiteral("V%C3%ADz%20%C3%9F");
        QTest::newRow("three bytes") << QStringLiteral("€") << QStringLiteral("%E2%82%AC");
        QTest::newRow("four bytes") << QStringLiteral("🧪") << QStringLiteral("%F0%9F%A7%AA");
    }

    void encodePathSegment()
    {
        QFETCH(QString, identifier);
        QFETCH(QString, encoded);
        QCOMPARE(ApiClient::encodePathSegment(identifier), encoded);
    }

    void identifierStaysOneSegment_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QByteArray>("target");

        const QList<QPair<QString, QByteArray>> identifiers {
            {QStringLiteral("a/b"), "a%2Fb"},
            {QStringLiteral("a?b"), "a%3Fb"},
            {QStringLiteral("a#b"), "a%23b"},
            {QStringLiteral("a b"), "a%20b"},
            {QStringLiteral("Víz űr"), "V%C3%ADz%20%C5%B1r"},
            {QStringLiteral("%41"), "%2541"},
            {QStringLiteral("..."), "..."},
            {QStringLiteral(" "), "%20"},
            {QStringLiteral("H2O-x_y.z~"), "H2O-x_y.z~"},
        };
        const QList<std::tuple<QString, QByteArray, QByteArray>> operations {
            {QStringLiteral("updateCompound"), "/api/v1/compounds/", ""},
            {QStringLiteral("deleteCompound"), "/api/v1/compounds/", ""},
            {QStringLiteral("fetchCompoundDetails"), "/api/v1/compounds/", "/details"},
            {QStringLiteral("saveCompoundDetails"), "/api/v1/compounds/", "/details"},
            {QStringLiteral("updateUser"), "/api/v1/users/", ""},
            {QStringLiteral("resetUserPassword"), "/api/v1/users/", "/password"},
            {QStringLiteral("setUserRole"), "/api/v1/users/", "/role"},
        };
        for (const auto &[operation, prefix, suffix] : operations) {
            for (const auto &[identifier, encoded] : identifiers) {
                QTest::addRow("%s %s", qPrintable(operation), encoded.constData())
                    << operation << identifier << prefix + encoded + suffix;
            }
        }
    }

    void identifierStaysOneSegment()
    {
        QFETCH(QString, operation);
        QFETCH(QString, identifier);
        QFETCH(QByteArray, target);

        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start(identifier);
        QTRY_COMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().target, target);
        QTRY_COMPARE(call.emissions(), 1);
    }

    // The network layer normalises every path before sending it, and Qt 6.4
    // also empties a two-character segment that begins with a dot when another
    // segment follows ("/.a/details" goes out as "//details"). Such a request
    // would address some other resource; it must either arrive exactly or not
    // be sent at all and fail like a refused connection.
    void identifierNeverReachesAnotherPath_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QString>("label");

        const QList<std::tuple<QString, QByteArray, QByteArray, QString>> operations {
            {QStringLiteral("updateCompound"), "/api/v1/compounds/", "",
                QStringLiteral("Sikertelen frissítés.")},
            {QStringLiteral("deleteCompound"), "/api/v1/compounds/", "",
                QStringLiteral("Sikertelen törlés.")},
            {QStringLiteral("fetchCompoundDetails"), "/api/v1/compounds/", "/details",
                QStringLiteral("Részletek lekérése sikertelen.")},
            {QStringLiteral("saveCompoundDetails"), "/api/v1/compounds/", "/details",
                QStringLiteral("Részletek mentése sikertelen.")},
            {QStringLiteral("updateUser"), "/api/v1/users/", "",
                QStringLiteral("Mentés sikertelen.")},
            {QStringLiteral("resetUserPassword"), "/api/v1/users/", "/password",
                QStringLiteral("Jelszó mentés sikertelen.")},
            {QStringLiteral("setUserRole"), "/api/v1/users/", "/role",
                QStringLiteral("Szerepkör frissítés sikertelen.")},
        };
        const QList<QPair<QString, QByteArray>> identifiers {
            {QStringLiteral(".a"), ".a"},
            {QStringLiteral(".1"), ".1"},
            {QStringLiteral("._"), "._"},
            {QStringLiteral(". "), ".%20"},
            {QStringLiteral(".é"), ".%C3%A9"},
            {QStringLiteral(".ab"), ".ab"},
        };
        for (const auto &[operation, prefix, suffix, label] : operations) {
            for (const auto &[identifier, encoded] : identifiers) {
                QTest::addRow("%s %s", qPrintable(operation), encoded.constData())
                    << operation << identifier << prefix + encoded + suffix << label;
            }
        }
    }

    void identifierNeverReachesAnotherPath()
    {
        QFETCH(QString, operation);
        QFETCH(QString, identifier);
        QFETCH(QByteArray, target);
        QFETCH(QString, label);

        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start(identifier);
        QTRY_COMPARE(call.emissions(), 1);
        if (server.requests().isEmpty()) {
            QCOMPARE(call.errorMessage(), label + QStringLiteral(" HTTP=0\n"));
        } else {
            QCOMPARE(server.requests().size(), 1);
            QCOMPARE(server.requests().constFirst().target, target);
        }
    }

    void searchTextArrivesUnchanged_data()
    {
        QTest::addColumn<QString>("text");

        for (const char *text : {"C+", "%41", "a&b=c d", "100%", "%zz", "a+b c", "víz", "H₂O",
                 "a/b?c#d", "é+é=é²", "q=1&limit=5", "'\"<>[]{}|\\^`", ";,:@$!*()"})
            QTest::newRow(text) << QString::fromUtf8(text);
        QTest::newRow("empty") << QString();
    }

    void searchTextArrivesUnchanged()
    {
        QFETCH(QString, text);

        server.answerAllWith(ScriptedResponse::json(200, "[]"));
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy ok(&api, &ApiClient::compoundsSearchOk);
        api.searchCompounds(text);
        QTRY_COMPARE(ok.size(), 1);
        const RecordedRequest &request = server.requests().constFirst();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.path(), QByteArray("/api/v1/compounds/search"));
        const QueryItems expected {
            {QStringLiteral("q"), text}, {QStringLiteral("limit"), QStringLiteral("200")}};
        QCOMPARE(serverQueryItems(request.query()), expected);
    }

    void unaddressableIdentifierSendsNothing_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QString>("message");

        const QList<QPair<QString, QString>> operations {
            {QStringLiteral("updateCompound"), QStringLiteral("Sikertelen frissítés. HTTP=0\n")},
            {QStringLiteral("deleteCompound"), QStringLiteral("Sikertelen törlés. HTTP=0\n")},
            {QStringLiteral("fetchCompoundDetails"),
                QStringLiteral("Részletek lekérése sikertelen. HTTP=0\n")},
            {QStringLiteral("saveCompoundDetails"),
                QStringLiteral("Részletek mentése sikertelen. HTTP=0\n")},
            {QStringLiteral("updateUser"), QStringLiteral("Mentés sikertelen. HTTP=0\n")},
            {QStringLiteral("resetUserPassword"),
                QStringLiteral("Jelszó mentés sikertelen. HTTP=0\n")},
            {QStringLiteral("setUserRole"),
                QStringLiteral("Szerepkör frissítés sikertelen. HTTP=0\n")},
        };
        for (const auto &[operation, message] : operations) {
            for (const QString &identifier :
                {QString(), QStringLiteral("."), QStringLiteral("..")}) {
                QTest::addRow("%s \"%s\"", qPrintable(operation), qPrintable(identifier))
                    << operation << identifier << message;
            }
        }
    }

    void unaddressableIdentifierSendsNothing()
    {
        QFETCH(QString, operation);
        QFETCH(QString, identifier);
        QFETCH(QString, message);

        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start(identifier);
        QCOMPARE(call.emissions(), 0); // never from inside the call
        QTRY_COMPARE(call.error.size(), 1);
        QCOMPARE(call.ok.size(), 0);
        QCOMPARE(call.errorMessage(), message);
        if (call.error.constFirst().size() == 2)
            QCOMPARE(call.signalledUsername(), identifier);

        // A request started later must be the first the server sees.
        QSignalSpy listed(&api, &ApiClient::compoundsOk);
        server.answerAllWith(ScriptedResponse::json(200, "[]"));
        api.fetchCompounds();
        QTRY_COMPARE(listed.size(), 1);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().target, QByteArray("/api/v1/compounds"));
        QCOMPARE(call.emissions(), 1);
    }

    // Receivers elsewhere connect by these signatures; the order is the index order.
    void signalsInDeclaredOrder()
    {
        const QStringList expected {
            QStringLiteral("loginOk(QString token,QString role,QString keresztnev)"),
            QStringLiteral("loginError(QString message)"),
            QStringLiteral("compoundsOk(QList<Compound> compounds)"),
            QStringLiteral("compoundsError(QString message)"),
            QStringLiteral("compoundWriteOk()"),
            QStringLiteral("compoundWriteError(QString message)"),
            QStringLiteral("compoundDetailsOk(CompoundDetails d)"),
            QStringLiteral("compoundDetailsError(QString message)"),
            QStringLiteral("compoundDetailsWriteOk()"),
            QStringLiteral("compoundDetailsWriteError(QString message)"),
            QStringLiteral("compoundsSearchOk(QList<Compound> compounds)"),
            QStringLiteral("compoundsSearchError(QString message)"),
            QStringLiteral("usersOk(QList<UserRow> users)"),
            QStringLiteral("usersError(QString message)"),
            QStringLiteral("adminWriteOk()"),
            QStringLiteral("adminWriteError(QString message)"),
            QStringLiteral("registerOk()"),
            QStringLiteral("registerError(QString message)"),
            QStringLiteral("adminReauthOk()"),
            QStringLiteral("adminReauthError(QString message)"),
            QStringLiteral("userUpdateOk(QString username)"),
            QStringLiteral("userUpdateError(QString username,QString message)"),
            QStringLiteral("passwordResetOk(QString username)"),
            QStringLiteral("passwordResetError(QString username,QString message)"),
        };
        const QMetaObject &meta = ApiClient::staticMetaObject;
        QStringList declared;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            if (method.methodType() != QMetaMethod::Signal)
                continue;
            QStringList parameters;
            for (int p = 0; p < method.parameterCount(); ++p) {
                parameters << QString::fromLatin1(
                    method.parameterTypes().at(p) + ' ' + method.parameterNames().at(p));
            }
            declared << QString::fromLatin1(method.name()) + QLatin1Char('(')
                    + parameters.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        QCOMPARE(declared, expected);
    }

    void constructedWithServerOriginAndNoToken()
    {
        ApiClient api;
        QCOMPARE(api.baseUrl(), DefaultServerOrigin);
        const QNetworkRequest request = api.buildRequest(QStringLiteral("/api/v1/compounds"));
        QCOMPARE(request.url(), QUrl(DefaultServerOrigin + QStringLiteral("/api/v1/compounds")));
        QVERIFY(!request.hasRawHeader("Authorization"));
    }

    void setBaseUrlNormalises_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("stored");

        QTest::newRow("unchanged")
            << QStringLiteral("https://h:8443") << QStringLiteral("https://h:8443");
        QTest::newRow("spaces and one slash")
            << QStringLiteral(" \thttps://h:8443/ \n") << QStringLiteral("https://h:8443");
        QTest::newRow("two slashes keep one")
            << QStringLiteral("https://h:8443//") << QStringLiteral("https://h:8443/");
        QTest::newRow("path with slash")
            << QStringLiteral("https://h/api/ ") << QStringLiteral("https://h/api");
        QTest::newRow("slash inside spaces only")
            << QStringLiteral("https://h / ") << QStringLiteral("https://h ");
        QTest::newRow("only a slash") << QStringLiteral(" / ") << QString();
        QTest::newRow("backslash kept")
            << QStringLiteral("https://h\\") << QStringLiteral("https://h\\");
    }

    void setBaseUrlNormalises()
    {
        QFETCH(QString, given);
        QFETCH(QString, stored);
        ApiClient api;
        api.setBaseUrl(given);
        QCOMPARE(api.baseUrl(), stored);
    }

    void baseUrlIsJoinedToThePath_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QByteArray>("target");

        QTest::newRow("bare") << QString() << QString() << QByteArray("/api/v1/users");
        QTest::newRow("spaces and slash")
            << QStringLiteral("  ") << QStringLiteral("/ ") << QByteArray("/api/v1/users");
        QTest::newRow("path prefix")
            << QString() << QStringLiteral("/proxy/") << QByteArray("/proxy/api/v1/users");
    }

    void baseUrlIsJoinedToThePath()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, suffix);
        QFETCH(QByteArray, target);

        ApiClient api;
        api.setBaseUrl(prefix + server.origin() + suffix);
        api.fetchUsers();
        QTRY_COMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().target, target);
    }

private:
    LoopbackServer server;
};

QTEST_MAIN(TestApiClientRequests)
#include "tst_apiclient_requests.moc"
