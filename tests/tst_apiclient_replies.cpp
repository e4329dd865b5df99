#include "api/apiclient.h"
#include "tests/apicall.h"
#include "tests/loopbackserver.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {

QByteArray repeated(char c, int count)
{
    return QByteArray(count, c);
}

QStringList summary(const QVariant &compounds)
{
    QStringList s;
    for (const Compound &c : compounds.value<QList<Compound>>())
        s << c.kod + QLatin1Char(c.details_hit ? 'D' : '-') + QLatin1Char(c.base_hit ? 'B' : '-');
    return s;
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

    void statusAndBody_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message"); // empty: success

        const auto failure = [](const char *operation, int status, const QByteArray &body) {
            return ApiCall::failureLabel(QString::fromLatin1(operation))
                + QStringLiteral(" HTTP=%1\n").arg(status) + QString::fromUtf8(body);
        };
        // Writes succeed on 200 only, creating ones on 201 too; every other
        // status fails with the status and the body in the message, whose
        // place markers are never filled in.
        const QByteArray markers = R"({"detail":"%1 %2 %3 %L1 %99"})";
        for (const char *name :
            {"registerUser", "adminReauth", "createCompound", "updateCompound", "deleteCompound",
                "saveCompoundDetails", "updateUser", "resetUserPassword", "setUserRole"}) {
            const QString op = QString::fromLatin1(name);
            const bool creates
                = op == QLatin1String("registerUser") || op == QLatin1String("createCompound");
            QTest::addRow("%s 200", name) << op << 200 << markers << QString();
            QTest::addRow("%s 201", name)
                << op << 201 << markers << (creates ? QString() : failure(name, 201, markers));
            QTest::addRow("%s 204", name) << op << 204 << QByteArray() << failure(name, 204, {});
            QTest::addRow("%s 409", name) << op << 409 << markers << failure(name, 409, markers);
        }
        // The body's first 200 bytes, a character cut there read as U+FFFD.
        const QString cut(QChar::ReplacementCharacter);
        const QList<std::tuple<const char *, QByteArray, QString>> bodies {
            {"300 bytes", repeated('x', 300), QString(200, QLatin1Char('x'))},
            {"exactly 200 bytes", repeated('y', 200), QString(200, QLatin1Char('y'))},
            {"two-byte letter cut", repeated('a', 199) + "\xc3\xa9zz",
                QString(199, QLatin1Char('a')) + cut},
            {"three-byte sign cut", repeated('b', 199) + "\xe2\x82\xac",
                QString(199, QLatin1Char('b')) + cut},
            {"four-byte sign cut", repeated('d', 199) + "\xf0\x9f\xa7\xaa",
                QString(199, QLatin1Char('d')) + cut},
            {"letter ending at byte 200", repeated('c', 198) + "\xc3\xa9zz",
                QString(198, QLatin1Char('c')) + QStringLiteral("é")},
        };
        for (const auto &[name, body, prefix] : bodies) {
            QTest::addRow("body of %s", name)
                << QStringLiteral("deleteCompound") << 500 << body
                << QStringLiteral("Sikertelen törlés. HTTP=500\n") + prefix;
        }

        const auto add = [](const char *name, const char *operation, int status,
                             const QByteArray &body, const QString &message) {
            QTest::newRow(name) << QString::fromLatin1(operation) << status << body << message;
        };
        // Lists: a body that is not a JSON array fails before the status is looked at.
        const char *list = "fetchCompounds";
        const char *search = "searchCompounds";
        const char *users = "fetchUsers";
        const QString badSearch = ApiCall::failureLabel(QString::fromLatin1(search));
        const QByteArray object = R"({"detail":"%1 nincs"})";
        add("list 200 array", list, 200, "[]", {});
        add("list 500 array", list, 500, "[]", QStringLiteral("Vegyületek lekérése sikertelen."));
        add("list 404 object", list, 404, object, failure(list, 404, object));
        add("list 200 empty body", list, 200, {}, failure(list, 200, {}));
        add("search 200 array", search, 200, "[]", {});
        add("search 201 array", search, 201, "[{}]",
            QStringLiteral("Keresés sikertelen. HTTP=201"));
        add("search 200 not JSON", search, 200, "<html>", badSearch);
        add("users 200 array", users, 200, "[]", {});
        add("users 500 array", users, 500, "[]",
            QStringLiteral("Felhasználók lekérése sikertelen."));
        add("users 403 object", users, 403, object, failure(users, 403, object));

        // Details: the status is looked at first, the body only on 200.
        const char *details = "fetchCompoundDetails";
        const QString badDetails = QStringLiteral("Hibás válasz (details nem JSON objektum).");
        add("details 200 object", details, 200, object, {});
        add("details 404 object", details, 404, object, failure(details, 404, object));
        add("details 201 object", details, 201, object, failure(details, 201, object));
        add("details 200 array", details, 200, "[{}]", badDetails);
        add("details 200 empty", details, 200, {}, badDetails);
    }

    void statusAndBody()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);

        server.answerAllWith(ScriptedResponse::text(status, body));
        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, operation);
        call.start(QStringLiteral("regi"));
        QTRY_COMPARE(call.emissions(), 1);
        QCOMPARE(call.ok.size(), message.isEmpty() ? 1 : 0);
        QCOMPARE(call.errorMessage(), message);
        if (operation == QLatin1String("updateUser")
            || operation == QLatin1String("resetUserPassword"))
            QCOMPARE(call.signalledUsername(), QStringLiteral("regi"));
    }

    void noAnswer_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("refused"); // otherwise the server drops the connection

        for (const QString &operation : ApiCall::operations()) {
            QTest::addRow("%s refused", qPrintable(operation)) << operation << true;
            QTest::addRow("%s dropped", qPrintable(operation)) << operation << false;
        }
    }

    void noAnswer()
    {
        QFETCH(QString, operation);
        QFETCH(bool, refused);

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
        QString message = ApiCall::failureLabel(operation);
        if (operation == QLatin1String("login"))
            message += QStringLiteral(" HTTP=0\nSzerver: ") + origin
                + QStringLiteral("\nElső 200 byte:\n");
        else if (operation != QLatin1String("searchCompounds"))
            message += QStringLiteral(" HTTP=0\n");

        ApiClient api;
        api.setBaseUrl(origin);
        ApiCall call(&api, operation);
        call.start(QStringLiteral("anna"));
        QTRY_COMPARE(call.emissions(), 1);
        QCOMPARE(call.errorMessage(), message);
        if (call.error.constFirst().size() == 2)
            QCOMPARE(call.signalledUsername(), QStringLiteral("anna"));
    }

    void successfulRepliesAreDecoded()
    {
        server.setHandler([](const RecordedRequest &request) {
            if (request.path().endsWith("/details"))
                return ScriptedResponse::json(
                    200, R"({"kod":"H2O","density":1.2,"cas":"7732-18-5"})");
            if (request.path().endsWith("/users"))
                return ScriptedResponse::json(200, R"([7, "x",
                    {"felhasznalonev":"anna","vezeteknev":"Kiss","keresztnev":"Anna","szerepkor":"admin","email":null},
                    {"felhasznalonev":"anna","szerepkor":"főnök"}])");
            return ScriptedResponse::json(200, R"([
                {"kod":"B","details_hit":true,"base_hit":false}, "skip", {"kod":"A"},
                {"kod":"B","details_hit":"true","base_hit":0}])");
        });
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy listed(&api, &ApiClient::compoundsOk);
        QSignalSpy found(&api, &ApiClient::compoundsSearchOk);
        QSignalSpy details(&api, &ApiClient::compoundDetailsOk);
        QSignalSpy users(&api, &ApiClient::usersOk);
        api.fetchCompounds();
        api.searchCompounds(QStringLiteral("B"));
        api.fetchCompoundDetails(QStringLiteral("H2O"));
        api.fetchUsers();
        QTRY_COMPARE(listed.size() + found.size() + details.size() + users.size(), 4);

        // Server order kept; the search flags are read only from a search.
        QCOMPARE(summary(listed.constFirst().constFirst()),
            (QStringList {QStringLiteral("B-B"), QStringLiteral("A-B"), QStringLiteral("B-B")}));
        QCOMPARE(summary(found.constFirst().constFirst()),
            (QStringList {QStringLiteral("BD-"), QStringLiteral("A-B"), QStringLiteral("B-B")}));
        const auto d = details.constFirst().constFirst().value<CompoundDetails>();
        QCOMPARE((QStringList {d.kod, d.cas, d.density}),
            (QStringList {QStringLiteral("H2O"), QStringLiteral("7732-18-5"), QString()}));
        const auto rows = users.constFirst().constFirst().value<QList<UserRow>>();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).keresztnev, QStringLiteral("Anna"));
        QCOMPARE(rows.at(1).szerepkor, QStringLiteral("főnök"));
    }

    void loginReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("ok"); // token|role|first name

        const auto add = [](const char *name, int status, const QByteArray &body,
                             const QString &message, const char *ok = "") {
            QTest::newRow(name) << status << body << message << QString::fromUtf8(ok);
        };
        const QString noToken = QStringLiteral("A szerver nem adott tokent.");
        const QString refused = QStringLiteral("Sikertelen bejelentkezés.");
        const auto notJson = [this](int status, const QByteArray &body) {
            return QStringLiteral(
                "Hibás válasz (nem JSON). HTTP=%1\nSzerver: %2\nElső 200 byte:\n%3")
                .arg(QString::number(status), server.origin(), QString::fromUtf8(body.left(200)));
        };

        add("token, role, name", 200,
            R"({"access_token":"t0k","szerepkor":"admin","keresztnev":"Anna"})", {},
            "t0k|admin|Anna");
        add("role and name of wrong type", 200,
            R"({"access_token":"t","szerepkor":5,"keresztnev":null})", {}, "t||");
        add("role passed as received", 200, R"({"access_token":" t ","szerepkor":"Admin "})", {},
            " t |Admin |");
        add("empty token", 200, R"({"access_token":""})", noToken);
        add("missing token", 200, R"({"detail":"ok"})", noToken);
        // The token goes into a header line; a line break in it would end that line.
        add("token with a line break", 200, R"({"access_token":"abc\r\nX-Injected: 1"})", noToken);
        add("201 with token and detail", 201, R"({"access_token":"t","detail":"Létrehozva"})",
            QStringLiteral("Létrehozva"));
        add("201 with token only", 201, R"({"access_token":"t"})", refused);
        add("401 detail word for word", 401, R"({"detail":"  Hibás %1 jelszó.\n"})",
            QStringLiteral("  Hibás %1 jelszó.\n"));
        add("401 empty detail", 401, R"({"detail":""})", refused);
        add("401 no detail", 401, "{}", refused);
        add("403 detail object", 403, R"({"detail":{"a":1}})", refused);
        add("200 array", 200, "[]", notJson(200, "[]"));
        add("200 empty body", 200, {}, notJson(200, {}));
        add("401 HTML", 401, "<b>%2</b>", notJson(401, "<b>%2</b>"));
        const QByteArray page = "<html>" + repeated('p', 994);
        add("502 page of 1000 bytes", 502, page, notJson(502, page));
    }

    void loginReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, message);
        QFETCH(QString, ok);

        server.answerAllWith(ScriptedResponse::json(status, body));
        ApiClient api;
        api.setBaseUrl(server.origin());
        ApiCall call(&api, QStringLiteral("login"));
        call.start();
        QTRY_COMPARE(call.emissions(), 1);
        QCOMPARE(call.errorMessage(), message);
        if (!ok.isEmpty()) {
            QStringList args;
            for (const QVariant &arg : call.ok.constFirst())
                args << arg.toString();
            QCOMPARE(args.join(QLatin1Char('|')), ok);
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

private:
    LoopbackServer server;
};

QTEST_MAIN(TestApiClientReplies)
#include "tst_apiclient_replies.moc"
