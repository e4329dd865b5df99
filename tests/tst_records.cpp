#include "api/compound.h"
#include "api/compounddetails.h"
#include "api/recordtypes.h"
#include "api/userrow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaType>
#include <QTest>

#include <limits>

namespace {

QJsonDocument json(const char *text)
{
    return QJsonDocument::fromJson(text);
}

// Records written as their fields joined by "|", so a table row fits on a line.
QString joined(const Compound &c)
{
    return QStringList {c.kod, c.nev, c.keplet, c.molaris_tomeg, c.szin, c.halmazallapot,
        QLatin1String(c.details_hit ? "D" : "-") + QLatin1String(c.base_hit ? "B" : "-")}
        .join(QLatin1Char('|'));
}

QString joined(const CompoundDetails &d)
{
    QStringList fields {d.kod, d.description, d.cas, d.msds_url, d.ghs, d.storage, d.density,
        d.melting_point, d.boiling_point, d.solubility, d.notes};
    for (const CompoundImage &image : d.images)
        fields << image.url;
    return fields.join(QLatin1Char('|'));
}

QString joined(const UserRow &u)
{
    return QStringList {u.felhasznalonev, u.vezeteknev, u.keresztnev, u.szerepkor, u.email}.join(
        QLatin1Char('|'));
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

    void compoundsFromJson_data()
    {
        QTest::addColumn<QByteArray>("array");
        QTest::addColumn<bool>("search");
        QTest::addColumn<QStringList>("compounds");

        const auto add
            = [](const char *name, const char *array, bool search, const QStringList &compounds) {
                  QTest::newRow(name) << QByteArray(array) << search << compounds;
              };
        add("all text, untrimmed",
            R"([{"kod":" H2O ","nev":"víz","keplet":"H2O","molaris_tomeg":"18,02",
                 "szin":"színtelen","halmazallapot":"folyékony\n"}])",
            false, {QStringLiteral(" H2O |víz|H2O|18,02|színtelen|folyékony\n|-B")});
        add("wrong types and missing keys read as empty",
            R"([{"kod":1,"nev":true,"keplet":null,"molaris_tomeg":18.02,"szin":["a"],
                 "halmazallapot_x":"y"}])",
            false, {QStringLiteral("||||||-B")});
        add("list ignores flags", R"([{"details_hit":true,"base_hit":false}])", false,
            {QStringLiteral("||||||-B")});
        add("search reads flags", R"([{"details_hit":true,"base_hit":false}])", true,
            {QStringLiteral("||||||D-")});
        add("search, flags of wrong type", R"([{"details_hit":"true","base_hit":0}])", true,
            {QStringLiteral("||||||-B")});
        add("empty", "[]", true, {});
        add("non-objects skipped", R"([1, "x", null, true, [{"kod":"in"}], {"kod":"A"}])", true,
            {QStringLiteral("A||||||-B")});
        add("server order and duplicates kept", R"([{"kod":"C"},{"kod":"A"},{},{"kod":"C"}])",
            false,
            {QStringLiteral("C||||||-B"), QStringLiteral("A||||||-B"), QStringLiteral("||||||-B"),
                QStringLiteral("C||||||-B")});
    }

    void compoundsFromJson()
    {
        QFETCH(QByteArray, array);
        QFETCH(bool, search);
        QFETCH(QStringList, compounds);

        QVERIFY(QJsonDocument::fromJson(array).isArray());
        QStringList got;
        for (const Compound &c :
            ::compoundsFromJson(QJsonDocument::fromJson(array).array(), search))
            got << joined(c);
        QCOMPARE(got, compounds);
    }

    void compoundToJson()
    {
        const QJsonObject empty
            = json(R"({"kod":"","nev":"","keplet":"","molaris_tomeg":"","szin":"",
                     "halmazallapot":""})")
                  .object();
        QCOMPARE(::compoundToJson(Compound()), empty);
        Compound full;
        full.kod = QStringLiteral("H2O");
        full.nev = QStringLiteral(" víz ");
        full.keplet = QStringLiteral("H₂O");
        full.molaris_tomeg = QStringLiteral("18.02");
        full.szin = QStringLiteral("kék");
        full.halmazallapot = QStringLiteral("folyékony");
        full.details_hit = true;
        full.base_hit = false;
        // Exactly six keys: never the search flags.
        const QJsonObject expected
            = json(R"({"kod":"H2O","nev":" víz ","keplet":"H₂O","molaris_tomeg":"18.02",
                     "szin":"kék","halmazallapot":"folyékony"})")
                  .object();
        QCOMPARE(::compoundToJson(full), expected);
    }

    void compoundDetailsFromJson_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<QString>("details"); // the fields, then the image urls

        const QString none = QStringLiteral("||||||||||");
        QTest::newRow("all strings")
            << QByteArray(R"({"kod":"H2O","description":"a\nb","cas":"7732-18-5","msds_url":"u",
                             "ghs":"GHS07","storage":"hűvös","density":"1,0","melting_point":"0 °C",
                             "boiling_point":"100 °C","solubility":"-","notes":" "})")
            << QStringLiteral("H2O|a\nb|7732-18-5|u|GHS07|hűvös|1,0|0 °C|100 °C|-| ");
        QTest::newRow("numeric density, others unaffected") << QByteArray(
            R"({"cas":"7732-18-5","density":1.2})") << QStringLiteral("||7732-18-5||||||||");
        QTest::newRow("wrong types")
            << QByteArray(R"({"kod":null,"description":1,"cas":false,"msds_url":[],"ghs":{},
                             "storage":null,"notes":["x"]})")
            << none;
        QTest::newRow("images not an array") << QByteArray(R"({"images":{"url":"a"}})") << none;
        QTest::newRow("a string and one object")
            << QByteArray(R"({"images":["a.png",{"url":"b.png"}]})")
            << none + QStringLiteral("|b.png");
        QTest::newRow("order, duplicates and empty urls kept")
            << QByteArray(R"({"images":[{"url":"c","order":3},null,{"url":"a","order":1},
                                        {"order":2},{"url":"c","order":3},{"url":5}]})")
            << none + QStringLiteral("|c|a||c|");
    }

    void compoundDetailsFromJson()
    {
        QFETCH(QByteArray, object);
        QFETCH(QString, details);

        QVERIFY(QJsonDocument::fromJson(object).isObject());
        QCOMPARE(
            joined(::compoundDetailsFromJson(QJsonDocument::fromJson(object).object())), details);
    }

    void imageFromJson_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("order");

        QTest::newRow("all") << QByteArray(R"({"url":"u","caption":"c","order":2})")
                             << QStringLiteral("u") << QStringLiteral("c") << 2;
        QTest::newRow("caption of wrong type")
            << QByteArray(R"({"url":"u","caption":7})") << QStringLiteral("u") << QString() << 0;
        QTest::newRow("url null") << QByteArray(R"({"url":null})") << QString() << QString() << 0;
        // The order is 0 unless a whole 32-bit number.
        const QList<QPair<const char *, int>> orders {{"2.0", 2}, {"-3", -3}, {"2.5", 0},
            {"-0.5", 0}, {"\"2\"", 0}, {"null", 0},
            {"2147483647", std::numeric_limits<qint32>::max()},
            {"-2147483648", std::numeric_limits<qint32>::min()}, {"2147483648", 0},
            {"-2147483649", 0}, {"4294967298", 0}, {"1e300", 0}};
        for (const auto &[value, expected] : orders) {
            QTest::addRow("order %s", value)
                << QByteArray("{\"order\":") + value + '}' << QString() << QString() << expected;
        }
    }

    void imageFromJson()
    {
        QFETCH(QByteArray, object);
        QFETCH(QString, url);
        QFETCH(QString, caption);
        QFETCH(int, order);

        const QJsonObject o = QJsonDocument::fromJson(object).object();
        QVERIFY(!o.isEmpty());
        const CompoundImage image = compoundImageFromJson(o);
        QCOMPARE(image.url, url);
        QCOMPARE(image.caption, caption);
        QCOMPARE(image.order, order);
        // The same through the details record.
        const QJsonObject details {{QStringLiteral("images"), QJsonArray {o}}};
        QCOMPARE(::compoundDetailsFromJson(details).images.value(0).order, order);
    }

    void compoundDetailsToJson()
    {
        const QJsonObject empty
            = json(R"({"description":"","cas":"","msds_url":"","ghs":"","storage":"","density":"",
                     "melting_point":"","boiling_point":"","solubility":"","notes":""})")
                  .object();
        QCOMPARE(::compoundDetailsToJson(CompoundDetails()), empty);
        CompoundDetails full;
        full.kod = QStringLiteral("H2O");
        full.description = QStringLiteral("a\nb");
        full.cas = QStringLiteral("7732-18-5");
        full.msds_url = QStringLiteral("u?z=1");
        full.ghs = QStringLiteral("GHS07");
        full.storage = QStringLiteral("hűvös");
        full.density = QStringLiteral("1,0");
        full.melting_point = QStringLiteral("0");
        full.boiling_point = QStringLiteral("100");
        full.solubility = QStringLiteral("jó");
        full.notes = QStringLiteral(" ");
        full.images.append({QStringLiteral("u"), QStringLiteral("c"), 1});
        // Exactly ten keys: never the code or the images.
        const QJsonObject expected
            = json(R"({"description":"a\nb","cas":"7732-18-5","msds_url":"u?z=1","ghs":"GHS07",
                     "storage":"hűvös","density":"1,0","melting_point":"0","boiling_point":"100",
                     "solubility":"jó","notes":" "})")
                  .object();
        QCOMPARE(::compoundDetailsToJson(full), expected);
    }

    void userRowsFromJson_data()
    {
        QTest::addColumn<QByteArray>("array");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("empty") << QByteArray("[]") << QStringList();
        QTest::newRow("a number, a string and one object")
            << QByteArray(R"([1, "x", {"felhasznalonev":"anna","vezeteknev":"Kiss",
                             "keresztnev":"Anna","szerepkor":"user","email":"a@b.hu"}])")
            << QStringList {QStringLiteral("anna|Kiss|Anna|user|a@b.hu")};
        QTest::newRow("null email, others unaffected")
            << QByteArray(R"([{"felhasznalonev":"b","szerepkor":"bármi","email":null}])")
            << QStringList {QStringLiteral("b|||bármi|")};
        QTest::newRow("wrong types, empty rows and duplicates kept, order kept")
            << QByteArray(R"([{"felhasznalonev":"z"},{},{"felhasznalonev":3,"vezeteknev":[]},
                              {"felhasznalonev":"z"}])")
            << QStringList {QStringLiteral("z||||"), QStringLiteral("||||"), QStringLiteral("||||"),
                   QStringLiteral("z||||")};
    }

    void userRowsFromJson()
    {
        QFETCH(QByteArray, array);
        QFETCH(QStringList, rows);

        QVERIFY(QJsonDocument::fromJson(array).isArray());
        QStringList got;
        for (const UserRow &row : ::userRowsFromJson(QJsonDocument::fromJson(array).array()))
            got << joined(row);
        QCOMPARE(got, rows);
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
