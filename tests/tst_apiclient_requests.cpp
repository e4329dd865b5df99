#include "api/apiclient.h"
#include "api/serverorigin.h"
#include "tests/apicall.h"
#include "tests/loopbackserver.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>

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
        items.append(
            {decode(item.left(equals)), equals < 0 ? QString() : decode(item.mid(equals + 1))});
    }
    return items;
}

} // namespace

class TestApiClientRequests : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        server.clearRequests();
        server.answerAllWith(ScriptedResponse::json(200, "{}"));
    }

    void requestLineAndBody_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QByteArray>("body"); // compact here, indented on the wire

        const auto add = [](const char *operation, const char *method, const char *target,
                             const char *body = "") {
            QTest::newRow(operation) << QString::fromLatin1(operation) << QByteArray(method)
                                     << QByteArray(target) << QByteArray(body);
        };
        add("login", "POST", "/api/v1/auth/login",
            R"({"felhasznalonev":" anna ","jelszo":" titok "})");
        // Everything but the password is trimmed.
        add("registerUser", "POST", "/api/v1/auth/register",
            R"({"felhasznalonev":"anna","vezeteknev":"Kiss","keresztnev":"Anna",
                "jelszo":" titok ","email":"a@b.hu"})");
        add("adminReauth", "POST", "/api/v1/admin/reauth", R"({"password":" titok "})");
        add("fetchCompounds", "GET", "/api/v1/compounds");
        add("searchCompounds", "GET", "/api/v1/compounds/search?q=H2O&limit=200");
        // Six keys, no search flags.
        const char *compound = R"({"kod":"H2O","nev":" víz ","keplet":"H₂O",
            "molaris_tomeg":"18,02","szin":"","halmazallapot":"folyékony"})";
        add("createCompound", "POST", "/api/v1/compounds", compound);
        add("updateCompound", "PUT", "/api/v1/compounds/H2O", compound);
        add("deleteCompound", "DELETE", "/api/v1/compounds/H2O");
        add("fetchCompoundDetails", "GET", "/api/v1/compounds/H2O/details");
        // Ten keys; the code only in the path, no images. ("\/" because moc
        // takes a double slash in a raw string for a comment.)
        add("saveCompoundDetails", "PUT", "/api/v1/compounds/H2O/details",
            R"({"msds_url":"https:\/\/example.hu/sds?id=1&x=2","description":"első sor\nmásodik sor",
                "cas":"","ghs":"","storage":"","density":"",
                "melting_point":"","boiling_point":"","solubility":"","notes":"  "})");
        add("fetchUsers", "GET", "/api/v1/users");
        // The old name in the path, the new one in the body.
        add("updateUser", "PUT", "/api/v1/users/H2O",
            R"({"new_username":"uj","vezeteknev":"Kiss","keresztnev":" Anna ","email":"",
                "szerepkor":"editor"})");
        add("resetUserPassword", "PUT", "/api/v1/users/H2O/password",
            R"({"new_password":" titok "})");
        add("setUserRole", "PUT", "/api/v1/users/H2O/role", R"({"szerepkor":"admin"})");
    }

    void requestLineAndBody()
    {
        QFETCH(QString, operation);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, target);
        QFETCH(QByteArray, body);

        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall(&api, operation).start();
        QTRY_COMPARE(server.requests().size(), 1);
        const RecordedRequest &request = server.requests().constFirst();
        QCOMPARE(request.method, method);
        QCOMPARE(request.target, target);
        if (body.isEmpty()) {
            QCOMPARE(request.body, QByteArray());
            return;
        }
        // Same members first (clearer on failure), then the exact indented text.
        const QJsonDocument expected = QJsonDocument::fromJson(body);
        QVERIFY(expected.isObject());
        QCOMPARE(QJsonDocument::fromJson(request.body).object(), expected.object());
        QCOMPARE(request.body, expected.toJson(QJsonDocument::Indented));
    }

    void headers_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("tokens"); // set one after the other
        QTest::addColumn<QByteArray>("authorization"); // empty: no header at all

        for (const char *operation :
            {"fetchCompounds", "searchCompounds", "deleteCompound", "login", "setUserRole"}) {
            const QString op = QString::fromLatin1(operation);
            QTest::addRow("%s, no token", operation) << op << QStringList() << QByteArray();
            QTest::addRow("%s, token", operation)
                << op << QStringList {QStringLiteral("abc.DEF-123")}
                << QByteArray("Bearer abc.DEF-123");
            QTest::addRow("%s, non-ASCII token", operation)
                << op << QStringList {QStringLiteral("tökén")}
                << QByteArray("Bearer t\xc3\xb6k\xc3\xa9n");
            QTest::addRow("%s, token cleared", operation)
                << op << QStringList {QStringLiteral("abc"), QString()} << QByteArray();
            // A token comes from a server reply; a line break in it must not
            // add header lines or a whole request to what the client sends.
            QTest::addRow("%s, token with CR LF", operation)
                << op
                << QStringList {QStringLiteral(
                       "abc\r\nX-Injected: 1\r\n\r\nGET /smuggled HTTP/1.1\r\nHost: x")}
                << QByteArray();
            QTest::addRow("%s, token with LF", operation)
                << op << QStringList {QStringLiteral("abc\nX-Injected: 1")} << QByteArray();
        }
    }

    void headers()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, tokens);
        QFETCH(QByteArray, authorization);

        ApiClient api;
        api.setBaseUrl(server.origin());
        for (const QString &token : tokens)
            api.setToken(token);
        ApiCall(&api, operation).start();
        QTRY_COMPARE(server.requests().size(), 1);
        const RecordedRequest &request = server.requests().constFirst();
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(request.hasHeader("Authorization"), !authorization.isEmpty());
        QCOMPARE(request.header("Authorization"), authorization);
        QVERIFY(!request.hasHeader("X-Injected"));
        // A request started later shows whether a smuggled one came first.
        ApiCall later(&api, QStringLiteral("fetchUsers"));
        later.start();
        QTRY_COMPARE(later.emissions(), 1);
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(server.requests().at(1).target, QByteArray("/api/v1/users"));
    }

    // An identifier either arrives as exactly one path segment or, when no
    // path could carry it, nothing is sent and the operation fails like a
    // refused connection. The network layer normalises every path before
    // sending it, and Qt 6.4 also empties a two-character segment that begins
    // with a dot when another segment follows ("/.a/details" goes out as
    // "//details"); those identifiers may go either way.
    void identifierAddressesOneResource_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<QByteArray>("target"); // empty: nothing may be sent
        QTest::addColumn<bool>("maySendNothing");

        const QList<std::tuple<QString, QByteArray, bool>> identifiers {
            {QStringLiteral("AZaz09-_~"), "AZaz09-_~", false},
            {QStringLiteral("!\"#$%&'()*+,/:;<=>?@[\\]^`{|}\t\n"),
                "%21%22%23%24%25%26%27%28%29%2A%2B%2C%2F%3A%3B%3C%3D%3E%3F%40%5B%5C%5D%5E%60%7B%7C%"
                "7D"
                "%09%0A",
                false},
            {QStringLiteral("Víz ß€🧪"), "V%C3%ADz%20%C3%9F%E2%82%AC%F0%9F%A7%AA", false},
            {QStringLiteral("%41"), "%2541", false},
            {QStringLiteral("..."), "...", false},
            {QStringLiteral(" "), "%20", false},
            {QStringLiteral(".a"), ".a", true},
            {QStringLiteral("._"), "._", true},
            {QStringLiteral(". "), ".%20", true},
            {QStringLiteral(".é"), ".%C3%A9", true},
            {QStringLiteral(".ab"), ".ab", true},
            {QString(), "", true},
            {QStringLiteral("."), "", true},
            {QStringLiteral(".."), "", true},
        };
        // The operations whose path carries a compound code or a user name.
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
            for (const auto &[identifier, encoded, maySendNothing] : identifiers) {
                QTest::addRow("%s \"%s\"", qPrintable(operation),
                    encoded.isEmpty() ? qPrintable(identifier) : encoded.constData())
                    << operation << identifier
                    << (encoded.isEmpty() ? QByteArray() : prefix + encoded + suffix)
                    << maySendNothing;
            }
        }
    }

    void identifierAddressesOneResource()
    {
        QFETCH(QString, operation);
        QFETCH(QString, identifier);
        QFETCH(QByteArray, target);
        QFETCH(bool, maySendNothing);

        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start(identifier);
        QCOMPARE(call.emissions(), 0); // never from inside the call
        QTRY_COMPARE(call.emissions(), 1);
        if (!server.requests().isEmpty()) {
            QVERIFY2(!target.isEmpty(), "an unaddressable identifier was sent");
            QCOMPARE(server.requests().size(), 1);
            QCOMPARE(server.requests().constFirst().target, target);
            return;
        }
        QVERIFY2(maySendNothing, "a sendable identifier was refused");
        QCOMPARE(
            call.errorMessage(), ApiCall::failureLabel(operation) + QStringLiteral(" HTTP=0\n"));
        if (call.error.constFirst().size() == 2)
            QCOMPARE(call.signalledUsername(), identifier);
        // A request started later must be the first the server sees.
        ApiCall later(&api, QStringLiteral("fetchUsers"));
        later.start();
        QTRY_COMPARE(later.emissions(), 1);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().target, QByteArray("/api/v1/users"));
        QCOMPARE(call.emissions(), 1);
    }

    void searchTextArrivesUnchanged_data()
    {
        QTest::addColumn<QString>("text");

        for (const char *text : {"C+", "%41", "a&b=c d", "100%", "%zz", "víz", "H₂O", "a/b?c#d",
                 "é+é=é²", "q=1&limit=5", "'\"<>[]{}|\\^`", ";,:@$!*()"})
            QTest::newRow(text) << QString::fromUtf8(text);
        QTest::newRow("empty") << QString();
    }

    void searchTextArrivesUnchanged()
    {
        QFETCH(QString, text);

        ApiClient api;
        api.setBaseUrl(server.origin());
        api.searchCompounds(text);
        QTRY_COMPARE(server.requests().size(), 1);
        const RecordedRequest &request = server.requests().constFirst();
        QCOMPARE(request.path(), QByteArray("/api/v1/compounds/search"));
        const QueryItems expected {
            {QStringLiteral("q"), text}, {QStringLiteral("limit"), QStringLiteral("200")}};
        QCOMPARE(serverQueryItems(request.query()), expected);
    }

    // Receivers elsewhere connect by these signatures; the order is the index order.
    void signalsInDeclaredOrder()
    {
        const QByteArrayList expected {"loginOk(QString,QString,QString)", "loginError(QString)",
            "compoundsOk(QList<Compound>)", "compoundsError(QString)", "compoundWriteOk()",
            "compoundWriteError(QString)", "compoundDetailsOk(CompoundDetails)",
            "compoundDetailsError(QString)", "compoundDetailsWriteOk()",
            "compoundDetailsWriteError(QString)", "compoundsSearchOk(QList<Compound>)",
            "compoundsSearchError(QString)", "usersOk(QList<UserRow>)", "usersError(QString)",
            "adminWriteOk()", "adminWriteError(QString)", "registerOk()", "registerError(QString)",
            "adminReauthOk()", "adminReauthError(QString)", "userUpdateOk(QString)",
            "userUpdateError(QString,QString)", "passwordResetOk(QString)",
            "passwordResetError(QString,QString)"};
        const QMetaObject &meta = ApiClient::staticMetaObject;
        QByteArrayList declared;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Signal)
                declared << meta.method(i).methodSignature();
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
        QTest::newRow("slash inside spaces only")
            << QStringLiteral("https://h / ") << QStringLiteral("https://h ");
        QTest::newRow("only a slash") << QStringLiteral(" / ") << QString();
    }

    void setBaseUrlNormalises()
    {
        QFETCH(QString, given);
        QFETCH(QString, stored);
        ApiClient api;
        api.setBaseUrl(given);
        QCOMPARE(api.baseUrl(), stored);
    }

    void baseUrlPathIsKept()
    {
        ApiClient api;
        api.setBaseUrl(QStringLiteral(" ") + server.origin() + QStringLiteral("/proxy/ "));
        api.fetchUsers();
        QTRY_COMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().target, QByteArray("/proxy/api/v1/users"));
    }

private:
    LoopbackServer server;
};

QTEST_MAIN(TestApiClientRequests)
#include "tst_apiclient_requests.moc"
