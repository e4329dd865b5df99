#include "api/apiclient.h"
#include "api/transfertimeout.h"
#include "tests/loopbackserver.h"
#include "update/updatechecker.h"

#include <QJsonDocument>
#include <QMetaMethod>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <deque>
#include <iterator>

namespace {

const Compound H2O {"H2O", "1", "2", "3", "4", "5", true, false};
const char H2OJson[]
    = R"({"kod":"H2O","nev":"1","keplet":"2","molaris_tomeg":"3","szin":"4","halmazallapot":"5"})";
const CompoundDetails SomeDetails {
    "K", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", {{"u", "c", 1}}};
const char DetailsJson[] = R"({"description":"1","cas":"2","msds_url":"3","ghs":"4","storage":"5",
    "density":"6","melting_point":"7","boiling_point":"8","solubility":"9","notes":"10"})";

// One client operation: its failure text (%1 the status, %2 the body prefix,
// %3 the base URL) and the request it sends for the identifier "H2O".
struct Op {
    const char *failure, *request, *body;
    void (*start)(ApiClient &a, const QString &id);
};

Op make(const char *failure, const char *request, const char *body, decltype(Op::start) start)
{
    return {failure, request, body, start};
}

const Op Ops[] = {
    make("Hibás válasz (nem JSON). HTTP=%1\nSzerver: %3\nElső 200 byte:\n%2",
        "POST /api/v1/auth/login", R"({"felhasznalonev":" u ","jelszo":" p "})",
        [](auto &a, auto &) { a.login(" u ", " p "); }),
    make("Regisztráció sikertelen. HTTP=%1\n%2", "POST /api/v1/auth/register",
        R"({"felhasznalonev":"u","vezeteknev":"v","keresztnev":"k","jelszo":" p ","email":"e"})",
        [](auto &a, auto &) { a.registerUser(" u ", "\tv", "k ", " p ", " e"); }),
    make("Hibás válasz a szervertől (JSON tömb). HTTP=%1\n%2", "GET /api/v1/compounds", "",
        [](auto &a, auto &) { a.fetchCompounds(); }),
    make("Hibás válasz a szervertől (search nem JSON tömb).",
        "GET /api/v1/compounds/search?q=H2O&limit=200", "",
        [](auto &a, auto &id) { a.searchCompounds(id); }),
    make("Sikertelen létrehozás. HTTP=%1\n%2", "POST /api/v1/compounds", H2OJson,
        [](auto &a, auto &) { a.createCompound(H2O); }),
    make("Sikertelen frissítés. HTTP=%1\n%2", "PUT /api/v1/compounds/H2O", H2OJson,
        [](auto &a, auto &id) { a.updateCompound(id, H2O); }),
    make("Sikertelen törlés. HTTP=%1\n%2", "DELETE /api/v1/compounds/H2O", "",
        [](auto &a, auto &id) { a.deleteCompound(id); }),
    make("Részletek lekérése sikertelen. HTTP=%1\n%2", "GET /api/v1/compounds/H2O/details", "",
        [](auto &a, auto &id) { a.fetchCompoundDetails(id); }),
    make("Hibás válasz a szervertől (users nem JSON tömb). HTTP=%1\n%2", "GET /api/v1/users", "",
        [](auto &a, auto &) { a.fetchUsers(); }),
    make("Mentés sikertelen. HTTP=%1\n%2", "PUT /api/v1/users/H2O",
        R"({"new_username":"uj","vezeteknev":"v","keresztnev":"k","email":"e","szerepkor":"s"})",
        [](auto &a, auto &id) { a.updateUser(id, "uj", "v", "k", "e", "s"); }),
    make("Reauth sikertelen. HTTP=%1\n%2", "POST /api/v1/admin/reauth", R"({"password":" p "})",
        [](auto &a, auto &) { a.adminReauth(" p "); }),
    make("Részletek mentése sikertelen. HTTP=%1\n%2", "PUT /api/v1/compounds/H2O/details",
        DetailsJson, [](auto &a, auto &id) { a.saveCompoundDetails(id, SomeDetails); }),
    make("Jelszó mentés sikertelen. HTTP=%1\n%2", "PUT /api/v1/users/H2O/password",
        R"({"new_password":" p "})", [](auto &a, auto &id) { a.resetUserPassword(id, " p "); }),
    make("Szerepkör frissítés sikertelen. HTTP=%1\n%2", "PUT /api/v1/users/H2O/role",
        R"({"szerepkor":"admin"})", [](auto &a, auto &id) { a.setUserRole(id, "admin"); }),
};
// The operations the tables name, in the order of Ops.
enum { Login, Register, List, Search, Create, Update, Delete, Details, Users, UpdateUser };

