#include "api/apiclient.h"
#include "tests/apicall.h"
#include "tests/loopbackserver.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {

const QString Replacement(QChar::ReplacementCharacter);

QByteArray repeated(char c, int count)
{
    return QByteArray(count, c);
}

// The bodies every HTTP failure text is checked with, and the prefix each
// contributes to the message.
QList<std::tuple<const char *, QByteArray, QString>> bodyCases()
{
    return {
        {"short JSON", R"({"detail":"Nincs jog"})", QStringLiteral(R"({"detail":"Nincs jog"})")},
        {"300 bytes", repeated('x', 300), QString(200, QLatin1Char('x'))},
        {"exactly 200 bytes", repeated('y', 200), QString(200, QLatin1Char('y'))},
        {"two-byte letter cut", repeated('a', 199) + "\xc3\xa9" + "zz",
            QString(199, QLatin1Char('a')) + Replacement},
        {"three-byte sign cut", repeated('b', 199) + "\xe2\x82\xac",
            QString(199, QLatin1Char('b')) + Replacement},
        {"letter ending at byte 200", repeated('c', 198) + "\xc3\xa9" + "zz",
            QString(198, QLatin1Char('c')) + QStringLiteral("é")},
        {"place markers", "%1 %2 %3 %L1 %99", QStringLiteral("%1 %2 %3 %L1 %99")},
    };
}

} // namespace

