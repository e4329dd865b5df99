// Compounds, search and details against the real server process.
#include "demoaccounts.h"
#include "httpprobe.h"
#include "serverprocess.h"

#include <QTest>

#include <memory>

namespace {

QJsonObject compound(const QString &kod, const QString &nev = QStringLiteral("Próba"))
{
    return {{QStringLiteral("kod"), kod}, {QStringLiteral("nev"), nev},
        {QStringLiteral("keplet"), QStringLiteral("C2H6")},
        {QStringLiteral("molaris_tomeg"), QStringLiteral("30.07")},
        {QStringLiteral("szin"), QStringLiteral("színtelen")},
        {QStringLiteral("halmazallapot"), QStringLiteral("gáz")}};
}

QJsonObject details(const QString &description)
{
    return {{QStringLiteral("description"), description},
        {QStringLiteral("cas"), QStringLiteral("74-84-0")},
        {QStringLiteral("msds_url"), QStringLiteral("https://example.org/etan.pdf")},
        {QStringLiteral("ghs"), QStringLiteral("GHS02, GHS04")},
        {QStringLiteral("storage"), QStringLiteral("Hűvös helyen.")},
        {QStringLiteral("density"), QStringLiteral("1.36 g/l")},
        {QStringLiteral("melting_point"), QStringLiteral("-182.8 °C")},
        {QStringLiteral("boiling_point"), QStringLiteral("-88.5 °C")},
        {QStringLiteral("solubility"), QStringLiteral("rosszul oldódik")},
        {QStringLiteral("notes"), QStringLiteral("több\nsoros\nmegjegyzés")}};
}

QString path(const QString &kod, const QString &suffix = {})
{
    return QStringLiteral("/api/v1/compounds/") + HttpProbe::encode(kod) + suffix;
}

QStringList codes(const QJsonArray &list)
{
    QStringList result;
    for (const QJsonValue &item : list)
        result.append(item.toObject().value(QStringLiteral("kod")).toString());
    return result;
}

} // namespace

class TestServerCompounds : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listHoldsTheDemoCompounds();
    void writesNeedEditorOrAdmin_data();
    void writesNeedEditorOrAdmin();
    void createUpdateDeleteRoundTrip_data();
    void createUpdateDeleteRoundTrip();
    void writeRefusals_data();
    void writeRefusals();
    void detailsRoundTripKeepsImages();
    void detailsOfUnknownCompoundIs404();
    void imagesAreServedAtAbsoluteUrls();
    void searchFindsCaseInsensitively_data();
    void searchFindsCaseInsensitively();
    void searchTreatsQueryAsPlainText_data();
    void searchTreatsQueryAsPlainText();
    void searchHonoursLimit_data();
    void searchHonoursLimit();

private:
    ServerProcess server;
    std::unique_ptr<HttpProbe> editor;
};

void TestServerCompounds::cleanupTestCase()
{
    QVERIFY(server.stop());
}

void TestServerCompounds::initTestCase()
{
    QVERIFY(server.start({QStringLiteral("--seed-generated"), QStringLiteral("250")}));
    editor = std::make_unique<HttpProbe>(server.origin());
    QVERIFY(editor->signIn(QStringLiteral("editor"), DemoAccounts::editorPassword()));
}

void TestServerCompounds::listHoldsTheDemoCompounds()
{
    HttpProbe reader(server.origin());
    QVERIFY(reader.signIn(QStringLiteral("user"), DemoAccounts::userPassword()));
    const ProbeReply reply = reader.get(QStringLiteral("/api/v1/compounds"));
    QCOMPARE(reply.status, 200);
    const QJsonArray list = reply.array();
    QVERIFY(list.size() >= 40 + 250);
    const QJsonObject water = list.at(codes(list).indexOf(QStringLiteral("VEG-001"))).toObject();
    QCOMPARE(water.value(QStringLiteral("nev")).toString(), QStringLiteral("Víz"));
    QCOMPARE(water.value(QStringLiteral("keplet")).toString(), QStringLiteral("H2O"));
    QCOMPARE(water.value(QStringLiteral("molaris_tomeg")).toString(), QStringLiteral("18.015"));
    for (const QJsonValue &item : list) {
        for (const char *key : {"kod", "nev", "keplet", "molaris_tomeg", "szin", "halmazallapot"})
            QVERIFY2(item.toObject().value(QLatin1String(key)).isString(), key);
    }
}

