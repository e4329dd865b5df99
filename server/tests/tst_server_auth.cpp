// Sign-in, registration, tokens and admin re-authentication against the real
// server process.
#include "demoaccounts.h"
#include "httpprobe.h"
#include "serverprocess.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

class TestServerAuth : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginAnswersRoleAndFirstName_data();
    void loginAnswersRoleAndFirstName();
    void loginRefusals_data();
    void loginRefusals();
    void registrationCreatesAUserAccount();
    void registrationRefusals_data();
    void registrationRefusals();
    void repeatedFailuresBlockTheName();
    void storedPasswordsAreArgon2idHashes();
    void requestsWithoutAValidTokenAreRefused_data();
    void requestsWithoutAValidTokenAreRefused();
    void reauthenticationChecksRoleAndPassword();
    void expiredTokensAreRefused();
    void reauthenticationExpires();
    void dataSurvivesARestartButTokensDoNot();

private:
    ServerProcess server;
};

void TestServerAuth::cleanupTestCase()
{
    QVERIFY(server.stop());
}

void TestServerAuth::initTestCase()
{
    QVERIFY(server.start());
}

void TestServerAuth::loginAnswersRoleAndFirstName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("role");
    QTest::addColumn<QString>("firstName");
    QTest::newRow("admin") << "admin" << DemoAccounts::adminPassword() << "admin"
                           << "Anna";
    QTest::newRow("editor") << "editor" << DemoAccounts::editorPassword() << "editor"
                            << "Péter";
    QTest::newRow("user") << "user" << DemoAccounts::userPassword() << "user"
                          << "Éva";
}

void TestServerAuth::loginAnswersRoleAndFirstName()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, role);
    QFETCH(QString, firstName);
    HttpProbe probe(server.origin());
    const ProbeReply reply = probe.sendJson("POST", QStringLiteral("/api/v1/auth/login"),
        {{QStringLiteral("felhasznalonev"), name}, {QStringLiteral("jelszo"), password}});
    QCOMPARE(reply.status, 200);
    const QString token = reply.object().value(QStringLiteral("access_token")).toString();
    QCOMPARE(token.size(), 64); // 256 bits in hexadecimal
    QCOMPARE(reply.object().value(QStringLiteral("szerepkor")).toString(), role);
    QCOMPARE(reply.object().value(QStringLiteral("keresztnev")).toString(), firstName);
    // Two sign-ins never share a token.
    QVERIFY(probe.login(name, password) != token.toLatin1());
}

void TestServerAuth::loginRefusals_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("wrong password")
        << QByteArray(R"({"felhasznalonev":"admin","jelszo":"x"})") << 401;
    QTest::newRow("unknown user") << QByteArray(R"({"felhasznalonev":"nincs","jelszo":"x"})")
                                  << 401;
    QTest::newRow("password with extra space")
        << QByteArray(R"({"felhasznalonev":"admin","jelszo":"Admin#2026 "})") << 401;
    QTest::newRow("name in other case")
        << QByteArray(R"({"felhasznalonev":"ADMIN","jelszo":"Admin#2026"})") << 401;
    QTest::newRow("missing password") << QByteArray(R"({"felhasznalonev":"admin"})") << 422;
    QTest::newRow("number password")
        << QByteArray(R"({"felhasznalonev":"admin","jelszo":1})") << 422;
    QTest::newRow("null name") << QByteArray(R"({"felhasznalonev":null,"jelszo":"x"})") << 422;
    QTest::newRow("array body") << QByteArray(R"(["admin","Admin#2026"])") << 422;
    QTest::newRow("malformed") << QByteArray(R"({"felhasznalonev":"admin",)") << 422;
    QTest::newRow("empty body") << QByteArray() << 422;
}

void TestServerAuth::loginRefusals()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    HttpProbe probe(server.origin());
    const ProbeReply reply = probe.send("POST", QStringLiteral("/api/v1/auth/login"), body);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.object().value(QStringLiteral("detail")).isString());
    QVERIFY(!reply.detail().isEmpty());
    QVERIFY(!reply.object().contains(QStringLiteral("access_token")));
}

