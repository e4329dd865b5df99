// Account administration against the real server process.
#include "demoaccounts.h"
#include "httpprobe.h"
#include "serverprocess.h"

#include <QTest>

#include <memory>

namespace {

QString userPath(const QString &name, const QString &suffix = {})
{
    return QStringLiteral("/api/v1/users/") + HttpProbe::encode(name) + suffix;
}

QJsonObject userUpdate(const QString &newName, const QString &role,
    const QString &email = QStringLiteral("valaki@example.org"))
{
    return {{QStringLiteral("new_username"), newName},
        {QStringLiteral("vezeteknev"), QStringLiteral("Kiss")},
        {QStringLiteral("keresztnev"), QStringLiteral("Ágnes")}, {QStringLiteral("email"), email},
        {QStringLiteral("szerepkor"), role}};
}

QStringList names(const QJsonArray &users)
{
    QStringList result;
    for (const QJsonValue &user : users)
        result.append(user.toObject().value(QStringLiteral("felhasznalonev")).toString());
    return result;
}

} // namespace

class TestServerUsers : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void listIsForAdminsOnly_data();
    void listIsForAdminsOnly();
    void accountWritesNeedAdminAndReauthentication_data();
    void accountWritesNeedAdminAndReauthentication();
    void renamedUserSignsInWithNewPassword();
    void passwordResetEndsTheUsersSessions();
    void roleChangeAppliesToLiveSessions();
    void updateRefusals_data();
    void updateRefusals();
    void theLastAdminCannotBeDemoted();
    void namesWithSpecialCharactersAreAddressable_data();
    void namesWithSpecialCharactersAreAddressable();

private:
    QByteArray registerUser(const QString &name, const QString &password);

    ServerProcess server;
    std::unique_ptr<HttpProbe> admin;
};

void TestServerUsers::cleanupTestCase()
{
    QVERIFY(server.stop());
}

void TestServerUsers::initTestCase()
{
    QVERIFY(server.start());
    admin = std::make_unique<HttpProbe>(server.origin());
}

void TestServerUsers::init()
{
    QVERIFY(admin->signIn(QStringLiteral("admin"), DemoAccounts::adminPassword()));
    QVERIFY(admin->reauthenticate(DemoAccounts::adminPassword()));
}

QByteArray TestServerUsers::registerUser(const QString &name, const QString &password)
{
    HttpProbe probe(server.origin());
    const ProbeReply reply = probe.sendJson("POST", QStringLiteral("/api/v1/auth/register"),
        {{QStringLiteral("felhasznalonev"), name},
            {QStringLiteral("vezeteknev"), QStringLiteral("Teszt")},
            {QStringLiteral("keresztnev"), QStringLiteral("Elek")},
            {QStringLiteral("jelszo"), password},
            {QStringLiteral("email"), QStringLiteral("elek@example.org")}});
    if (reply.status != 201)
        return {};
    return probe.login(name, password);
}

void TestServerUsers::listIsForAdminsOnly_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("status");
    QTest::newRow("nobody") << QString() << QString() << 401;
    QTest::newRow("user") << "user" << DemoAccounts::userPassword() << 403;
    QTest::newRow("editor") << "editor" << DemoAccounts::editorPassword() << 403;
    QTest::newRow("admin") << "admin" << DemoAccounts::adminPassword() << 200;
}

void TestServerUsers::listIsForAdminsOnly()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(int, status);
    HttpProbe probe(server.origin());
    if (!account.isEmpty())
        QVERIFY(probe.signIn(account, password));
    const ProbeReply reply = probe.get(QStringLiteral("/api/v1/users"));
    QCOMPARE(reply.status, status);
    if (status != 200) {
        QVERIFY(!reply.detail().isEmpty());
        return;
    }
    const QJsonArray users = reply.array();
    QVERIFY(names(users).contains(QStringLiteral("editor")));
    for (const QJsonValue &user : users) {
        const QJsonObject row = user.toObject();
        QCOMPARE(row.keys(),
            (QStringList {QStringLiteral("email"), QStringLiteral("felhasznalonev"),
                QStringLiteral("keresztnev"), QStringLiteral("szerepkor"),
                QStringLiteral("vezeteknev")}));
        QVERIFY(!reply.body.contains("argon2"));
    }
}