void TestServerCompounds::writesNeedEditorOrAdmin_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("nobody") << QString() << QString() << false;
    QTest::newRow("user") << "user" << DemoAccounts::userPassword() << false;
    QTest::newRow("editor") << "editor" << DemoAccounts::editorPassword() << true;
    QTest::newRow("admin") << "admin" << DemoAccounts::adminPassword() << true;
}

void TestServerCompounds::writesNeedEditorOrAdmin()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(bool, allowed);
    HttpProbe probe(server.origin());
    if (!account.isEmpty())
        QVERIFY(probe.signIn(account, password));
    const int refused = account.isEmpty() ? 401 : 403;
    const QString kod = QStringLiteral("JOG-") + QString::fromLatin1(QTest::currentDataTag());

    QCOMPARE(probe.sendJson("POST", QStringLiteral("/api/v1/compounds"), compound(kod)).status,
        allowed ? 201 : refused);
    if (!allowed) // the compound must exist for the remaining checks
        QCOMPARE(
            editor->sendJson("POST", QStringLiteral("/api/v1/compounds"), compound(kod)).status,
            201);
    QCOMPARE(probe.sendJson("PUT", path(kod), compound(kod, QStringLiteral("Új név"))).status,
        allowed ? 200 : refused);
    QCOMPARE(
        probe.sendJson("PUT", path(kod, QStringLiteral("/details")), details(QStringLiteral("x")))
            .status,
        allowed ? 200 : refused);
    QCOMPARE(probe.send("DELETE", path(kod)).status, allowed ? 200 : refused);

    const bool present
        = codes(editor->get(QStringLiteral("/api/v1/compounds")).array()).contains(kod);
    QCOMPARE(present, !allowed);
    if (!allowed) {
        const ProbeReply unchanged = editor->get(path(kod, QStringLiteral("/details")));
        QCOMPARE(unchanged.object().value(QStringLiteral("description")).toString(), QString());
    }
}

void TestServerCompounds::createUpdateDeleteRoundTrip_data()
{
    QTest::addColumn<QString>("kod");
    QTest::newRow("slash") << "a/b";
    QTest::newRow("question mark") << "mi?ez=1&x";
    QTest::newRow("quotes") << "\"idéző'jel\"";
    QTest::newRow("percent") << "100%-os %2F";
    QTest::newRow("non-ASCII") << "Ős-Ű-ÉÁ-ß-水";
    QTest::newRow("SQL") << "x'); DROP TABLE compounds; --";
    QTest::newRow("spaces and hash") << " szóköz #1 ";
    QTest::newRow("dots inside") << "a..b";
    QTest::newRow("named like an endpoint") << "details";
}

void TestServerCompounds::createUpdateDeleteRoundTrip()
{
    QFETCH(QString, kod);
    QCOMPARE(
        editor->sendJson("POST", QStringLiteral("/api/v1/compounds"), compound(kod)).status, 201);
    QCOMPARE(
        editor->sendJson("POST", QStringLiteral("/api/v1/compounds"), compound(kod)).status, 409);

    const QJsonObject renamed = compound(kod, QStringLiteral("Átnevezett ' \" %"));
    QCOMPARE(editor->sendJson("PUT", path(kod), renamed).status, 200);
    QVERIFY(editor->get(QStringLiteral("/api/v1/compounds")).array().contains(renamed));

    QCOMPARE(
        editor->sendJson("PUT", path(kod, QStringLiteral("/details")), details(kod)).status, 200);
    const QJsonObject stored = editor->get(path(kod, QStringLiteral("/details"))).object();
    QCOMPARE(stored.value(QStringLiteral("kod")).toString(), kod);
    QCOMPARE(stored.value(QStringLiteral("description")).toString(), kod);

    QCOMPARE(editor->send("DELETE", path(kod)).status, 200);
    QCOMPARE(editor->send("DELETE", path(kod)).status, 404);
    QCOMPARE(editor->get(path(kod, QStringLiteral("/details"))).status, 404);
    QVERIFY(!codes(editor->get(QStringLiteral("/api/v1/compounds")).array()).contains(kod));
    QVERIFY(editor->get(QStringLiteral("/api/v1/compounds")).array().size() >= 290);
}

