#include "api/apiclient.h"
#include "api/transfertimeout.h"
#include "tests/loopbackserver.h"

#include <QJsonDocument>
#include <QMetaMethod>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <deque>
#include <iterator>

namespace {

// One client operation: its failure text (%1 the status, %2 the body prefix,
// %3 the base URL) and the request it sends for the identifier "H2O".
struct Op {
    const char *name, *failure, *request, *body;
    void (*start)(ApiClient &a, const QString &id);
};

Op make(const char *name, const char *failure, const char *request, const char *body,
    decltype(Op::start) start)
{
    return {name, failure, request, body, start};
}

const Compound H2O {"H2O", "1", "2", "3", "4", "5", true, false};
const char H2OJson[]
    = R"({"kod":"H2O","nev":"1","keplet":"2","molaris_tomeg":"3","szin":"4","halmazallapot":"5"})";
const CompoundDetails SomeDetails {
    "K", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", {{"u", "c", 1}}};
using A = ApiClient &;
using Id = const QString &;

// The operations the tables name, in the order of Ops.
enum { Login, Register, List, Search, Create, Update, Delete, Details, Users, UpdateUser };

const Op Ops[] = {
    make("login", "Hibás válasz (nem JSON). HTTP=%1\nSzerver: %3\nElső 200 byte:\n%2",
        "POST /api/v1/auth/login", R"({"felhasznalonev":" u ","jelszo":" p "})",
        [](A a, Id) { a.login(" u ", " p "); }),
    make("registerUser", "Regisztráció sikertelen. HTTP=%1\n%2", "POST /api/v1/auth/register",
        R"({"felhasznalonev":"u","vezeteknev":"v","keresztnev":"k","jelszo":" p ","email":"e"})",
        [](A a, Id) { a.registerUser(" u ", "\tv", "k ", " p ", " e"); }),
    make("fetchCompounds", "Hibás válasz a szervertől (JSON tömb). HTTP=%1\n%2",
        "GET /api/v1/compounds", "", [](A a, Id) { a.fetchCompounds(); }),
    make("searchCompounds", "Hibás válasz a szervertől (search nem JSON tömb).",
        "GET /api/v1/compounds/search?q=H2O&limit=200", "",
        [](A a, Id id) { a.searchCompounds(id); }),
    make("createCompound", "Sikertelen létrehozás. HTTP=%1\n%2", "POST /api/v1/compounds", H2OJson,
        [](A a, Id) { a.createCompound(H2O); }),
    make("updateCompound", "Sikertelen frissítés. HTTP=%1\n%2", "PUT /api/v1/compounds/H2O",
        H2OJson, [](A a, Id id) { a.updateCompound(id, H2O); }),
    make("deleteCompound", "Sikertelen törlés. HTTP=%1\n%2", "DELETE /api/v1/compounds/H2O", "",
        [](A a, Id id) { a.deleteCompound(id); }),
    make("fetchCompoundDetails", "Részletek lekérése sikertelen. HTTP=%1\n%2",
        "GET /api/v1/compounds/H2O/details", "", [](A a, Id id) { a.fetchCompoundDetails(id); }),
    make("fetchUsers", "Hibás válasz a szervertől (users nem JSON tömb). HTTP=%1\n%2",
        "GET /api/v1/users", "", [](A a, Id) { a.fetchUsers(); }),
    make("updateUser", "Mentés sikertelen. HTTP=%1\n%2", "PUT /api/v1/users/H2O",
        R"({"new_username":"uj","vezeteknev":"v","keresztnev":"k","email":"e","szerepkor":"s"})",
        [](A a, Id id) { a.updateUser(id, "uj", "v", "k", "e", "s"); }),
    make("adminReauth", "Reauth sikertelen. HTTP=%1\n%2", "POST /api/v1/admin/reauth",
        R"({"password":" p "})", [](A a, Id) { a.adminReauth(" p "); }),
    make("saveCompoundDetails", "Részletek mentése sikertelen. HTTP=%1\n%2",
        "PUT /api/v1/compounds/H2O/details",
        R"({"description":"1","cas":"2","msds_url":"3","ghs":"4","storage":"5","density":"6",
            "melting_point":"7","boiling_point":"8","solubility":"9","notes":"10"})",
        [](A a, Id id) { a.saveCompoundDetails(id, SomeDetails); }),
    make("resetUserPassword", "Jelszó mentés sikertelen. HTTP=%1\n%2",
        "PUT /api/v1/users/H2O/password", R"({"new_password":" p "})",
        [](A a, Id id) { a.resetUserPassword(id, " p "); }),
    make("setUserRole", "Szerepkör frissítés sikertelen. HTTP=%1\n%2", "PUT /api/v1/users/H2O/role",
        R"({"szerepkor":"admin"})", [](A a, Id id) { a.setUserRole(id, "admin"); }),
};

