// The server's rules in-process, against its library: how a request is read
// and its fields are checked, and how search text is folded.
#include "httpprobe.h"
#include "server/auth/loginthrottle.h"
#include "server/auth/sessionstore.h"
#include "server/routes/compoundserver.h"
#include "server/storage/database.h"
#include "server/storage/demoseed.h"
#include "server/storage/passwordhasher.h"

// Each row works on what the rows before it left.
const char *const Requests = R"(
- POST /api/v1/auth/login | {"felhasznalonev": | 422 A kérés törzse nem érvényes JSON.
- POST /api/v1/auth/login | ["a"] | 422 A kérés törzsének JSON objektumnak kell lennie.
- POST /api/v1/auth/login | {"felhasznalonev":"a"} | 422 Hiányzó mező: jelszo.
- POST /api/v1/auth/login | {"felhasznalonev":"a","jelszo":null} | 422 A(z) jelszo mező értékének szövegnek kell lennie.
- POST /api/v1/auth/register | {"felhasznalonev":"új/név?%","vezeteknev":"V","keresztnev":"K","jelszo":"12345678","email":"a@b"} | 201
- POST /api/v1/auth/register | {"felhasznalonev":" ","vezeteknev":"V","keresztnev":"K","jelszo":"12345678","email":"a@b"} | 422 A felhasználónév nem lehet üres.
- POST /api/v1/auth/register | {"felhasznalonev":"ádám ","vezeteknev":"V","keresztnev":"K","jelszo":"12345678","email":"a@b"} | 422 A felhasználónév nem kezdődhet és nem végződhet szóközzel.
- POST /api/v1/auth/register | {"felhasznalonev":"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn","vezeteknev":"V","keresztnev":"K","jelszo":"12345678","email":"a@b"} | 422 A felhasználónév legfeljebb 64 karakter lehet.
- POST /api/v1/auth/register | {"felhasznalonev":"b","vezeteknev":"V","keresztnev":"K","jelszo":"1234567","email":"a@b"} | 422 A jelszónak legalább 8 karakterből kell állnia.
- POST /api/v1/auth/register | {"felhasznalonev":"b","vezeteknev":"V","keresztnev":"K","jelszo":"12345678","email":"a@b@c"} | 422 Érvénytelen e-mail cím.
editor POST /api/v1/compounds | {"kod":" ","nev":"N","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""} | 422 A kód nem lehet üres.
editor POST /api/v1/compounds | {"kod":"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk","nev":"N","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""} | 422 A kód legfeljebb 64 karakter lehet.
editor POST /api/v1/compounds | {"kod":"a\u0001","nev":"N","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""} | 422 A kód vezérlőkaraktert tartalmaz.
editor POST /api/v1/compounds | {"kod":".","nev":"N","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""} | 422 A kód nem lehet \".\" vagy \"..\".
editor POST /api/v1/compounds | {"kod":"UJ","nev":" ","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""} | 422 A(z) név mező nem lehet üres.
editor POST /api/v1/compounds | {"kod":"UJ","nev":"N","keplet":"","molaris_tomeg":"","szin":"a\nb","halmazallapot":""} | 422 A(z) szín mező vezérlőkaraktert tartalmaz.
editor PUT /api/v1/compounds/VEG-001 | {"kod":"VEG-002","nev":"N","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""} | 422 A vegyület kódja nem módosítható.
editor PUT /api/v1/compounds/VEG-001/details | {"description":"a\r\n\tb","cas":"","msds_url":"","ghs":"","storage":"","density":"","melting_point":"","boiling_point":"","solubility":"","notes":""} | 200
editor GET /api/v1/compounds/search?q=a&limit=0 | | 422 A limit pozitív egész szám kell legyen.
editor DELETE /api/v1/compounds/VEG-001%2Fdetails | | 404 Nincs ilyen kódú vegyület.
editor GET /api/v1/auth/login | | 405 Ez a végpont csak POST kérést fogad.
- GET /images/veg-004-1.svg | | 200 <svg
editor GET /images/..%2Forvantis.db | | 404 Nincs ilyen fájl.
// Search folds case and accents, and looks at code, name, formula and details.
editor GET /api/v1/compounds/search?q=vi%CC%81z | | 200 "base_hit":true,"details_hit":false,"halmazallapot":"folyékony","keplet":"H2O","kod":"VEG-001"
editor GET /api/v1/compounds/search?q=h2so4 | | 200 "base_hit":true,"details_hit":false,"halmazallapot":"folyékony","keplet":"H2SO4","kod":"VEG-004"
editor GET /api/v1/compounds/search?q=7664-93-9 | | 200 "base_hit":false,"details_hit":true,"halmazallapot":"folyékony","keplet":"H2SO4","kod":"VEG-004"
editor GET /api/v1/compounds/search?q=KÁLIUM | | 200 "base_hit":true,"details_hit":true,"halmazallapot":"szilárd","keplet":"KCl","kod":"VEG-022"
editor GET /api/v1/compounds/search?q=001víz | | 200 []
editor GET /api/v1/compounds/search?q=%20 | | 200 [{"base_hit":true,"details_hit":false,"halmazallapot":"folyékony","keplet":"H2O","kod":"VEG-001"
)";

class TestServerRules : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    Database database;
    std::unique_ptr<CompoundServer> server;
    QString origin;
    QHash<QString, QByteArray> tokens;

private slots:
    void initTestCase()
    {
        QVERIFY(PasswordHasher::initialise() && database.open(dir.filePath("orvantis.db")));
        QCOMPARE(DemoSeed::fill(database, dir.filePath("images")), QString());
        ServerOptions options;
        options.plainHttp = true;
        options.port = 0;
        options.quiet = true;
        options.imagesDir = dir.filePath("images");
        server = std::make_unique<CompoundServer>(database, options);
        QString reason;
        QVERIFY2(server->start(&reason), qPrintable(reason));
        origin = QString("http://127.0.0.1:%1").arg(server->port());
        tokens = signInCallers(origin);
    }

    void requests_data()
    {
        addRequestRows(Requests);
    }

    void requests()
    {
        checkRequestRow(origin, tokens);
    }

    // A token, and an admin's confirmation, end with their lifetimes.
    void sessionsExpire()
    {
        SessionStore sessions(3, 1);
        const QByteArray token = sessions.open(7);
        sessions.markReauthenticated(token);
        QVERIFY(sessions.reauthIsFresh(sessions.find(token).value()));
        QTRY_VERIFY(!sessions.reauthIsFresh(sessions.find(token).value()));
        QTRY_VERIFY(!sessions.find(token));
    }

    // Failures block one account, spelt in any case, and no other; attempts
    // still being checked count; a success clears them, and they age out.
    void throttle()
    {
        LoginThrottle throttle(500);
        const auto fail = [&throttle](const QString &name, int times) {
            for (int i = 0; i < times; ++i, throttle.recordFailure(name))
                throttle.begin(name);
        };
        fail("Ádám", 9);
        throttle.begin("ÁDÁM");
        QVERIFY(throttle.isBlocked("ádám") && !throttle.isBlocked("Adam"));
        throttle.recordSuccess("ÁDÁM");
        fail("ádám", 1);
        QVERIFY(!throttle.isBlocked("ádám"));
        fail("bea", 10);
        QVERIFY(throttle.isBlocked("bea") && throttle.retryAfterSeconds("bea") == 1);
        QTRY_VERIFY(!throttle.isBlocked("bea"));
    }
};

QTEST_GUILESS_MAIN(TestServerRules)
#include "tst_server_rules.moc"