void TestServerCompounds::writeRefusals_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    const QByteArray water
        = R"({"kod":"VEG-001","nev":"Víz","keplet":"H2O","molaris_tomeg":"18.015","szin":"","halmazallapot":""})";
    QTest::newRow("duplicate code") << QByteArray("POST") << "/api/v1/compounds" << water << 409;
    QTest::newRow("empty code")
        << QByteArray("POST") << "/api/v1/compounds"
        << QByteArray(
               R"({"kod":"  ","nev":"x","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})")
        << 422;
    QTest::newRow("empty name")
        << QByteArray("POST") << "/api/v1/compounds"
        << QByteArray(
               R"({"kod":"UJ","nev":"","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})")
        << 422;
    QTest::newRow("numeric molar mass")
        << QByteArray("POST") << "/api/v1/compounds"
        << QByteArray(
               R"({"kod":"UJ","nev":"x","keplet":"","molaris_tomeg":18.0,"szin":"","halmazallapot":""})")
        << 422;
    QTest::newRow("missing colour")
        << QByteArray("POST") << "/api/v1/compounds"
        << QByteArray(R"({"kod":"UJ","nev":"x","keplet":"","molaris_tomeg":"","halmazallapot":""})")
        << 422;
    QTest::newRow("code too long")
        << QByteArray("POST") << "/api/v1/compounds"
        << QByteArray(R"({"kod":")" + QByteArray(65, 'k')
               + R"(","nev":"x","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})")
        << 422;
    QTest::newRow("dot-dot code")
        << QByteArray("POST") << "/api/v1/compounds"
        << QByteArray(
               R"({"kod":"..","nev":"x","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})")
        << 422;
    QTest::newRow("dot code")
        << QByteArray("POST") << "/api/v1/compounds"
        << QByteArray(
               R"({"kod":".","nev":"x","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})")
        << 422;
    QTest::newRow("update of unknown code")
        << QByteArray("PUT") << "/api/v1/compounds/NINCS"
        << QByteArray(
               R"({"kod":"NINCS","nev":"x","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})")
        << 404;
    QTest::newRow("update renaming the code")
        << QByteArray("PUT") << "/api/v1/compounds/VEG-001"
        << QByteArray(
               R"({"kod":"VEG-999","nev":"Víz","keplet":"H2O","molaris_tomeg":"18.015","szin":"","halmazallapot":""})")
        << 422;
    QTest::newRow("delete of unknown code")
        << QByteArray("DELETE") << "/api/v1/compounds/NINCS" << QByteArray() << 404;
    QTest::newRow("details of unknown code")
        << QByteArray("PUT") << "/api/v1/compounds/NINCS/details"
        << QJsonDocument(details(QStringLiteral("x"))).toJson() << 404;
    QTest::newRow("details with a number")
        << QByteArray("PUT") << "/api/v1/compounds/VEG-001/details"
        << QByteArray(
               R"({"description":"","cas":"","msds_url":"","ghs":"","storage":"","density":0.997,"melting_point":"","boiling_point":"","solubility":"","notes":""})")
        << 422;
    QTest::newRow("details as array")
        << QByteArray("PUT") << "/api/v1/compounds/VEG-001/details" << QByteArray("[]") << 422;
    QTest::newRow("patch method") << QByteArray("PATCH") << "/api/v1/compounds/VEG-001" << water
                                  << 405;
    QTest::newRow("unknown sub-resource")
        << QByteArray("GET") << "/api/v1/compounds/VEG-001/x" << QByteArray() << 404;
}