void TestServerAuth::registrationCreatesAUserAccount()
{
    HttpProbe probe(server.origin());
    const QString name = QStringLiteral("új/felhasználó?%'\";--");
    const ProbeReply reply = probe.sendJson("POST", QStringLiteral("/api/v1/auth/register"),
        {{QStringLiteral("felhasznalonev"), name},
            {QStringLiteral("vezeteknev"), QStringLiteral("Őri")},
            {QStringLiteral("keresztnev"), QStringLiteral("Űrsula")},
            {QStringLiteral("jelszo"), QStringLiteral(" szóköz jelszó ")},
            {QStringLiteral("email"), QStringLiteral("ursula@example.org")}});
    QCOMPARE(reply.status, 201);

    const ProbeReply login = probe.sendJson("POST", QStringLiteral("/api/v1/auth/login"),
        {{QStringLiteral("felhasznalonev"), name},
            {QStringLiteral("jelszo"), QStringLiteral(" szóköz jelszó ")}});
    QCOMPARE(login.status, 200);
    QCOMPARE(login.object().value(QStringLiteral("szerepkor")).toString(), QStringLiteral("user"));
    QCOMPARE(
        login.object().value(QStringLiteral("keresztnev")).toString(), QStringLiteral("Űrsula"));
    QVERIFY(probe.login(name, QStringLiteral("szóköz jelszó")).isEmpty());
}

void TestServerAuth::registrationRefusals_data()
{
    QTest::addColumn<QJsonObject>("changes");
    QTest::addColumn<int>("status");
    QTest::newRow("taken name") << QJsonObject {{QStringLiteral("felhasznalonev"),
        QStringLiteral("editor")}}
                                << 409;
    QTest::newRow("taken name in other case")
        << QJsonObject {{QStringLiteral("felhasznalonev"), QStringLiteral("EDITOR")}} << 409;
    QTest::newRow("short password")
        << QJsonObject {{QStringLiteral("jelszo"), QStringLiteral("rövid")}} << 422;
    QTest::newRow("bad email") << QJsonObject {{QStringLiteral("email"),
        QStringLiteral("nincs-kukac")}}
                               << 422;
    QTest::newRow("blank first name")
        << QJsonObject {{QStringLiteral("keresztnev"), QStringLiteral("  ")}} << 422;
    QTest::newRow("name with control character")
        << QJsonObject {{QStringLiteral("felhasznalonev"), QStringLiteral("a\nb")}} << 422;
    QTest::newRow("number email") << QJsonObject {{QStringLiteral("email"), 5}} << 422;
    QTest::newRow("missing last name")
        << QJsonObject {{QStringLiteral("vezeteknev"), QStringLiteral("(remove)")}} << 422;
}

void TestServerAuth::registrationRefusals()
{
    QFETCH(QJsonObject, changes);
    QFETCH(int, status);
    QJsonObject body {{QStringLiteral("felhasznalonev"), QStringLiteral("uj-tag")},
        {QStringLiteral("vezeteknev"), QStringLiteral("Tóth")},
        {QStringLiteral("keresztnev"), QStringLiteral("Ödön")},
        {QStringLiteral("jelszo"), QStringLiteral("hosszú-jelszó")},
        {QStringLiteral("email"), QStringLiteral("odon@example.org")}};
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value() == QJsonValue(QStringLiteral("(remove)")))
            body.remove(it.key());
        else
            body.insert(it.key(), it.value());
    }
    HttpProbe probe(server.origin());
    const ProbeReply reply = probe.sendJson("POST", QStringLiteral("/api/v1/auth/register"), body);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.detail().isEmpty());
    QVERIFY(probe.login(QStringLiteral("uj-tag"), QStringLiteral("hosszú-jelszó")).isEmpty());
}