void TestServerUsers::accountWritesNeedAdminAndReauthentication_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QJsonObject>("body");
    QTest::newRow("update") << QString()
                            << userUpdate(QStringLiteral("user"), QStringLiteral("editor"));
    QTest::newRow("password") << QStringLiteral("/password")
                              << QJsonObject {{QStringLiteral("new_password"),
                                     QStringLiteral("Masik#Jelszo1")}};
    QTest::newRow("role") << QStringLiteral("/role")
                          << QJsonObject {{QStringLiteral("szerepkor"), QStringLiteral("editor")}};
}

void TestServerUsers::accountWritesNeedAdminAndReauthentication()
{
    QFETCH(QString, suffix);
    QFETCH(QJsonObject, body);
    const QString target = userPath(QStringLiteral("user"), suffix);

    HttpProbe nobody(server.origin());
    QCOMPARE(nobody.sendJson("PUT", target, body).status, 401);
    HttpProbe editor(server.origin());
    QVERIFY(editor.signIn(QStringLiteral("editor"), DemoAccounts::editorPassword()));
    QCOMPARE(editor.sendJson("PUT", target, body).status, 403);
    HttpProbe freshAdmin(server.origin());
    QVERIFY(freshAdmin.signIn(QStringLiteral("admin"), DemoAccounts::adminPassword()));
    const ProbeReply unconfirmed = freshAdmin.sendJson("PUT", target, body);
    QCOMPARE(unconfirmed.status, 403);
    QVERIFY(!unconfirmed.detail().isEmpty());
    // Nothing changed so far.
    HttpProbe user(server.origin());
    QVERIFY(user.signIn(QStringLiteral("user"), DemoAccounts::userPassword()));
    QCOMPARE(user.get(QStringLiteral("/api/v1/compounds")).status, 200);
    QCOMPARE(user.send("DELETE", QStringLiteral("/api/v1/compounds/VEG-001")).status, 403);

    QVERIFY(freshAdmin.reauthenticate(DemoAccounts::adminPassword()));
    QCOMPARE(freshAdmin.sendJson("PUT", target, body).status, 200);

    // Back to the demo state for the other rows.
    QCOMPARE(admin
                 ->sendJson("PUT", userPath(QStringLiteral("user")),
                     userUpdate(QStringLiteral("user"), QStringLiteral("user")))
                 .status,
        200);
    QCOMPARE(admin
                 ->sendJson("PUT", userPath(QStringLiteral("user"), QStringLiteral("/password")),
                     {{QStringLiteral("new_password"), DemoAccounts::userPassword()}})
                 .status,
        200);
}

void TestServerUsers::renamedUserSignsInWithNewPassword()
{
    QVERIFY(!registerUser(QStringLiteral("régi.név"), QStringLiteral("Régi-jelszó-1")).isEmpty());
    QCOMPARE(admin
                 ->sendJson("PUT", userPath(QStringLiteral("régi.név")),
                     userUpdate(QStringLiteral("új név/2"), QStringLiteral("editor"),
                         QStringLiteral("uj@example.org")))
                 .status,
        200);
    QCOMPARE(
        admin
            ->sendJson("PUT", userPath(QStringLiteral("új név/2"), QStringLiteral("/password")),
                {{QStringLiteral("new_password"), QStringLiteral("Új-jelszó-2")}})
            .status,
        200);

    HttpProbe probe(server.origin());
    QVERIFY(probe.login(QStringLiteral("régi.név"), QStringLiteral("Régi-jelszó-1")).isEmpty());
    QVERIFY(probe.login(QStringLiteral("új név/2"), QStringLiteral("Régi-jelszó-1")).isEmpty());
    const ProbeReply login = probe.sendJson("POST", QStringLiteral("/api/v1/auth/login"),
        {{QStringLiteral("felhasznalonev"), QStringLiteral("új név/2")},
            {QStringLiteral("jelszo"), QStringLiteral("Új-jelszó-2")}});
    QCOMPARE(login.status, 200);
    QCOMPARE(
        login.object().value(QStringLiteral("szerepkor")).toString(), QStringLiteral("editor"));
    QCOMPARE(
        login.object().value(QStringLiteral("keresztnev")).toString(), QStringLiteral("Ágnes"));

    const QJsonArray users = admin->get(QStringLiteral("/api/v1/users")).array();
    QVERIFY(!names(users).contains(QStringLiteral("régi.név")));
    const QJsonObject row = users.at(names(users).indexOf(QStringLiteral("új név/2"))).toObject();
    QCOMPARE(row.value(QStringLiteral("email")).toString(), QStringLiteral("uj@example.org"));
    QCOMPARE(row.value(QStringLiteral("vezeteknev")).toString(), QStringLiteral("Kiss"));
}