QString failure(int op, int status, const QByteArray &prefix, const QString &base = {})
{
    const QString text = QString(Ops[op].failure).replace("%1", QString::number(status));
    return QString(text).replace("%3", base).replace("%2", QString::fromUtf8(prefix));
}

// A decoded result as text: fields joined by "|", records and images by ";".
QString joined(const QVariant &value)
{
    QStringList items;
    const auto add = [&items](const QStringList &fields) {
        items << fields.join('|');
    };
    for (const Compound &c : value.value<QList<Compound>>())
        add({c.kod, c.nev, c.keplet, c.molaris_tomeg, c.szin, c.halmazallapot,
            c.details_hit ? "D" : "-", c.base_hit ? "B" : "-"});
    for (const UserRow &u : value.value<QList<UserRow>>())
        add({u.felhasznalonev, u.vezeteknev, u.keresztnev, u.szerepkor, u.email});
    if (value.metaType() == QMetaType::fromType<CompoundDetails>()) {
        const auto d = value.value<CompoundDetails>();
        add({d.kod, d.description, d.cas, d.msds_url, d.ghs, d.storage, d.density, d.melting_point,
            d.boiling_point, d.solubility, d.notes});
        for (const CompoundImage &i : d.images)
            items << i.url + ',' + i.caption + ',' + QString::number(i.order);
    }
    return items.isEmpty() ? value.toString() : items.join(';');
}

// Records every signal of the client; `either` fires with each of them.
class Signals : public QObject {
    Q_OBJECT

public:
    explicit Signals(ApiClient *api)
    {
        const QMetaObject &meta = ApiClient::staticMetaObject;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() != QMetaMethod::Signal)
                continue;
            spies.emplace_back(api, meta.method(i));
            connect(api, meta.method(i), this, QMetaMethod::fromSignal(&Signals::either));
        }
    }
    // The first error message, or "OK" and the decoded arguments of a success.
    QString outcome() const
    {
        for (const QSignalSpy &spy : spies) {
            QStringList texts {"OK"};
            for (const QVariant &argument : spy.value(0))
                texts << joined(argument);
            if (!spy.isEmpty())
                return spy.signal().contains("Error(") ? texts.constLast() : texts.join(' ');
        }
        return {};
    }

    std::deque<QSignalSpy> spies;
    QSignalSpy any {this, &Signals::either};

signals:
    void either();
};

// JSON of every type under keys the client reads, nested a few levels.
const QByteArrayList FuzzKeys
    = QByteArray("access_token detail kod nev details_hit base_hit cas images order").split(' ');
QByteArray fuzzJson(QRandomGenerator &r, int depth)
{
    static const char *const atoms[] = {"null", "true", "-0", "2.5", "2147483648", "1e308",
        R"("\u0000\ud800\r\n")", "\"<b>é</b>\"", "\"\xff\xc3\""};
    const int kind = r.bounded(depth > 3 ? 2 : 4);
    if (kind < 2)
        return kind ? '"' + QByteArray(r.bounded(300), 'x') + '"'
                    : QByteArray(atoms[r.bounded(int(std::size(atoms)))]);
    QByteArray text;
    for (int n = r.bounded(10); n > 0; --n)
        text += (kind == 2 ? QByteArray() : '"' + FuzzKeys.at(r.bounded(FuzzKeys.size())) + "\":")
            + fuzzJson(r, depth + 1) + (n > 1 ? "," : "");
    return kind == 2 ? '[' + text + ']' : '{' + text + '}';
}

// Status -1 stands for a closed port, -2 for a server that never answers; "@"
// in the outcome for the server's origin.
struct Reply {
    int op, status;
    QByteArray body;
    QString outcome;
};

void reply(int op, int status, const QByteArray &body, const QString &outcome)
{
    QTest::addRow("%s %d %s", Ops[op].name, status, body.left(24).constData())
        << Reply {op, status, body, outcome};
}

// An empty authorization means no header at all, an empty line nothing sent.
struct Request {
    int op;
    QByteArray id, token, authorization, line;
    QStringList base; // given and stored; "@" stands for the server's origin
};

} // namespace

Q_DECLARE_METATYPE(Reply)
Q_DECLARE_METATYPE(Request)