void TestServerCompounds::writeRefusals()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, target);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const QByteArray listBefore = editor->get(QStringLiteral("/api/v1/compounds")).body;
    const ProbeReply reply = editor->send(method, target, body);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.detail().isEmpty());
    QCOMPARE(editor->get(QStringLiteral("/api/v1/compounds")).body, listBefore);
    const ProbeReply water = editor->get(QStringLiteral("/api/v1/compounds/VEG-001/details"));
    QCOMPARE(water.object().value(QStringLiteral("density")).toString(),
        QStringLiteral("0.997 g/cm³ (25 °C)"));
}

void TestServerCompounds::detailsRoundTripKeepsImages()
{
    const QString target = QStringLiteral("/api/v1/compounds/VEG-003/details");
    const QJsonObject before = editor->get(target).object();
    QCOMPARE(before.value(QStringLiteral("cas")).toString(), QStringLiteral("64-17-5"));
    QCOMPARE(before.value(QStringLiteral("images")).toArray().size(), 1);

    QJsonObject changed = details(QStringLiteral("Módosított leírás"));
    QCOMPARE(editor->sendJson("PUT", target, changed).status, 200);
    const QJsonObject after = editor->get(target).object();
    for (auto it = changed.begin(); it != changed.end(); ++it)
        QCOMPARE(after.value(it.key()).toString(), it.value().toString());
    QCOMPARE(after.value(QStringLiteral("images")), before.value(QStringLiteral("images")));
    QCOMPARE(after.size(), 12); // kod, ten texts, images
}

void TestServerCompounds::detailsOfUnknownCompoundIs404()
{
    const ProbeReply reply = editor->get(QStringLiteral("/api/v1/compounds/NINCS-ILYEN/details"));
    QCOMPARE(reply.status, 404);
    QVERIFY(!reply.detail().isEmpty());
}

void TestServerCompounds::imagesAreServedAtAbsoluteUrls()
{
    const QJsonArray images = editor->get(QStringLiteral("/api/v1/compounds/VEG-001/details"))
                                  .object()
                                  .value(QStringLiteral("images"))
                                  .toArray();
    QCOMPARE(images.size(), 2);
    QCOMPARE(images.at(0).toObject().value(QStringLiteral("order")).toInt(), 1);
    QCOMPARE(images.at(1).toObject().value(QStringLiteral("order")).toInt(), 2);
    const QString url = images.at(0).toObject().value(QStringLiteral("url")).toString();
    QVERIFY2(url.startsWith(server.origin() + QStringLiteral("/images/")), qPrintable(url));
    QVERIFY(!images.at(0).toObject().value(QStringLiteral("caption")).toString().isEmpty());

    HttpProbe anonymous(server.origin());
    const ProbeReply image = anonymous.get(url.mid(server.origin().size()));
    QCOMPARE(image.status, 200);
    QVERIFY(image.body.startsWith("<svg"));
    QCOMPARE(anonymous.get(QStringLiteral("/images/..%2Forvantis.db")).status, 404);
    QCOMPARE(anonymous.get(QStringLiteral("/images/%2E%2E/orvantis.db")).status, 404);
}