void TestServerUsers::passwordResetEndsTheUsersSessions()
{
    const QByteArray token
        = registerUser(QStringLiteral("kijelentkeztetett"), QStringLiteral("Első-jelszó"));
    QVERIFY(!token.isEmpty());
    HttpProbe victim(server.origin());
    victim.setToken(token);
    QCOMPARE(victim.get(QStringLiteral("/api/v1/compounds")).status, 200);

    QCOMPARE(admin
                 ->sendJson("PUT",
                     userPath(QStringLiteral("kijelentkeztetett"), QStringLiteral("/password")),
                     {{QStringLiteral("new_password"), QStringLiteral("Második-jelszó")}})
                 .status,
        200);
    QCOMPARE(victim.get(QStringLiteral("/api/v1/compounds")).status, 401);
    // The admin who set it stays signed in.
    QCOMPARE(admin->get(QStringLiteral("/api/v1/users")).status, 200);
}

void TestServerUsers::roleChangeAppliesToLiveSessions()
{
    const QByteArray token
        = registerUser(QStringLiteral("előléptetett"), QStringLiteral("Jelszó-1234"));
    QVERIFY(!token.isEmpty());
    HttpProbe promoted(server.origin());
    promoted.setToken(token);
    const QJsonObject compound {{QStringLiteral("kod"), QStringLiteral("SZEREP-1")},
        {QStringLiteral("nev"), QStringLiteral("x")}, {QStringLiteral("keplet"), QString()},
        {QStringLiteral("molaris_tomeg"), QString()}, {QStringLiteral("szin"), QString()},
        {QStringLiteral("halmazallapot"), QString()}};
    QCOMPARE(promoted.sendJson("POST", QStringLiteral("/api/v1/compounds"), compound).status, 403);
    QCOMPARE(
        admin
            ->sendJson("PUT", userPath(QStringLiteral("előléptetett"), QStringLiteral("/role")),
                {{QStringLiteral("szerepkor"), QStringLiteral("editor")}})
            .status,
        200);
    QCOMPARE(promoted.sendJson("POST", QStringLiteral("/api/v1/compounds"), compound).status, 201);
    QCOMPARE(
        admin
            ->sendJson("PUT", userPath(QStringLiteral("előléptetett"), QStringLiteral("/role")),
                {{QStringLiteral("szerepkor"), QStringLiteral("user")}})
            .status,
        200);
    QCOMPARE(promoted.send("DELETE", QStringLiteral("/api/v1/compounds/SZEREP-1")).status, 403);
}

void TestServerUsers::updateRefusals_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    const auto update = [](const QString &name, const QString &role) {
        return QJsonDocument(userUpdate(name, role)).toJson();
    };
    QTest::newRow("unknown user") << "/api/v1/users/nincs"
                                  << update(QStringLiteral("nincs"), QStringLiteral("user")) << 404;
    QTest::newRow("rename onto editor")
        << "/api/v1/users/user" << update(QStringLiteral("editor"), QStringLiteral("user")) << 409;
    QTest::newRow("rename onto Editor")
        << "/api/v1/users/user" << update(QStringLiteral("Editor"), QStringLiteral("user")) << 409;
    QTest::newRow("unknown role") << "/api/v1/users/user"
                                  << update(QStringLiteral("user"), QStringLiteral("root")) << 422;
    QTest::newRow("role in capitals")
        << "/api/v1/users/user" << update(QStringLiteral("user"), QStringLiteral("Admin")) << 422;
    QTest::newRow("empty new name")
        << "/api/v1/users/user" << update(QString(), QStringLiteral("user")) << 422;
    QTest::newRow("missing email")
        << "/api/v1/users/user"
        << QByteArray(
               R"({"new_username":"user","vezeteknev":"a","keresztnev":"b","szerepkor":"user"})")
        << 422;
    QTest::newRow("role as number")
        << "/api/v1/users/user/role" << QByteArray(R"({"szerepkor":2})") << 422;
    QTest::newRow("role of unknown user")
        << "/api/v1/users/nincs/role" << QByteArray(R"({"szerepkor":"user"})") << 404;
    QTest::newRow("short password")
        << "/api/v1/users/user/password" << QByteArray(R"({"new_password":"rövid"})") << 422;
    QTest::newRow("password as null")
        << "/api/v1/users/user/password" << QByteArray(R"({"new_password":null})") << 422;
    QTest::newRow("password of unknown user")
        << "/api/v1/users/nincs/password" << QByteArray(R"({"new_password":"Hosszu-jelszo"})")
        << 404;
    QTest::newRow("malformed") << "/api/v1/users/user" << QByteArray("{\"new_username\":") << 422;
    QTest::newRow("POST instead of PUT") << "/api/v1/users/user/role" << QByteArray() << 405;
}