class TestApi : public QObject {
    Q_OBJECT

private slots:
    void requests_data()
    {
        QTest::addColumn<Request>("row");
        const auto add = [](const char *tag, int op, const QByteArray &id, const QByteArray &token,
                             const QByteArray &auth, const QByteArray &line,
                             const QStringList &base = {" @/\n", "@"}) {
            QTest::newRow(tag) << Request {op, id, token, auth, line, base};
        };
        for (int op = 0; op < int(std::size(Ops)); ++op)
            add(Ops[op].name, op, "H2O", "t", "Bearer t", Ops[op].request);
        add("no token", Users, {}, {}, {}, "GET /api/v1/users");
        add("token with CR LF", Users, {}, "t\r\nX: 1", {}, "GET /api/v1/users");
        add("base kept", Users, {}, {}, {}, "GET /api/v1/users", {"@", "@"});
        add("base, two slashes", Users, {}, {}, {}, "GET /api/v1/users", {"@//", "@/"});
        // Encoded by hand: "+" must not read as a space, nor "%41" as "A".
        const QByteArray search = "GET /api/v1/compounds/search?q=";
        add("C+", Search, "C+", {}, {}, search + "C%2B&limit=200");
        add("%41", Search, "%41", {}, {}, search + "%2541&limit=200");
        add("a&b=c d", Search, "a&b=c d", {}, {}, search + "a%26b%3Dc%20d&limit=200");
        // An identifier is one path segment; one that no path carries is not sent.
        add("slash, space", Update, "a/b c", {}, {}, "PUT /api/v1/compounds/a%2Fb%20c");
        add("az09", Update, "AZaz09-._~", {}, {}, "PUT /api/v1/compounds/AZaz09-._~");
        add("é", Details, "é", {}, {}, "GET /api/v1/compounds/%C3%A9/details");
        add("empty", Update, "", {}, {}, {});
        add(".", Update, ".", {}, {}, {});
        add("..", Details, "..", {}, {}, {});
        // Qt 6.4 would empty a two-character dot segment that another one follows.
        add(".a", Details, ".a", {}, {}, {});
    }