class TestApiClientReplies : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        server.clearRequests();
        server.setHolding(false);
        server.answerAllWith(ScriptedResponse::json(200, "{}"));
    }

    void writeStatus_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("failure"); // empty when the status counts as success

        const QList<std::tuple<QString, QString, bool>> operations {
            {QStringLiteral("registerUser"), QStringLiteral("Regisztráció sikertelen."), true},
            {QStringLiteral("adminReauth"), QStringLiteral("Reauth sikertelen."), false},
            {QStringLiteral("createCompound"), QStringLiteral("Sikertelen létrehozás."), true},
            {QStringLiteral("updateCompound"), QStringLiteral("Sikertelen frissítés."), false},
            {QStringLiteral("deleteCompound"), QStringLiteral("Sikertelen törlés."), false},
            {QStringLiteral("saveCompoundDetails"), QStringLiteral("Részletek mentése sikertelen."),
                false},
            {QStringLiteral("updateUser"), QStringLiteral("Mentés sikertelen."), false},
            {QStringLiteral("resetUserPassword"), QStringLiteral("Jelszó mentés sikertelen."),
                false},
            {QStringLiteral("setUserRole"), QStringLiteral("Szerepkör frissítés sikertelen."),
                false},
        };
        for (const auto &[operation, label, accepts201] : operations) {
            for (int status : {200, 201, 202, 204, 206, 400, 401, 403, 404, 409, 422, 500, 503}) {
                const bool success = status == 200 || (status == 201 && accepts201);
                QTest::addRow("%s %d", qPrintable(operation), status)
                    << operation << status << (success ? QString() : label);
            }
        }
    }

    void writeStatus()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QString, failure);

        // A 204 carries no body; the others carry one the client must not read as success.
        const QByteArray body = status == 204 ? QByteArray() : QByteArray(R"({"detail":"x"})");
        server.answerAllWith(ScriptedResponse::json(status, body));
        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start(QStringLiteral("regi"));
        QTRY_COMPARE(call.emissions(), 1);
        if (failure.isEmpty()) {
            QCOMPARE(call.ok.size(), 1);
        } else {
            QCOMPARE(call.error.size(), 1);
            QCOMPARE(call.errorMessage(),
                failure + QStringLiteral(" HTTP=%1\n").arg(status) + QString::fromUtf8(body));
        }
        if (operation == QLatin1String("updateUser")
            || operation == QLatin1String("resetUserPassword"))
            QCOMPARE(call.signalledUsername(), QStringLiteral("regi"));
    }

    void httpFailureText_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");

        // Bodies that are not JSON arrays, so the list operations report them too.
        const QList<std::tuple<QString, int, QString>> operations {
            {QStringLiteral("registerUser"), 409, QStringLiteral("Regisztráció sikertelen.")},
            {QStringLiteral("adminReauth"), 401, QStringLiteral("Reauth sikertelen.")},
            {QStringLiteral("fetchCompounds"), 200,
                QStringLiteral("Hibás válasz a szervertől (JSON tömb).")},
            {QStringLiteral("createCompound"), 422, QStringLiteral("Sikertelen létrehozás.")},
            {QStringLiteral("updateCompound"), 500, QStringLiteral("Sikertelen frissítés.")},
            {QStringLiteral("deleteCompound"), 404, QStringLiteral("Sikertelen törlés.")},
            {QStringLiteral("fetchCompoundDetails"), 404,
                QStringLiteral("Részletek lekérése sikertelen.")},
            {QStringLiteral("saveCompoundDetails"), 400,
                QStringLiteral("Részletek mentése sikertelen.")},
            {QStringLiteral("fetchUsers"), 403,
                QStringLiteral("Hibás válasz a szervertől (users nem JSON tömb).")},
            {QStringLiteral("updateUser"), 409, QStringLiteral("Mentés sikertelen.")},
            {QStringLiteral("resetUserPassword"), 403, QStringLiteral("Jelszó mentés sikertelen.")},
            {QStringLiteral("setUserRole"), 403, QStringLiteral("Szerepkör frissítés sikertelen.")},
        };
        for (const auto &[operation, status, label] : operations) {
            for (const auto &[name, body, prefix] : bodyCases()) {
                QTest::addRow("%s, %s", qPrintable(operation), name)
                    << operation << status << body
                    << label + QStringLiteral(" HTTP=%1\n").arg(status) + prefix;
            }
        }
    }

    void httpFailureText()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);

        server.answerAllWith(ScriptedResponse::text(status, body));
        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start();
        QTRY_COMPARE(call.emissions(), 1);
        QCOMPARE(call.errorMessage(), message);
    }

    void bodyPrefix_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("prefix");

        QTest::newRow("empty") << QByteArray() << QString();
        for (const auto &[name, body, prefix] : bodyCases())
            QTest::newRow(name) << body << prefix;
        QTest::newRow("four-byte sign cut after one byte") << repeated('d', 199)
                + "\xf0\x9f\xa7\xaa" << QString(199, QLatin1Char('d')) + Replacement;
    }

    void bodyPrefix()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, prefix);
        QCOMPARE(ApiClient::bodyPrefix(body), prefix);
    }

    void noAnswer_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("refused"); // otherwise the server drops the connection
        QTest::addColumn<QString>("message");

        const QList<QPair<QString, QString>> operations {
            {QStringLiteral("login"), QString()}, // names the base URL, filled in below
            {QStringLiteral("registerUser"), QStringLiteral("Regisztráció sikertelen. HTTP=0\n")},
            {QStringLiteral("adminReauth"), QStringLiteral("Reauth sikertelen. HTTP=0\n")},
            {QStringLiteral("fetchCompounds"),
                QStringLiteral("Hibás válasz a szervertől (JSON tömb). HTTP=0\n")},
            {QStringLiteral("searchCompounds"),
                QStringLiteral("Hibás válasz a szervertől (search nem JSON tömb).")},
            {QStringLiteral("createCompound"), QStringLiteral("Sikertelen létrehozás. HTTP=0\n")},
            {QStringLiteral("updateCompound"), QStringLiteral("Sikertelen frissítés. HTTP=0\n")},
            {QStringLiteral("deleteCompound"), QStringLiteral("Sikertelen törlés. HTTP=0\n")},
            {QStringLiteral("fetchCompoundDetails"),
                QStringLiteral("Részletek lekérése sikertelen. HTTP=0\n")},
            {QStringLiteral("saveCompoundDetails"),
                QStringLiteral("Részletek mentése sikertelen. HTTP=0\n")},
            {QStringLiteral("fetchUsers"),
                QStringLiteral("Hibás válasz a szervertől (users nem JSON tömb). HTTP=0\n")},
            {QStringLiteral("updateUser"), QStringLiteral("Mentés sikertelen. HTTP=0\n")},
            {QStringLiteral("resetUserPassword"),
                QStringLiteral("Jelszó mentés sikertelen. HTTP=0\n")},
            {QStringLiteral("setUserRole"),
                QStringLiteral("Szerepkör frissítés sikertelen. HTTP=0\n")},
        };
        for (const auto &[operation, message] : operations) {
            QTest::addRow("%s refused", qPrintable(operation)) << operation << true << message;
            QTest::addRow("%s dropped", qPrintable(operation)) << operation << false << message;
        }
    }

    void noAnswer()
    {
        QFETCH(QString, operation);
        QFETCH(bool, refused);
        QFETCH(QString, message);

        QString origin = server.origin();
        if (refused) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            origin = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
            probe.close();
        } else {
            ScriptedResponse drop;
            drop.framing = ScriptedResponse::Framing::Drop;
            server.answerAllWith(drop);
        }
        if (message.isEmpty())
            message = QStringLiteral("Hibás válasz (nem JSON). HTTP=0\nSzerver: ") + origin
                + QStringLiteral("\nElső 200 byte:\n");

        ApiClient api;
        api.setBaseUrl(origin);
        ApiCall call(&api, operation);
        call.start(QStringLiteral("anna"));
        QTRY_COMPARE(call.emissions(), 1);
        QCOMPARE(call.errorMessage(), message);
        if (call.error.constFirst().size() == 2)
            QCOMPARE(call.signalledUsername(), QStringLiteral("anna"));
    }

    void listReplies_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message"); // empty: success
        QTest::addColumn<int>("count");

        const QString compounds = QStringLiteral("fetchCompounds");
        const QString search = QStringLiteral("searchCompounds");
        const QString users = QStringLiteral("fetchUsers");
        const QString badList = QStringLiteral("Hibás válasz a szervertől (JSON tömb). HTTP=");
        const QString badSearch
            = QStringLiteral("Hibás válasz a szervertől (search nem JSON tömb).");
        const QString badUsers
            = QStringLiteral("Hibás válasz a szervertől (users nem JSON tömb). HTTP=");

        for (const QString &op : {compounds, search, users}) {
            const QByteArray latin = op.toLatin1();
            const char *name = latin.constData();
            QTest::addRow("%s 200 empty array", name)
                << op << 200 << QByteArray("[]") << QString() << 0;
            QTest::addRow("%s 200 mixed array", name)
                << op << 200 << QByteArray(R"([1, "x", null, true, [], {}, {"kod":"A"}])")
                << QString() << 2;
        }
        const QByteArray object = R"({"detail":"nincs"})";
        QTest::newRow("list 500 array") << compounds << 500 << QByteArray("[]")
                                        << QStringLiteral("Vegyületek lekérése sikertelen.") << 0;
        QTest::newRow("list 404 object")
            << compounds << 404 << object
            << badList + QStringLiteral("404\n") + QString::fromUtf8(object) << 0;
        QTest::newRow("list 200 object")
            << compounds << 200 << object
            << badList + QStringLiteral("200\n") + QString::fromUtf8(object) << 0;
        QTest::newRow("list 200 not JSON")
            << compounds << 200 << QByteArray("[1,") << badList + QStringLiteral("200\n[1,") << 0;
        QTest::newRow("list 200 empty body")
            << compounds << 200 << QByteArray() << badList + QStringLiteral("200\n") << 0;
        QTest::newRow("search 403 array") << search << 403 << QByteArray("[]")
                                          << QStringLiteral("Keresés sikertelen. HTTP=403") << 0;
        QTest::newRow("search 201 array") << search << 201 << QByteArray("[{}]")
                                          << QStringLiteral("Keresés sikertelen. HTTP=201") << 0;
        QTest::newRow("search 200 not JSON")
            << search << 200 << QByteArray("<html>") << badSearch << 0;
        QTest::newRow("search 500 object") << search << 500 << object << badSearch << 0;
        QTest::newRow("users 500 array")
            << users << 500 << QByteArray("[]")
            << QStringLiteral("Felhasználók lekérése sikertelen.") << 0;
        QTest::newRow("users 403 object")
            << users << 403 << object
            << badUsers + QStringLiteral("403\n") + QString::fromUtf8(object) << 0;
        QTest::newRow("users 200 null")
            << users << 200 << QByteArray("null") << badUsers + QStringLiteral("200\nnull") << 0;
    }

    void listReplies()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        QFETCH(int, count);

        server.answerAllWith(ScriptedResponse::json(status, body));
        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start();
        QTRY_COMPARE(call.emissions(), 1);
        QCOMPARE(call.errorMessage(), message);
        if (message.isEmpty()) {
            const QVariant list = call.ok.constFirst().constFirst();
            QCOMPARE(list.canConvert<QList<UserRow>>() ? list.value<QList<UserRow>>().size()
                                                       : list.value<QList<Compound>>().size(),
                count);
        }
    }

    void listsKeepOrderAndReadFlagsOnlyInSearch()
    {
        server.answerAllWith(ScriptedResponse::json(200, R"([
            {"kod":"B","details_hit":true,"base_hit":false},
            "skip",
            {"kod":"A"},
            {"kod":"B","details_hit":"true","base_hit":0}])"));
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy listed(&api, &ApiClient::compoundsOk);
        QSignalSpy found(&api, &ApiClient::compoundsSearchOk);
        api.fetchCompounds();
        api.searchCompounds(QStringLiteral("B"));
        QTRY_COMPARE(listed.size() + found.size(), 2);

        const auto summary = [](const QList<Compound> &list) {
            QStringList s;
            for (const Compound &c : list)
                s << c.kod + QLatin1Char(c.details_hit ? 'D' : '-')
                        + QLatin1Char(c.base_hit ? 'B' : '-');
            return s;
        };
        QCOMPARE(summary(listed.constFirst().constFirst().value<QList<Compound>>()),
            (QStringList {QStringLiteral("B-B"), QStringLiteral("A-B"), QStringLiteral("B-B")}));
        QCOMPARE(summary(found.constFirst().constFirst().value<QList<Compound>>()),
            (QStringList {QStringLiteral("BD-"), QStringLiteral("A-B"), QStringLiteral("B-B")}));
    }

    void usersListDecoded()
    {
        server.answerAllWith(ScriptedResponse::json(200, R"([7, "x",
            {"felhasznalonev":"anna","vezeteknev":"Kiss","keresztnev":"Anna","szerepkor":"admin","email":null},
            {"felhasznalonev":"anna","szerepkor":"főnök"}])"));
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy listed(&api, &ApiClient::usersOk);
        api.fetchUsers();
        QTRY_COMPARE(listed.size(), 1);
        const auto rows = listed.constFirst().constFirst().value<QList<UserRow>>();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).felhasznalonev, QStringLiteral("anna"));
        QCOMPARE(rows.at(0).vezeteknev, QStringLiteral("Kiss"));
        QCOMPARE(rows.at(0).keresztnev, QStringLiteral("Anna"));
        QCOMPARE(rows.at(0).szerepkor, QStringLiteral("admin"));
        QCOMPARE(rows.at(0).email, QString());
        QCOMPARE(rows.at(1).szerepkor, QStringLiteral("főnök"));
    }

    void detailsReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message"); // empty: success

        const QByteArray valid = R"({"kod":"H2O","density":1.2,"cas":"7732-18-5"})";
        const QString bad = QStringLiteral("Hibás válasz (details nem JSON objektum).");
        QTest::newRow("200 object") << 200 << valid << QString();
        QTest::newRow("404 object is not parsed")
            << 404 << valid
            << QStringLiteral("Részletek lekérése sikertelen. HTTP=404\n")
                + QString::fromUtf8(valid);
        QTest::newRow("201 object") << 201 << valid
                                    << QStringLiteral("Részletek lekérése sikertelen. HTTP=201\n")
                + QString::fromUtf8(valid);
        QTest::newRow("200 array") << 200 << QByteArray("[{}]") << bad;
        QTest::newRow("200 not JSON") << 200 << QByteArray("<html></html>") << bad;
        QTest::newRow("200 empty") << 200 << QByteArray() << bad;
        QTest::newRow("200 string") << 200 << QByteArray("\"x\"") << bad;
    }

    void detailsReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);

        server.answerAllWith(ScriptedResponse::json(status, body));
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy ok(&api, &ApiClient::compoundDetailsOk);
        QSignalSpy error(&api, &ApiClient::compoundDetailsError);
        api.fetchCompoundDetails(QStringLiteral("H2O"));
        QTRY_COMPARE(ok.size() + error.size(), 1);
        if (message.isEmpty()) {
            const auto details = ok.constFirst().constFirst().value<CompoundDetails>();
            QCOMPARE(details.kod, QStringLiteral("H2O"));
            QCOMPARE(details.cas, QStringLiteral("7732-18-5"));
            QCOMPARE(details.density, QString());
        } else {
            QCOMPARE(error.constFirst().constFirst().toString(), message);
        }
    }

    void loginReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("ok"); // token, role, first name
        QTest::addColumn<QString>("message");

        const QString noToken = QStringLiteral("A szerver nem adott tokent.");
        const QString refused = QStringLiteral("Sikertelen bejelentkezés.");
        const auto notJson = [this](int status, const QString &prefix) {
            return QStringLiteral(
                "Hibás válasz (nem JSON). HTTP=%1\nSzerver: %2\nElső 200 byte:\n%3")
                .arg(QString::number(status), server.origin(), prefix);
        };

        QTest::newRow("token, role, name")
            << 200
            << QByteArray(R"({"access_token":"t0k","szerepkor":"admin","keresztnev":"Anna"})")
            << QStringList {QStringLiteral("t0k"), QStringLiteral("admin"), QStringLiteral("Anna")}
            << QString();
        QTest::newRow("token only")
            << 200 << QByteArray(R"({"access_token":"t"})")
            << QStringList {QStringLiteral("t"), QString(), QString()} << QString();
        QTest::newRow("role and name of wrong type")
            << 200 << QByteArray(R"({"access_token":"t","szerepkor":5,"keresztnev":null})")
            << QStringList {QStringLiteral("t"), QString(), QString()} << QString();
        QTest::newRow("role passed as received")
            << 200 << QByteArray(R"({"access_token":" t ","szerepkor":"Admin "})")
            << QStringList {QStringLiteral(" t "), QStringLiteral("Admin "), QString()}
            << QString();
        QTest::newRow("empty token")
            << 200 << QByteArray(R"({"access_token":""})") << QStringList() << noToken;
        QTest::newRow("missing token")
            << 200 << QByteArray(R"({"detail":"ok"})") << QStringList() << noToken;
        QTest::newRow("numeric token")
            << 200 << QByteArray(R"({"access_token":123})") << QStringList() << noToken;
        QTest::newRow("null token")
            << 200 << QByteArray(R"({"access_token":null})") << QStringList() << noToken;
        // The token goes into a header line; a line break in it would end that line.
        QTest::newRow("token with a line break")
            << 200 << QByteArray(R"({"access_token":"abc\r\nX-Injected: 1"})") << QStringList()
            << noToken;
        QTest::newRow("token with a control character")
            << 200 << QByteArray(R"({"access_token":"abc\u0000def"})") << QStringList() << noToken;
        QTest::newRow("201 with token and detail")
            << 201 << QByteArray(R"({"access_token":"t","detail":"Létrehozva"})") << QStringList()
            << QStringLiteral("Létrehozva");
        QTest::newRow("201 with token only")
            << 201 << QByteArray(R"({"access_token":"t"})") << QStringList() << refused;
        QTest::newRow("401 detail word for word")
            << 401 << QByteArray(R"({"detail":"  Hibás %1 jelszó.\n"})") << QStringList()
            << QStringLiteral("  Hibás %1 jelszó.\n");
        QTest::newRow("401 empty detail")
            << 401 << QByteArray(R"({"detail":""})") << QStringList() << refused;
        QTest::newRow("401 no detail") << 401 << QByteArray("{}") << QStringList() << refused;
        QTest::newRow("422 detail array")
            << 422 << QByteArray(R"({"detail":[{"msg":"x"}]})") << QStringList() << refused;
        QTest::newRow("403 detail object")
            << 403 << QByteArray(R"({"detail":{"a":1}})") << QStringList() << refused;
        QTest::newRow("403 detail number")
            << 403 << QByteArray(R"({"detail":7})") << QStringList() << refused;
        QTest::newRow("403 detail null")
            << 403 << QByteArray(R"({"detail":null})") << QStringList() << refused;
        QTest::newRow("200 array")
            << 200 << QByteArray("[]") << QStringList() << notJson(200, QStringLiteral("[]"));
        QTest::newRow("200 empty body")
            << 200 << QByteArray() << QStringList() << notJson(200, QString());
        QTest::newRow("200 null") << 200 << QByteArray("null") << QStringList()
                                  << notJson(200, QStringLiteral("null"));
        QTest::newRow("401 HTML") << 401 << QByteArray("<b>%2</b>") << QStringList()
                                  << notJson(401, QStringLiteral("<b>%2</b>"));
        const QByteArray page = "<html>" + repeated('p', 994);
        QTest::newRow("502 page of 1000 bytes")
            << 502 << page << QStringList() << notJson(502, QString::fromLatin1(page.left(200)));
    }

    void loginReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, ok);
        QFETCH(QString, message);

        server.answerAllWith(ScriptedResponse::json(status, body));
        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, QStringLiteral("login"));
        call.start();
        QTRY_COMPARE(call.emissions(), 1);
        QCOMPARE(call.errorMessage(), message);
        if (!ok.isEmpty()) {
            const QList<QVariant> args = call.ok.constFirst();
            QCOMPARE(
                (QStringList {args.at(0).toString(), args.at(1).toString(), args.at(2).toString()}),
                ok);
        }
    }

    void loginBadReplyNamesCurrentBaseUrlVerbatim()
    {
        server.setHolding(true);
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy failed(&api, &ApiClient::loginError);
        api.login(QStringLiteral("anna"), QStringLiteral("x"));
        QTRY_COMPARE(server.heldCount(), 1);
        const QString laterBase = QStringLiteral("https://%2.example:8443/%3");
        api.setBaseUrl(laterBase + QLatin1Char('/'));
        server.respondToHeld(0, ScriptedResponse::text(500, "%1%3"));
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(failed.constFirst().constFirst().toString(),
            QStringLiteral("Hibás válasz (nem JSON). HTTP=500\nSzerver: ") + laterBase
                + QStringLiteral("\nElső 200 byte:\n%1%3"));
    }

    void overlappingRepliesFollowCompletionOrder_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *operation :
            {"fetchCompounds", "createCompound", "updateCompound", "fetchCompoundDetails",
                "fetchUsers", "updateUser", "resetUserPassword", "setUserRole"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }

    void overlappingRepliesFollowCompletionOrder()
    {
        QFETCH(QString, operation);

        server.setHolding(true);
        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start(QStringLiteral("elso"));
        call.start(QStringLiteral("masodik"));
        QTRY_COMPARE(server.heldCount(), 2);
        const QByteArray laterTarget = server.requests().at(1).target;

        server.respondToHeld(1, ScriptedResponse::text(500, "later request"));
        QTRY_COMPARE(call.error.size(), 1);
        QVERIFY2(call.errorMessage().endsWith(QStringLiteral("\nlater request")),
            qPrintable(call.errorMessage()));
        const QString user = call.signalledUsername();
        if (!user.isEmpty())
            QVERIFY(laterTarget.contains(user.toUtf8()));

        server.respondToHeld(0, ScriptedResponse::text(500, "earlier request"));
        QTRY_COMPARE(call.error.size(), 2);
        QVERIFY(
            call.error.at(1).constLast().toString().endsWith(QStringLiteral("\nearlier request")));
        QCOMPARE(call.ok.size(), 0);
    }

    void overlappingListsArriveInCompletionOrder()
    {
        server.setHolding(true);
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy listed(&api, &ApiClient::compoundsOk);
        api.fetchCompounds();
        api.fetchCompounds();
        QTRY_COMPARE(server.heldCount(), 2);
        server.respondToHeld(1, ScriptedResponse::json(200, R"([{"kod":"B"}])"));
        QTRY_COMPARE(listed.size(), 1);
        server.respondToHeld(0, ScriptedResponse::json(200, R"([{"kod":"A"},{"kod":"C"}])"));
        QTRY_COMPARE(listed.size(), 2);
        QCOMPARE(listed.at(0).constFirst().value<QList<Compound>>().size(), 1);
        QCOMPARE(listed.at(1).constFirst().value<QList<Compound>>().size(), 2);
    }

private:
    LoopbackServer server;
};

QTEST_MAIN(TestApiClientReplies)
#include "tst_apiclient_replies.moc"