void TestServerUsers::updateRefusals()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const QByteArray before = admin->get(QStringLiteral("/api/v1/users")).body;
    const QByteArray method
        = QByteArray(QTest::currentDataTag()).startsWith("POST") ? "POST" : "PUT";
    const ProbeReply reply = admin->send(method, target, body);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.detail().isEmpty());
    QCOMPARE(admin->get(QStringLiteral("/api/v1/users")).body, before);
    HttpProbe user(server.origin());
    QVERIFY(user.signIn(QStringLiteral("user"), DemoAccounts::userPassword()));
}

void TestServerUsers::theLastAdminCannotBeDemoted()
{
    const ProbeReply byRole
        = admin->sendJson("PUT", userPath(QStringLiteral("admin"), QStringLiteral("/role")),
            {{QStringLiteral("szerepkor"), QStringLiteral("editor")}});
    QCOMPARE(byRole.status, 409);
    const ProbeReply byUpdate = admin->sendJson("PUT", userPath(QStringLiteral("admin")),
        userUpdate(QStringLiteral("admin"), QStringLiteral("user")));
    QCOMPARE(byUpdate.status, 409);
    // With a second admin the first one may step down, and back.
    QCOMPARE(admin
                 ->sendJson("PUT", userPath(QStringLiteral("editor"), QStringLiteral("/role")),
                     {{QStringLiteral("szerepkor"), QStringLiteral("admin")}})
                 .status,
        200);
    QCOMPARE(admin
                 ->sendJson("PUT", userPath(QStringLiteral("editor"), QStringLiteral("/role")),
                     {{QStringLiteral("szerepkor"), QStringLiteral("editor")}})
                 .status,
        200);
}

void TestServerUsers::namesWithSpecialCharactersAreAddressable_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("slash") << "a/b";
    QTest::newRow("question mark") << "ki?vagy";
    QTest::newRow("quotes") << "o'neil\"";
    QTest::newRow("percent") << "száz%25";
    QTest::newRow("SQL") << "x'; DELETE FROM users; --";
    QTest::newRow("non-ASCII") << "Őrködő Ügyész";
}

void TestServerUsers::namesWithSpecialCharactersAreAddressable()
{
    QFETCH(QString, name);
    QVERIFY(!registerUser(name, QStringLiteral("Jelszó-1234")).isEmpty());
    QCOMPARE(admin
                 ->sendJson("PUT", userPath(name, QStringLiteral("/role")),
                     {{QStringLiteral("szerepkor"), QStringLiteral("editor")}})
                 .status,
        200);
    QCOMPARE(admin
                 ->sendJson("PUT", userPath(name, QStringLiteral("/password")),
                     {{QStringLiteral("new_password"), QStringLiteral("Jelszó-5678")}})
                 .status,
        200);
    const QString renamed = name + QStringLiteral("-2");
    QCOMPARE(admin->sendJson("PUT", userPath(name), userUpdate(renamed, QStringLiteral("editor")))
                 .status,
        200);
    HttpProbe probe(server.origin());
    QVERIFY(probe.signIn(renamed, QStringLiteral("Jelszó-5678")));
    const QStringList all = names(admin->get(QStringLiteral("/api/v1/users")).array());
    QVERIFY(all.contains(renamed));
    QVERIFY(!all.contains(name));
    QVERIFY(all.contains(QStringLiteral("admin")));
}

QTEST_GUILESS_MAIN(TestServerUsers)
#include "tst_server_users.moc"