void TestServerAuth::repeatedFailuresBlockTheName()
{
    HttpProbe probe(server.origin());
    const QJsonObject account {{QStringLiteral("felhasznalonev"), QStringLiteral("célpont")},
        {QStringLiteral("vezeteknev"), QStringLiteral("Cél")},
        {QStringLiteral("keresztnev"), QStringLiteral("Pont")},
        {QStringLiteral("jelszo"), QStringLiteral("Helyes-jelszó")},
        {QStringLiteral("email"), QStringLiteral("cel@example.org")}};
    QCOMPARE(probe.sendJson("POST", QStringLiteral("/api/v1/auth/register"), account).status, 201);
    for (int i = 0; i < 10; ++i)
        QVERIFY(probe.login(QStringLiteral("célpont"), QStringLiteral("tipp-%1").arg(i)).isEmpty());
    const ProbeReply blocked = probe.sendJson("POST", QStringLiteral("/api/v1/auth/login"),
        {{QStringLiteral("felhasznalonev"), QStringLiteral("célpont")},
            {QStringLiteral("jelszo"), QStringLiteral("Helyes-jelszó")}});
    QCOMPARE(blocked.status, 429);
    QVERIFY(!blocked.detail().isEmpty());
    // Other names are not affected.
    QVERIFY(!probe.login(QStringLiteral("user"), DemoAccounts::userPassword()).isEmpty());
}

