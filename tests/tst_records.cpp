#include "api/compound.h"
#include "api/compounddetails.h"
#include "api/recordtypes.h"
#include "api/userrow.h"

#include <QJsonDocument>
#include <QMetaType>
#include <QTest>

#include <limits>

namespace {

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QJsonArray array(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).array();
}

QStringList fieldsOf(const Compound &c)
{
    return {c.kod, c.nev, c.keplet, c.molaris_tomeg, c.szin, c.halmazallapot};
}

QStringList fieldsOf(const CompoundDetails &d)
{
    return {d.kod, d.description, d.cas, d.msds_url, d.ghs, d.storage, d.density, d.melting_point,
        d.boiling_point, d.solubility, d.notes};
}

QStringList fieldsOf(const UserRow &u)
{
    return {u.felhasznalonev, u.vezeteknev, u.keresztnev, u.szerepkor, u.email};
}

QStringList sortedKeys(const QJsonObject &o)
{
    QStringList keys = o.keys();
    keys.sort();
    return keys;
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // First thing in the process, so the type ids follow the registration order.
        registerRecordTypes();
    }

    void recordTypesRegisteredInStartUpOrder()
    {
        const QList<QPair<const char *, QMetaType>> expected {
            {"Compound", QMetaType::fromType<Compound>()},
            {"UserRow", QMetaType::fromType<UserRow>()},
            {"QVector<Compound>", QMetaType::fromType<QList<Compound>>()},
            {"QVector<UserRow>", QMetaType::fromType<QList<UserRow>>()},
            {"CompoundDetails", QMetaType::fromType<CompoundDetails>()},
            {"CompoundImage", QMetaType::fromType<CompoundImage>()},
            {"QVector<CompoundImage>", QMetaType::fromType<QList<CompoundImage>>()},
        };
        int previousId = 0;
        for (const auto &[name, type] : expected) {
            QCOMPARE(QMetaType::fromName(name), type);
            QVERIFY2(type.id() > previousId, name);
            previousId = type.id();
        }
    }

    void compoundFromJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("search");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<bool>("detailsHit");
        QTest::addColumn<bool>("baseHit");

        const QStringList empty(6);
        QTest::newRow("all text, untrimmed")
            << QByteArray(R"({"kod":" H2O ","nev":"víz","keplet":"H2O","molaris_tomeg":"18,02",
                             "szin":"színtelen","halmazallapot":"folyékony\n"})")
            << false
            << QStringList {QStringLiteral(" H2O "), QStringLiteral("víz"), QStringLiteral("H2O"),
                   QStringLiteral("18,02"), QStringLiteral("színtelen"),
                   QStringLiteral("folyékony\n")}
            << false << true;
        QTest::newRow("number, bool, null, array, object, missing")
            << QByteArray(R"({"kod":1,"nev":true,"keplet":null,"molaris_tomeg":18.02,"szin":["a"],
                             "halmazallapot_x":"y","extra":"z"})")
            << false << empty << false << true;
        QTest::newRow("empty object, search") << QByteArray("{}") << true << empty << false << true;
        QTest::newRow("list ignores flags")
            << QByteArray(R"({"details_hit":true,"base_hit":false})") << false << empty << false
            << true;
        QTest::newRow("search reads flags")
            << QByteArray(R"({"details_hit":true,"base_hit":false})") << true << empty << true
            << false;
        QTest::newRow("search, flags as text")
            << QByteArray(R"({"details_hit":"true","base_hit":"false"})") << true << empty << false
            << true;
        QTest::newRow("search, flags as numbers")
            << QByteArray(R"({"details_hit":1,"base_hit":0})") << true << empty << false << true;
    }

    void compoundFromJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, search);
        QFETCH(QStringList, fields);
        QFETCH(bool, detailsHit);
        QFETCH(bool, baseHit);

        const QJsonObject o = object(json);
        QVERIFY(!o.isEmpty() || json == "{}");
        const Compound c = ::compoundFromJson(o, search);
        QCOMPARE(fieldsOf(c), fields);
        QCOMPARE(c.details_hit, detailsHit);
        QCOMPARE(c.base_hit, baseHit);
    }

    void compoundsFromJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("codes");

        QTest::newRow("empty") << QByteArray("[]") << QStringList();
        QTest::newRow("non-objects skipped")
            << QByteArray(R"([1, "x", null, true, [{"kod":"in"}], {"kod":"A"}])")
            << QStringList {QStringLiteral("A")};
        QTest::newRow("server order and duplicates kept")
            << QByteArray(R"([{"kod":"C"},{"kod":"A"},{},{"kod":"C"}])")
            << QStringList {
                   QStringLiteral("C"), QStringLiteral("A"), QString(), QStringLiteral("C")};
    }

    void compoundsFromJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, codes);

        for (bool search : {false, true}) {
            QStringList got;
            for (const Compound &c : ::compoundsFromJson(array(json), search))
                got << c.kod;
            QCOMPARE(got, codes);
        }
    }

    void compoundToJson_data()
    {
        QTest::addColumn<Compound>("compound");

        QTest::newRow("default") << Compound();
        Compound full;
        full.kod = QStringLiteral("H2O");
        full.nev = QStringLiteral(" víz ");
        full.keplet = QStringLiteral("H2O");
        full.molaris_tomeg = QStringLiteral("18.02");
        full.szin = QStringLiteral("\"kék\"");
        full.halmazallapot = QStringLiteral("folyékony");
        full.details_hit = true;
        full.base_hit = false;
        QTest::newRow("full, flags flipped") << full;
    }

    void compoundToJson()
    {
        QFETCH(Compound, compound);

        const QJsonObject o = ::compoundToJson(compound);
        QCOMPARE(sortedKeys(o),
            (QStringList {QStringLiteral("halmazallapot"), QStringLiteral("keplet"),
                QStringLiteral("kod"), QStringLiteral("molaris_tomeg"), QStringLiteral("nev"),
                QStringLiteral("szin")}));
        for (const QJsonValue &v : o)
            QVERIFY(v.isString());
        QCOMPARE(fieldsOf(::compoundFromJson(o, false)), fieldsOf(compound));
    }

    void compoundDetailsFromJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("imageUrls");

        const QStringList empty(11);
        QTest::newRow("all strings")
            << QByteArray(R"({"kod":"H2O","description":"a\nb","cas":"7732-18-5","msds_url":"u",
                             "ghs":"GHS07","storage":"hűvös","density":"1,0","melting_point":"0 °C",
                             "boiling_point":"100 °C","solubility":"-","notes":" "})")
            << QStringList {QStringLiteral("H2O"), QStringLiteral("a\nb"),
                   QStringLiteral("7732-18-5"), QStringLiteral("u"), QStringLiteral("GHS07"),
                   QStringLiteral("hűvös"), QStringLiteral("1,0"), QStringLiteral("0 °C"),
                   QStringLiteral("100 °C"), QStringLiteral("-"), QStringLiteral(" ")}
            << QStringList();
        QStringList onlyCas = empty;
        onlyCas[2] = QStringLiteral("7732-18-5");
        QTest::newRow("numeric density, others unaffected")
            << QByteArray(R"({"cas":"7732-18-5","density":1.2})") << onlyCas << QStringList();
        QTest::newRow("wrong types")
            << QByteArray(R"({"kod":null,"description":1,"cas":false,"msds_url":[],"ghs":{},
                             "storage":null,"notes":["x"]})")
            << empty << QStringList();
        QTest::newRow("images not an array")
            << QByteArray(R"({"images":{"url":"a"}})") << empty << QStringList();
        QTest::newRow("a string and one object")
            << QByteArray(R"({"images":["a.png",{"url":"b.png"}]})") << empty
            << QStringList {QStringLiteral("b.png")};
        QTest::newRow("order, duplicates and empty urls kept")
            << QByteArray(R"({"images":[{"url":"c","order":3},null,{"url":"a","order":1},
                                        {"order":2},{"url":"c","order":3},{"url":5}]})")
            << empty
            << QStringList {QStringLiteral("c"), QStringLiteral("a"), QString(),
                   QStringLiteral("c"), QString()};
    }

    void compoundDetailsFromJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, imageUrls);

        const CompoundDetails d = ::compoundDetailsFromJson(object(json));
        QCOMPARE(fieldsOf(d), fields);
        QStringList urls;
        for (const CompoundImage &image : d.images)
            urls << image.url;
        QCOMPARE(urls, imageUrls);
    }

    void imageFromJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("order");

        const int max = std::numeric_limits<qint32>::max();
        const int min = std::numeric_limits<qint32>::min();
        QTest::newRow("all") << QByteArray(R"({"url":"u","caption":"c","order":2})")
                             << QStringLiteral("u") << QStringLiteral("c") << 2;
        QTest::newRow("caption of wrong type")
            << QByteArray(R"({"url":"u","caption":7})") << QStringLiteral("u") << QString() << 0;
        QTest::newRow("url null") << QByteArray(R"({"url":null})") << QString() << QString() << 0;
        const QList<QPair<const char *, int>> orders {{"2.0", 2}, {"-3", -3}, {"2.5", 0},
            {"-0.5", 0}, {"\"2\"", 0}, {"null", 0}, {"2147483647", max}, {"-2147483648", min},
            {"2147483648", 0}, {"-2147483649", 0}, {"4294967298", 0}, {"1e300", 0}};
        for (const auto &[value, expected] : orders) {
            QTest::addRow("order %s", value)
                << QByteArray("{\"order\":") + value + '}' << QString() << QString() << expected;
        }
    }

    void imageFromJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, url);
        QFETCH(QString, caption);
        QFETCH(int, order);

        const QJsonObject o = object(json);
        QVERIFY(!o.isEmpty());
        const CompoundImage image = compoundImageFromJson(o);
        QCOMPARE(image.url, url);
        QCOMPARE(image.caption, caption);
        QCOMPARE(image.order, order);
        // The same through the details record.
        const QJsonObject details {{QStringLiteral("images"), QJsonArray {o}}};
        QCOMPARE(::compoundDetailsFromJson(details).images.value(0).order, order);
    }

    void compoundDetailsToJson_data()
    {
        QTest::addColumn<CompoundDetails>("details");

        QTest::newRow("empty") << CompoundDetails();
        CompoundDetails full;
        full.kod = QStringLiteral("H2O");
        full.description = QStringLiteral("a\nb");
        full.cas = QStringLiteral("7732-18-5");
        full.msds_url = QStringLiteral("https://x/y?z=1");
        full.ghs = QStringLiteral("GHS07");
        full.storage = QStringLiteral("hűvös");
        full.density = QStringLiteral("1,0");
        full.melting_point = QStringLiteral("0");
        full.boiling_point = QStringLiteral("100");
        full.solubility = QStringLiteral("jó");
        full.notes = QStringLiteral(" ");
        full.images.append({QStringLiteral("u"), QStringLiteral("c"), 1});
        QTest::newRow("full with images") << full;
    }

    void compoundDetailsToJson()
    {
        QFETCH(CompoundDetails, details);

        const QJsonObject o = ::compoundDetailsToJson(details);
        QCOMPARE(sortedKeys(o),
            (QStringList {QStringLiteral("boiling_point"), QStringLiteral("cas"),
                QStringLiteral("density"), QStringLiteral("description"), QStringLiteral("ghs"),
                QStringLiteral("melting_point"), QStringLiteral("msds_url"),
                QStringLiteral("notes"), QStringLiteral("solubility"), QStringLiteral("storage")}));
        for (const QJsonValue &v : o)
            QVERIFY(v.isString());
        CompoundDetails expected = details;
        expected.kod.clear();
        expected.images.clear();
        const CompoundDetails back = ::compoundDetailsFromJson(o);
        QCOMPARE(fieldsOf(back), fieldsOf(expected));
        QVERIFY(back.images.isEmpty());
    }

    void userRowsFromJson_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QList<QStringList>>("rows");

        QTest::newRow("empty") << QByteArray("[]") << QList<QStringList>();
        QTest::newRow("a number, a string and one object")
            << QByteArray(
                   R"([1, "x", {"felhasznalonev":"anna","vezeteknev":"Kiss","keresztnev":"Anna",
                                       "szerepkor":"user","email":"a@b.hu"}])")
            << QList<QStringList> {{QStringLiteral("anna"), QStringLiteral("Kiss"),
                   QStringLiteral("Anna"), QStringLiteral("user"), QStringLiteral("a@b.hu")}};
        QTest::newRow("null email, others unaffected")
            << QByteArray(R"([{"felhasznalonev":"b","szerepkor":"bármi","email":null}])")
            << QList<QStringList> {
                   {QStringLiteral("b"), QString(), QString(), QStringLiteral("bármi"), QString()}};
        QTest::newRow("wrong types, empty rows and duplicates kept, order kept")
            << QByteArray(R"([{"felhasznalonev":"z"},{},{"felhasznalonev":3,"vezeteknev":[]},
                              {"felhasznalonev":"z"}])")
            << QList<QStringList> {
                   {QStringLiteral("z"), QString(), QString(), QString(), QString()},
                   QStringList(5), QStringList(5),
                   {QStringLiteral("z"), QString(), QString(), QString(), QString()}};
    }

    void userRowsFromJson()
    {
        QFETCH(QByteArray, json);
        QFETCH(QList<QStringList>, rows);

        QList<QStringList> got;
        for (const UserRow &row : ::userRowsFromJson(array(json)))
            got << fieldsOf(row);
        QCOMPARE(got, rows);
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