    void requests()
    {
        QFETCH(Request, row);

        LoopbackServer server;
        ApiClient api(server.origin());
        api.setBaseUrl(row.base[0].replace("@", server.origin()));
        QCOMPARE(api.baseUrl(), row.base[1].replace("@", server.origin()));
        api.setToken(row.token);
        Signals emitted(&api);
        Ops[row.op].start(api, row.id);
        QCOMPARE(emitted.any.size(), 0); // even a refusal comes from the event loop
        QTRY_COMPARE(emitted.any.size(), 1);
        const QList<RecordedRequest> &sent = server.requests();
        QCOMPARE(sent.isEmpty() ? QByteArray() : sent[0].method + ' ' + sent[0].target, row.line);
        QCOMPARE(emitted.outcome(), failure(row.op, sent.isEmpty() ? 0 : 404, {}, api.baseUrl()));
        if (sent.isEmpty())
            return;
        QCOMPARE(sent[0].header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(sent[0].header("Authorization"), row.authorization);
        QCOMPARE(sent[0].body, QJsonDocument::fromJson(Ops[row.op].body).toJson());
    }

    void replies_data()
    {
        QTest::addColumn<Reply>("row");
        const QByteArray detail = R"({"detail":"%1 nem"})";
        // Write result: the body is not parsed; 201 counts only for creating.
        reply(Update, 200, detail, "OK");
        reply(Create, 201, detail, "OK");
        reply(Register, 201, detail, "OK");
        reply(Update, 201, detail, failure(Update, 201, detail));
        reply(Delete, 500, QByteArray(300, 'x'), failure(Delete, 500, QByteArray(200, 'x')));
        reply(Delete, 500, QByteArray(199, 'a') + "é",
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
        reply(Details, 404, detail, failure(Details, 404, detail));
        reply(Details, 200, "[]", "Hibás válasz (details nem JSON objektum).");
        // No answer: a closed port, or a server that holds the request past the
        // transfer timeout; status 0 and an empty body prefix.
        for (int op = 0; op < int(std::size(Ops)); ++op)
            reply(op, -1, {}, failure(op, 0, {}, "http://127.0.0.1:1"));
        for (const int op : {Login, List, Search, Update, Details})
            reply(op, -2, {}, failure(op, 0, {}, "@"));
        // Records: a field takes a value only of its JSON type; lists skip non-objects.
        reply(List, 200,
            R"([1,"x",{"kod":"A","nev":"n","keplet":"k","molaris_tomeg":"m","szin":"s",
                "halmazallapot":"h","details_hit":true,"base_hit":false},{"kod":2,"nev":null}])",
            "OK A|n|k|m|s|h|-|B;||||||-|B");
        reply(Search, 200,
            R"([{"kod":"A","details_hit":true,"base_hit":false},{"details_hit":"1","base_hit":0}])",
            "OK A||||||D|-;||||||-|B");
        reply(Details, 200,
            R"({"kod":"K","description":"1","cas":"2","msds_url":"3","ghs":"4","storage":"5",
                "density":"6","melting_point":"7","boiling_point":"8","solubility":"9","notes":"10",
                "images":[1,{"url":"u","caption":"c","order":2},{"caption":5,"order":2.5},
                {"order":"2"},{"order":2147483647},{"order":-2147483648},{"order":2147483648}]})",
            "OK K|1|2|3|4|5|6|7|8|9|10;u,c,2;,,0;,,0;,,2147483647;,,-2147483648;,,0");
        reply(Details, 200, R"({"kod":1,"cas":null,"images":{}})", "OK ||||||||||");
        reply(Users, 200,
            R"([1,{"felhasznalonev":"f","vezeteknev":"v","keresztnev":"k","szerepkor":"s",
                "email":"e"},{"email":null,"szerepkor":5}])",
            "OK f|v|k|s|e;||||");
        reply(Login, 200, R"({"access_token":"t","szerepkor":"a","keresztnev":5})", "OK t a ");
    }

    void replies()
    {
        QFETCH(Reply, row);

        LoopbackServer server;
        server.answerAllWith(ScriptedResponse::json(row.status, row.body));
        server.setHolding(row.status == -2);
        ApiClient api(row.status == -1 ? "http://127.0.0.1:1" : server.origin());
        api.setTransferTimeout(row.status == -2 ? 300 : TransferTimeoutMs);
        Signals emitted(&api);
        Ops[row.op].start(api, "H2O");
        QTRY_COMPARE(emitted.any.size(), 1);
        QCOMPARE(emitted.outcome(), row.outcome.replace("@", server.origin()));
    }

    void overlappingRepliesInCompletionOrder()
    {
        LoopbackServer server;
        server.setHolding(true);
        ApiClient api(server.origin());
        QSignalSpy updated(&api, &ApiClient::userUpdateOk);
        Ops[UpdateUser].start(api, "elso");
        Ops[UpdateUser].start(api, "masodik");
        QTRY_COMPARE(server.heldCount(), 2);
        for (const int held : {1, 0}) {
            const QByteArray target = server.requests().at(held).target;
            server.respondToHeld(held, ScriptedResponse::json(200, "{}"));
            QTRY_COMPARE(updated.size(), 2 - held);
            QVERIFY(target.endsWith(updated.constLast().constFirst().toString().toUtf8()));
        }
    }

    // Per reply shape 200 generated replies, the first a 10 MB array, some cut
    // short, nested too deep or not answered at all: each ends in one signal.
    void fuzz()
    {
        const QByteArray env = qgetenv("ORVANTIS_FUZZ_SEED");
        const quint32 seed = env.isEmpty() ? QRandomGenerator::global()->generate() : env.toUInt();
        qInfo("fuzz seed %u (replay with ORVANTIS_FUZZ_SEED=%u)", seed, seed);
        LoopbackServer server;
        for (const int op : {List, Details, Update, Login}) {
            QRandomGenerator random(seed);
            ApiClient api(server.origin());
            Signals emitted(&api);
            for (int i = 0; i < 200; ++i) {
                QByteArray body = fuzzJson(random, 0);
                if (i < 2) // one body of about 10 MB, one nested too deep
                    body = i ? QByteArray(20000, '[')
                             : '[' + (body + ',').repeated((10 << 20) / (body.size() + 1)) + "0]";
                else if (random.bounded(4) == 0)
                    body.truncate(random.bounded(body.size() + 1));
                // Framing 3 drops the connection unanswered.
                auto reply = ScriptedResponse::json(
                    i ? QList {200, 201, 404, 500}[random.bounded(4)] : 200, body);
                reply.framing = ScriptedResponse::Framing(i ? random.bounded(4) : 0);
                server.answerAllWith(reply);
                Ops[op].start(api, "H2O");
                QVERIFY2(emitted.any.wait() && emitted.any.size() == i + 1,
                    qPrintable(QString("%1 reply %2").arg(Ops[op].name).arg(i)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestApi)
#include "tst_api.moc"