void TestServerCompounds::searchFindsCaseInsensitively_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("kod");
    QTest::addColumn<bool>("baseHit");
    QTest::addColumn<bool>("detailsHit");
    QTest::newRow("lower-case accented name") << "víz"
                                              << "VEG-001" << true << false;
    QTest::newRow("upper-case accented name") << "VÍZ"
                                              << "VEG-001" << true << false;
    QTest::newRow("name and details") << "KÁLIUM"
                                      << "VEG-022" << true << true;
    QTest::newRow("inside a details word") << "KÉNSAV"
                                           << "VEG-026" << false << true;
    QTest::newRow("double acute upper") << "ŐRÖ"
                                        << "" << false << false;
    QTest::newRow("ű and ó") << "NÁTRIUM-HIDROGÉN"
                             << "VEG-021" << true << false;
    QTest::newRow("formula in other case") << "h2so4"
                                           << "VEG-004" << true << false;
    QTest::newRow("code") << "veg-028"
                          << "VEG-028" << true << false;
    QTest::newRow("CAS in details only") << "7664-93-9"
                                         << "VEG-004" << false << true;
    QTest::newRow("GHS class in details only") << "ghs09"
                                               << "VEG-034" << false << true;
    QTest::newRow("description word") << "SZÁRAZJÉG"
                                      << "VEG-007" << false << true;
}

void TestServerCompounds::searchFindsCaseInsensitively()
{
    QFETCH(QString, query);
    QFETCH(QString, kod);
    QFETCH(bool, baseHit);
    QFETCH(bool, detailsHit);
    const ProbeReply reply = editor->get(QStringLiteral("/api/v1/compounds/search?q=")
        + HttpProbe::encode(query) + QStringLiteral("&limit=200"));
    QCOMPARE(reply.status, 200);
    const QJsonArray list = reply.array();
    const int index = codes(list).indexOf(kod);
    if (kod.isEmpty()) {
        QCOMPARE(list.size(), 0);
        return;
    }
    QVERIFY2(index >= 0, qPrintable(QString::fromUtf8(reply.body.left(300))));
    const QJsonObject hit = list.at(index).toObject();
    QCOMPARE(hit.value(QStringLiteral("base_hit")).toBool(), baseHit);
    QCOMPARE(hit.value(QStringLiteral("details_hit")).toBool(), detailsHit);
    QVERIFY(hit.value(QStringLiteral("base_hit")).isBool());
    QVERIFY(hit.value(QStringLiteral("details_hit")).isBool());
}

void TestServerCompounds::searchTreatsQueryAsPlainText_data()
{
    QTest::addColumn<QString>("query");
    QTest::newRow("percent") << "%";
    QTest::newRow("underscore") << "_";
    QTest::newRow("SQL") << "' OR 1=1; DROP TABLE compounds; --";
    QTest::newRow("ampersand and equals") << "a&limit=1";
    QTest::newRow("glob") << "*";
}

void TestServerCompounds::searchTreatsQueryAsPlainText()
{
    QFETCH(QString, query);
    const ProbeReply reply = editor->get(QStringLiteral("/api/v1/compounds/search?q=")
        + HttpProbe::encode(query) + QStringLiteral("&limit=200"));
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.array().size(), 0);
    QVERIFY(editor->get(QStringLiteral("/api/v1/compounds")).array().size() >= 290);
}

void TestServerCompounds::searchHonoursLimit_data()
{
    QTest::addColumn<QString>("limit");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("count");
    QTest::newRow("3") << "3" << 200 << 3;
    QTest::newRow("200") << "200" << 200 << 200;
    QTest::newRow("above 200 is capped") << "5000" << 200 << 200;
    QTest::newRow("zero") << "0" << 422 << 0;
    QTest::newRow("negative") << "-1" << 422 << 0;
    QTest::newRow("text") << "sok" << 422 << 0;
}

void TestServerCompounds::searchHonoursLimit()
{
    QFETCH(QString, limit);
    QFETCH(int, status);
    QFETCH(int, count);
    // "minta" matches every generated compound (250 of them).
    const ProbeReply reply
        = editor->get(QStringLiteral("/api/v1/compounds/search?q=minta&limit=") + limit);
    QCOMPARE(reply.status, status);
    if (status == 200)
        QCOMPARE(reply.array().size(), count);
    else
        QVERIFY(!reply.detail().isEmpty());
}

QTEST_GUILESS_MAIN(TestServerCompounds)
#include "tst_server_compounds.moc"