QString failure(int op, int status, const QByteArray &prefix, const QString &base = {})
{
    const QString text = QString(Ops[op].failure).replace("%1", QString::number(status));
    return QString(text).replace("%3", base).replace("%2", QString::fromUtf8(prefix));
}

// A decoded result as text: fields joined by "|", records and images by ";".
QString joined(const QVariant &value)
{
    QStringList f; // every record's last field ends in ";"
    for (const Compound &c : value.value<QList<Compound>>())
        f += {c.kod, c.nev, c.keplet, c.molaris_tomeg, c.szin, c.halmazallapot,
            c.details_hit ? "D" : "-", c.base_hit ? "B;" : "-;"};
    for (const UserRow &u : value.value<QList<UserRow>>())
        f += {u.felhasznalonev, u.vezeteknev, u.keresztnev, u.szerepkor, u.email + ';'};
    if (value.metaType() == QMetaType::fromType<CompoundDetails>()) {
        const auto d = value.value<CompoundDetails>();
        f += {d.kod, d.description, d.cas, d.msds_url, d.ghs, d.storage, d.density, d.melting_point,
            d.boiling_point, d.solubility, d.notes + ';'};
        for (const CompoundImage &i : d.images)
            f += {i.url, i.caption, QString::number(i.order) + ';'};
    }
    return f.isEmpty() ? value.toString() : f.join('|').replace(";|", ";").chopped(1);
}

// Records every signal of the client (it declares no other methods); `any`
// records each of them as well.
class Signals : public QObject {
    Q_OBJECT

public:
    explicit Signals(ApiClient *api)
    {
        const QMetaObject &meta = ApiClient::staticMetaObject;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            spies.emplace_back(api, meta.method(i));
            connect(api, meta.method(i), this, QMetaMethod::fromSignal(&Signals::either));
        }
    }
    // Per signal received, its error message or "OK" and its decoded arguments.
    QStringList seen() const
    {
        QStringList all;
        for (const QSignalSpy &spy : spies)
            for (const QList<QVariant> &arguments : spy) {
                QStringList texts {"OK"};
                for (const QVariant &argument : arguments)
                    texts << joined(argument);
                all << (spy.signal().contains("Error(") ? texts.constLast() : texts.join(' '));
            }
        return all;
    }

    std::deque<QSignalSpy> spies;
    QSignalSpy any {this, &Signals::either};

signals:
    void either();
};

const QByteArrayList FuzzKeys
    = QByteArray("access_token detail kod nev details_hit base_hit cas images order").split(' ');
// JSON of every type under keys the client reads, nested a few levels.
QByteArray fuzzJson(QRandomGenerator &r, int depth = 0)
{
    static const QByteArray atoms[] = {"null", "true", "-0", "2.5", "2147483648", "1e308",
        R"("\u0000\ud800\r\n")", "\"<b>é</b>\"", "\"\xff\xc3\"", '"' + QByteArray(250, 'x') + '"'};
    const int kind = r.bounded(depth > 3 ? 2 : 4);
    if (kind < 2)
        return atoms[r.bounded(int(std::size(atoms)))];
    QByteArray text;
    for (int n = r.bounded(10); n > 0; --n)
        text += (kind == 2 ? QByteArray() : '"' + FuzzKeys.at(r.bounded(FuzzKeys.size())) + "\":")
            + fuzzJson(r, depth + 1) + (n > 1 ? "," : "");
    return kind == 2 ? '[' + text + ']' : '{' + text + '}';
}

// One exchange with the server. Status -2 stands for a server that never
// answers; "@" in the outcome for the server's origin. The request line has
// the identifier as `wire`; with a null `wire` nothing is sent. Only the token
// "t" goes into a header.
struct Row {
    int op, status;
    QByteArray body, id, line, token;
    QString outcome;
};

void reply(int op, int status, const QByteArray &body, const QString &outcome,
    const QByteArray &id = "H2O", const QByteArray &wire = "H2O", const QByteArray &token = "t")
{
    const QByteArray line = wire.isNull() ? wire : QByteArray(Ops[op].request).replace("H2O", wire);
    QTest::addRow("%s %d %s %s", Ops[op].request, status, id.constData(), body.left(24).data())
        << Row {op, status, body, id, line, token, outcome};
}

} // namespace