void TestServerAuth::storedPasswordsAreArgon2idHashes()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
    db.setDatabaseName(server.dataDir() + QStringLiteral("/orvantis.db"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    QVERIFY(db.open());
    {
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT felhasznalonev, password_hash FROM users")));
        int rows = 0;
        while (query.next()) {
            ++rows;
            const QString hash = query.value(1).toString();
            QVERIFY2(
                hash.startsWith(QLatin1String("$argon2id$v=19$m=65536,t=2,")), qPrintable(hash));
            QVERIFY(!hash.contains(QLatin1String("2026")));
        }
        QVERIFY(rows >= 3);
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
}

void TestServerAuth::requestsWithoutAValidTokenAreRefused_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::newRow("none") << QByteArray();
    QTest::newRow("unknown token")
        << QByteArray("Bearer 00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
    QTest::newRow("empty bearer") << QByteArray("Bearer ");
    QTest::newRow("basic scheme") << QByteArray("Basic YWRtaW46QWRtaW4jMjAyNg==");
    QTest::newRow("SQL in token") << QByteArray("Bearer ' OR '1'='1");
}

void TestServerAuth::requestsWithoutAValidTokenAreRefused()
{
    QFETCH(QByteArray, authorization);
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(server.origin() + QStringLiteral("/api/v1/compounds")));
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    QNetworkReply *reply = network.get(request);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
    QVERIFY(QJsonDocument::fromJson(reply->readAll())
                .object()
                .value(QStringLiteral("detail"))
                .isString());
    reply->deleteLater();
}

void TestServerAuth::reauthenticationChecksRoleAndPassword()
{
    HttpProbe probe(server.origin());
    QVERIFY(probe.signIn(QStringLiteral("editor"), DemoAccounts::editorPassword()));
    QCOMPARE(probe
                 .sendJson("POST", QStringLiteral("/api/v1/admin/reauth"),
                     {{QStringLiteral("password"), DemoAccounts::editorPassword()}})
                 .status,
        403);

    QVERIFY(probe.signIn(QStringLiteral("admin"), DemoAccounts::adminPassword()));
    const ProbeReply wrong = probe.sendJson("POST", QStringLiteral("/api/v1/admin/reauth"),
        {{QStringLiteral("password"), QStringLiteral("rossz")}});
    QCOMPARE(wrong.status, 403);
    QVERIFY(!wrong.detail().isEmpty());
    QCOMPARE(probe.send("POST", QStringLiteral("/api/v1/admin/reauth"), "{\"password\": 1}").status,
        422);
    QVERIFY(probe.reauthenticate(DemoAccounts::adminPassword()));

    // The confirmation belongs to that token only.
    HttpProbe other(server.origin());
    QVERIFY(other.signIn(QStringLiteral("admin"), DemoAccounts::adminPassword()));
    const QJsonObject role {{QStringLiteral("szerepkor"), QStringLiteral("user")}};
    QCOMPARE(other.sendJson("PUT", QStringLiteral("/api/v1/users/user/role"), role).status, 403);
    QCOMPARE(probe.sendJson("PUT", QStringLiteral("/api/v1/users/user/role"), role).status, 200);
}

void TestServerAuth::expiredTokensAreRefused()
{
    ServerProcess shortLived;
    QVERIFY(shortLived.start({QStringLiteral("--token-seconds"), QStringLiteral("0")}));
    HttpProbe probe(shortLived.origin());
    QVERIFY(probe.signIn(QStringLiteral("admin"), DemoAccounts::adminPassword()));
    QCOMPARE(probe.get(QStringLiteral("/api/v1/compounds")).status, 401);
    QCOMPARE(probe
                 .sendJson("POST", QStringLiteral("/api/v1/admin/reauth"),
                     {{QStringLiteral("password"), DemoAccounts::adminPassword()}})
                 .status,
        401);
}

void TestServerAuth::reauthenticationExpires()
{
    ServerProcess noWindow;
    QVERIFY(noWindow.start({QStringLiteral("--reauth-seconds"), QStringLiteral("0")}));
    HttpProbe probe(noWindow.origin());
    QVERIFY(probe.signIn(QStringLiteral("admin"), DemoAccounts::adminPassword()));
    QVERIFY(probe.reauthenticate(DemoAccounts::adminPassword()));
    const ProbeReply reply = probe.sendJson("PUT", QStringLiteral("/api/v1/users/user/role"),
        {{QStringLiteral("szerepkor"), QStringLiteral("editor")}});
    QCOMPARE(reply.status, 403);
    QVERIFY(!reply.detail().isEmpty());
    // Reading stays open to the admin without a fresh confirmation.
    QCOMPARE(probe.get(QStringLiteral("/api/v1/users")).status, 200);
}

void TestServerAuth::dataSurvivesARestartButTokensDoNot()
{
    ServerProcess restarted;
    QVERIFY(restarted.start());
    HttpProbe probe(restarted.origin());
    QVERIFY(probe.signIn(QStringLiteral("editor"), DemoAccounts::editorPassword()));
    const QJsonObject compound {{QStringLiteral("kod"), QStringLiteral("TARTÓS-1")},
        {QStringLiteral("nev"), QStringLiteral("Megmaradó")},
        {QStringLiteral("keplet"), QStringLiteral("X2")},
        {QStringLiteral("molaris_tomeg"), QStringLiteral("1")}, {QStringLiteral("szin"), QString()},
        {QStringLiteral("halmazallapot"), QString()}};
    QCOMPARE(probe.sendJson("POST", QStringLiteral("/api/v1/compounds"), compound).status, 201);
    const int countBefore = probe.get(QStringLiteral("/api/v1/compounds")).array().size();

    QVERIFY(restarted.stop());
    QVERIFY(restarted.start());
    HttpProbe after(restarted.origin());
    after.setToken(QByteArray());
    QCOMPARE(after.get(QStringLiteral("/api/v1/compounds")).status, 401);
    QVERIFY(after.signIn(QStringLiteral("editor"), DemoAccounts::editorPassword()));
    const QJsonArray list = after.get(QStringLiteral("/api/v1/compounds")).array();
    QCOMPARE(list.size(), countBefore);
    QVERIFY(list.contains(compound));
}

QTEST_GUILESS_MAIN(TestServerAuth)
#include "tst_server_auth.moc"