Q_DECLARE_METATYPE(Row)

class TestApi : public QObject {
    Q_OBJECT

private slots:
    void exchange_data()
    {
        QTest::addColumn<Row>("row");
        // A token with a line break goes into no header.
        reply(Users, 404, {}, failure(Users, 404, {}), "", "", "t\r\nX: 1");
        // Encoded by hand: "+" must not read as a space, nor "%41" as "A".
        reply(
            Search, 404, {}, failure(Search, 404, {}), "C+%41&b=c d", "C%2B%2541%26b%3Dc%20d", {});
        // An identifier is one path segment; one that no path carries is not sent.
        reply(
            Details, 404, {}, failure(Details, 404, {}), "AZaz09-._~/ é", "AZaz09-._~%2F%20%C3%A9");
        // Qt 6.4 would empty a two-character dot segment that another one follows.
        for (const char *id : {"", ".", "..", ".a"})
            reply(Details, 0, {}, failure(Details, 0, {}), id, {});
        const QByteArray detail = R"({"detail":"%1 nem"})";
        // Write result: the body is not parsed; 201 counts only for creating.
        reply(Update, 200, detail, "OK");
        reply(Create, 201, detail, "OK");
        reply(Register, 201, detail, "OK");
        reply(Update, 201, detail, failure(Update, 201, detail));
        // The prefix is 200 bytes, here ending inside a character.
        reply(Delete, 500, QByteArray(199, 'a') + "é" + QByteArray(99, 'x'),
            failure(Delete, 500, QByteArray(199, 'a')) + QChar(0xFFFD));
        // JSON array: the shape decides before the status.
        reply(List, 500, "[]", "Vegyületek lekérése sikertelen.");
        reply(List, 404, detail, failure(List, 404, detail));
        reply(Search, 403, "[]", "Keresés sikertelen. HTTP=403");
        reply(Search, 200, "{}", failure(Search, 200, {}));
        reply(Users, 500, "[]", "Felhasználók lekérése sikertelen.");
        reply(Users, 403, "<p>%2</p>", failure(Users, 403, "<p>%2</p>"));
        // JSON object: the login parses first, the details look at the status first.
        reply(Login, 200, R"({"access_token":""})", "A szerver nem adott tokent.");
        reply(Login, 200, R"({"access_token":"t\r\nX: 1"})", "A szerver nem adott tokent.");
        reply(Login, 401, R"({"detail":"Rossz jelszó."})", "Rossz jelszó.");
        reply(Login, 201, R"({"access_token":"t","detail":""})", "Sikertelen bejelentkezés.");
        reply(Login, 200, "[]", failure(Login, 200, "[]", "@"));
        reply(Details, 200, "[]", "Hibás válasz (details nem JSON objektum).");
        // No answer within the transfer timeout: status 0 and an empty body prefix.
        for (int op = 0; op < int(std::size(Ops)); ++op)
            reply(op, -2, {}, failure(op, 0, {}, "@"));
        // Records: a field takes a value only of its JSON type; lists skip non-objects.
        reply(List, 200,
            "[1,\"x\"," + QByteArray(H2OJson).chopped(1)
                + R"(,"details_hit":true,"base_hit":false},{"kod":2,"nev":null}])",
            "OK H2O|1|2|3|4|5|-|B;||||||-|B");
        reply(Search, 200,
            R"([{"kod":"A","details_hit":true,"base_hit":false},{"details_hit":"1","base_hit":0}])",
            "OK A||||||D|-;||||||-|B");
        reply(Details, 200,
            QByteArray(DetailsJson).chopped(1)
                + R"(,"kod":"K","images":[1,{"url":"u","caption":"c","order":2},
                {"caption":5,"order":2.5},{"order":"2"},{"order":2147483647},
                {"order":-2147483648},{"order":2147483648}]})",
            "OK K|1|2|3|4|5|6|7|8|9|10;u|c|2;||0;||0;||2147483647;||-2147483648;||0");
        reply(Details, 200, R"({"kod":1,"cas":null,"images":{}})", "OK ||||||||||");
        reply(Users, 200,
            R"([1,{"felhasznalonev":"f","vezeteknev":"v","keresztnev":"k","szerepkor":"s",
                "email":"e"},{"email":null,"szerepkor":5}])",
            "OK f|v|k|s|e;||||");
        reply(Login, 200, R"({"access_token":"t","szerepkor":"a","keresztnev":5})", "OK t a ");
    }

    void exchange()
    {
        QFETCH(Row, row);

        LoopbackServer server;
        server.answerAllWith(ScriptedResponse::json(row.status, row.body));
        server.setHolding(row.status == -2);
        ApiClient api(server.origin());
        api.setTransferTimeout(row.status == -2 ? 300 : TransferTimeoutMs);
        api.setBaseUrl(' ' + server.origin() + "/\n"); // the login's failure names it trimmed
        api.setToken(row.token);
        Signals emitted(&api);
        Ops[row.op].start(api, row.id);
        QCOMPARE(emitted.seen(), QStringList()); // even a refusal comes from the event loop
        QTRY_COMPARE(emitted.seen(), QStringList {row.outcome.replace("@", server.origin())});
        const QList<RecordedRequest> &sent = server.requests();
        QCOMPARE(sent.isEmpty() ? QByteArray() : sent[0].method + ' ' + sent[0].target, row.line);
        if (sent.isEmpty())
            return;
        QCOMPARE(sent[0].header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(sent[0].header("Authorization"), row.token == "t" ? "Bearer t" : QByteArray());
        QCOMPARE(sent[0].body, QJsonDocument::fromJson(Ops[row.op].body).toJson());
    }

    // A 401 ends the session only when it answers the token still in use,
    // and never when it answers a password (admin re-authentication).
    void refusalEndsOnlyTheSessionInUse()
    {
        LoopbackServer server;
        server.setHolding(true);
        ApiClient api(server.origin());
        QSignalSpy ended(api.sessionNotifier(), &SessionNotifier::sessionExpired);
        QSignalSpy lists(&api, &ApiClient::compoundsError);
        QSignalSpy reauth(&api, &ApiClient::adminReauthError);
        api.setToken("old");
        api.fetchCompounds();
        api.setToken("new");
        api.adminReauth("pw");
        api.fetchCompounds();
        QTRY_COMPARE(server.heldCount(), 3);
        while (server.heldCount() > 0)
            server.respondToHeld(0, ScriptedResponse::json(401, "{}"));
        QTRY_VERIFY(lists.size() == 2 && reauth.size() == 1);
        QCOMPARE(ended.size(), 1);
    }

    // A server that never answers: both clients give up at their default
    // inactivity limit, not later and not never.
    void defaultTransferTimeout()
    {
        LoopbackServer server;
        server.setHolding(true);
        ApiClient api(server.origin());
        UpdateChecker checker(server.origin());
        QSignalSpy listFailed(&api, &ApiClient::compoundsError);
        QSignalSpy checkFailed(&checker, &UpdateChecker::error);
        api.fetchCompounds();
        checker.checkForUpdates();
        QTRY_VERIFY_WITH_TIMEOUT(
            !listFailed.isEmpty() && !checkFailed.isEmpty(), TransferTimeoutMs + 5000);
    }

    // Per reply shape 200 generated replies, one a 10 MB array, one nested too
    // deep, some cut short or not answered at all: each ends in one signal.
    void fuzz()
    {
        const QByteArray env = qgetenv("ORVANTIS_FUZZ_SEED");
        const quint32 seed = env.isEmpty() ? QRandomGenerator::global()->generate() : env.toUInt();
        qInfo("fuzz seed %u (replay with ORVANTIS_FUZZ_SEED=%u)", seed, seed);
        LoopbackServer server;
        ApiClient api(server.origin());
        Signals emitted(&api);
        QRandomGenerator random(seed);
        for (int i = 0; i < 800; ++i) {
            const int op = QList {List, Details, Update, Login}[i % 4];
            QByteArray body = fuzzJson(random);
            if (i < 8) // about 10 MB, or nested too deep
                body = i < 4 ? '[' + (body + ',').repeated((10 << 20) / (body.size() + 1)) + "0]"
                             : QByteArray(20000, '[');
            else if (random.bounded(4) == 0)
                body.truncate(random.bounded(body.size() + 1));
            // Framing 3 drops the connection unanswered.
            server.answerAllWith({i < 8 ? 200 : QList {200, 201, 404, 500}[random.bounded(4)], {},
                body, ScriptedResponse::Framing(i < 8 ? 0 : random.bounded(4))});
            Ops[op].start(api, "H2O");
            QVERIFY2(emitted.any.wait() && emitted.any.size() == i + 1,
                qPrintable(QString("%1 reply %2").arg(Ops[op].request).arg(i)));
        }
    }
};

QTEST_GUILESS_MAIN(TestApi)
#include "tst_api.moc"
