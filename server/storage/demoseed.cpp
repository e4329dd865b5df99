#include "server/storage/demoseed.h"

#include "server/storage/database.h"
#include "server/storage/passwordhasher.h"

#include <QDir>
#include <QSaveFile>

namespace {

struct DemoCompound {
    const char *kod;
    const char *nev;
    const char *keplet;
    const char *molarisTomeg;
    const char *szin;
    const char *halmazallapot;
    const char *cas;
    const char *ghs;
    const char *density;
    const char *meltingPoint;
    const char *boilingPoint;
    const char *solubility;
    const char *description;
};

// Molar masses in g/mol; densities of gases at 0 °C and 101.3 kPa.
const DemoCompound Compounds[] = {
    {"VEG-001", "Víz", "H2O", "18.015", "színtelen", "folyékony", "7732-18-5", "nem veszélyes",
        "0.997 g/cm³ (25 °C)", "0 °C", "100 °C", "-",
        "Az élet oldószere; poláris, hidrogénkötésekre képes molekula."},
    {"VEG-002", "Nátrium-klorid", "NaCl", "58.44", "fehér", "szilárd", "7647-14-5", "nem veszélyes",
        "2.165 g/cm³", "801 °C", "1465 °C", "360 g/l víz (20 °C)",
        "Konyhasó; ionrácsos vegyület, köbös kristályokban."},
    {"VEG-003", "Etanol", "C2H5OH", "46.07", "színtelen", "folyékony", "64-17-5", "GHS02, GHS07",
        "0.789 g/cm³", "-114.1 °C", "78.37 °C", "vízzel korlátlanul elegyedik",
        "Tűzveszélyes, illékony alkohol; oldószer és fertőtlenítőszer."},
    {"VEG-004", "Kénsav", "H2SO4", "98.079", "színtelen", "folyékony", "7664-93-9", "GHS05",
        "1.83 g/cm³", "10.31 °C", "337 °C", "vízzel elegyedik (erősen exoterm)",
        "Erős, kétértékű ásványi sav; hígításkor a savat öntsük a vízbe."},
    {"VEG-005", "Hidrogén-klorid", "HCl", "36.46", "színtelen", "gáz", "7647-01-0",
        "GHS04, GHS05, GHS06", "1.49 g/l", "-114.2 °C", "-85.05 °C", "720 g/l víz (20 °C)",
        "Szúrós szagú gáz; vizes oldata a sósav."},
    {"VEG-006", "Nátrium-hidroxid", "NaOH", "39.997", "fehér", "szilárd", "1310-73-2", "GHS05",
        "2.13 g/cm³", "323 °C", "1388 °C", "1110 g/l víz (20 °C)",
        "Marónátron; erős bázis, levegőn nedvességet és szén-dioxidot köt meg."},
    {"VEG-007", "Szén-dioxid", "CO2", "44.009", "színtelen", "gáz", "124-38-9", "GHS04",
        "1.977 g/l", "-78.5 °C (szublimál)", "-", "1.45 g/l víz (25 °C)",
        "Szagtalan gáz; szilárd formája a szárazjég."},
    {"VEG-008", "Ammónia", "NH3", "17.031", "színtelen", "gáz", "7664-41-7",
        "GHS02, GHS04, GHS05, GHS06, GHS09", "0.73 g/l", "-77.73 °C", "-33.34 °C",
        "482 g/l víz (24 °C)", "Szúrós szagú, lúgos kémhatású gáz; a műtrágyagyártás alapanyaga."},
    {"VEG-009", "Metán", "CH4", "16.04", "színtelen", "gáz", "74-82-8", "GHS02, GHS04",
        "0.657 g/l (25 °C)", "-182.5 °C", "-161.5 °C", "22.7 mg/l víz",
        "A földgáz fő összetevője; a legegyszerűbb szénhidrogén."},
    {"VEG-010", "Glükóz", "C6H12O6", "180.156", "fehér", "szilárd", "50-99-7", "nem veszélyes",
        "1.54 g/cm³", "146 °C", "bomlik", "909 g/l víz (25 °C)",
        "Szőlőcukor; az élő szervezetek legfontosabb energiaforrása."},
    {"VEG-011", "Szacharóz", "C12H22O11", "342.30", "fehér", "szilárd", "57-50-1", "nem veszélyes",
        "1.587 g/cm³", "186 °C (bomlik)", "-", "2000 g/l víz (20 °C)",
        "Répacukor, nádcukor; glükózból és fruktózból álló diszacharid."},
    {"VEG-012", "Ecetsav", "CH3COOH", "60.052", "színtelen", "folyékony", "64-19-7", "GHS02, GHS05",
        "1.049 g/cm³", "16.6 °C", "118.1 °C", "vízzel elegyedik",
        "Szúrós szagú szerves sav; híg oldata az ecet."},
    {"VEG-013", "Salétromsav", "HNO3", "63.01", "színtelen", "folyékony", "7697-37-2",
        "GHS03, GHS05, GHS06", "1.51 g/cm³", "-42 °C", "83 °C", "vízzel elegyedik",
        "Erős, oxidáló sav; fény hatására bomlik, sárgás színű lesz."},
    {"VEG-014", "Kálium-permanganát", "KMnO4", "158.034", "sötétlila", "szilárd", "7722-64-7",
        "GHS03, GHS07, GHS08, GHS09", "2.7 g/cm³", "240 °C (bomlik)", "-", "64 g/l víz (20 °C)",
        "Erős oxidálószer; oldata mélylila."},
    {"VEG-015", "Réz(II)-szulfát-pentahidrát", "CuSO4·5H2O", "249.69", "kék", "szilárd",
        "7758-99-8", "GHS07, GHS09", "2.286 g/cm³", "110 °C (kristályvizet veszít)", "-",
        "320 g/l víz (20 °C)", "Rézgálic; kék kristályos só."},
    {"VEG-016", "Kalcium-karbonát", "CaCO3", "100.086", "fehér", "szilárd", "471-34-1",
        "nem veszélyes", "2.71 g/cm³", "825 °C (bomlik)", "-", "0.013 g/l víz (25 °C)",
        "A mészkő, a márvány és a kréta fő alkotója."},
    {"VEG-017", "Benzol", "C6H6", "78.114", "színtelen", "folyékony", "71-43-2",
        "GHS02, GHS07, GHS08", "0.8765 g/cm³", "5.53 °C", "80.1 °C", "1.8 g/l víz (15 °C)",
        "Aromás szénhidrogén; rákkeltő, csak elszívó fülkében használható."},
    {"VEG-018", "Aceton", "CH3COCH3", "58.08", "színtelen", "folyékony", "67-64-1", "GHS02, GHS07",
        "0.7845 g/cm³", "-94.7 °C", "56.05 °C", "vízzel elegyedik",
        "A legegyszerűbb keton; gyakori laboratóriumi oldószer."},
    {"VEG-019", "Metanol", "CH3OH", "32.04", "színtelen", "folyékony", "67-56-1",
        "GHS02, GHS06, GHS08", "0.792 g/cm³", "-97.6 °C", "64.7 °C", "vízzel elegyedik",
        "Faszesz; mérgező, lenyelve vakságot okozhat."},
    {"VEG-020", "Hidrogén-peroxid", "H2O2", "34.015", "színtelen", "folyékony", "7722-84-1",
        "GHS03, GHS05, GHS07", "1.45 g/cm³", "-0.43 °C", "150.2 °C", "vízzel elegyedik",
        "Oxidálószer és fehérítőszer; fény hatására bomlik."},
    {"VEG-021", "Nátrium-hidrogén-karbonát", "NaHCO3", "84.007", "fehér", "szilárd", "144-55-8",
        "nem veszélyes", "2.20 g/cm³", "50 °C felett bomlik", "-", "96 g/l víz (20 °C)",
        "Szódabikarbóna; sütőporok hatóanyaga."},
    {"VEG-022", "Kálium-klorid", "KCl", "74.555", "fehér", "szilárd", "7447-40-7", "nem veszélyes",
        "1.98 g/cm³", "770 °C", "1420 °C", "344 g/l víz (20 °C)",
        "Káliumsó; műtrágyák és sópótlók összetevője."},
    {"VEG-023", "Ezüst-nitrát", "AgNO3", "169.87", "színtelen", "szilárd", "7761-88-8",
        "GHS03, GHS05, GHS09", "4.35 g/cm³", "209.7 °C", "440 °C (bomlik)", "2160 g/l víz (20 °C)",
        "Pokolkő; fényérzékeny, a bőrt feketére festi."},
    {"VEG-024", "Vas(III)-oxid", "Fe2O3", "159.69", "vörösbarna", "szilárd", "1309-37-1",
        "nem veszélyes", "5.24 g/cm³", "1565 °C", "-", "vízben oldhatatlan",
        "A rozsda és a hematit fő alkotója; vörös pigment."},
    {"VEG-025", "Jód", "I2", "253.81", "sötétlila", "szilárd", "7553-56-2", "GHS07, GHS08, GHS09",
        "4.933 g/cm³", "113.7 °C", "184.3 °C", "0.3 g/l víz (20 °C)",
        "Halogén elem; melegítve lila gőzzé szublimál."},
    {"VEG-026", "Kén", "S", "32.06", "sárga", "szilárd", "7704-34-9", "GHS07", "2.07 g/cm³",
        "115.21 °C", "444.6 °C", "vízben oldhatatlan",
        "Sárga, rideg nemfém; a kénsavgyártás alapanyaga."},
    {"VEG-027", "Glicerin", "C3H8O3", "92.094", "színtelen", "folyékony", "56-81-5",
        "nem veszélyes", "1.261 g/cm³", "17.8 °C", "290 °C", "vízzel elegyedik",
        "Édeskés ízű, sűrűn folyó háromértékű alkohol."},
    {"VEG-028", "Koffein", "C8H10N4O2", "194.19", "fehér", "szilárd", "58-08-2", "GHS07",
        "1.23 g/cm³", "235 °C", "178 °C (szublimál)", "21.6 g/l víz (25 °C)",
        "Élénkítő hatású purinalkaloid; a kávé és a tea hatóanyaga."},
    {"VEG-029", "Acetilszalicilsav", "C9H8O4", "180.158", "fehér", "szilárd", "50-78-2", "GHS07",
        "1.40 g/cm³", "136 °C", "140 °C (bomlik)", "3 g/l víz (25 °C)",
        "Az aszpirin hatóanyaga; láz- és fájdalomcsillapító."},
    {"VEG-030", "Nitrogén", "N2", "28.014", "színtelen", "gáz", "7727-37-9", "GHS04", "1.251 g/l",
        "-210 °C", "-195.8 °C", "20 mg/l víz (20 °C)",
        "A levegő 78 százaléka; cseppfolyós formája hűtőközeg."},
    {"VEG-031", "Oxigén", "O2", "31.998", "színtelen", "gáz", "7782-44-7", "GHS03, GHS04",
        "1.429 g/l", "-218.79 °C", "-182.96 °C", "40 mg/l víz (20 °C)",
        "Az égést tápláló gáz; a légzéshez nélkülözhetetlen."},
    {"VEG-032", "Klór", "Cl2", "70.90", "sárgászöld", "gáz", "7782-50-5",
        "GHS03, GHS04, GHS06, GHS09", "3.2 g/l", "-101.5 °C", "-34.04 °C", "7.3 g/l víz (20 °C)",
        "Fojtó szagú, mérgező halogén gáz; vízfertőtlenítésre használják."},
    {"VEG-033", "Hélium", "He", "4.0026", "színtelen", "gáz", "7440-59-7", "GHS04", "0.1786 g/l",
        "-", "-268.93 °C", "1.5 mg/l víz (20 °C)",
        "Nemesgáz; a cseppfolyós hélium a legmélyebb hőmérsékletű hűtőközeg."},
    {"VEG-034", "Higany", "Hg", "200.59", "ezüstös", "folyékony", "7439-97-6",
        "GHS06, GHS08, GHS09", "13.534 g/cm³", "-38.83 °C", "356.73 °C", "vízben oldhatatlan",
        "Szobahőmérsékleten folyékony fém; gőze mérgező."},
    {"VEG-035", "Réz", "Cu", "63.546", "vörösbarna", "szilárd", "7440-50-8", "nem veszélyes",
        "8.96 g/cm³", "1084.62 °C", "2562 °C", "vízben oldhatatlan",
        "Jó elektromos vezető; vezetékek és ötvözetek fémje."},
    {"VEG-036", "Vas", "Fe", "55.845", "szürke", "szilárd", "7439-89-6", "nem veszélyes",
        "7.874 g/cm³", "1538 °C", "2862 °C", "vízben oldhatatlan",
        "A legtöbbet használt fém; az acél alapja."},
    {"VEG-037", "Arany", "Au", "196.97", "sárga", "szilárd", "7440-57-5", "nem veszélyes",
        "19.3 g/cm³", "1064.18 °C", "2970 °C", "csak királyvízben oldódik",
        "Nemesfém; nem oxidálódik, kiválóan nyújtható."},
    {"VEG-038", "Kálium-nitrát", "KNO3", "101.10", "fehér", "szilárd", "7757-79-1", "GHS03",
        "2.109 g/cm³", "334 °C", "400 °C (bomlik)", "316 g/l víz (20 °C)",
        "Salétrom; oxidálószer, a fekete lőpor összetevője."},
    {"VEG-039", "Magnézium-szulfát", "MgSO4", "120.37", "fehér", "szilárd", "7487-88-9",
        "nem veszélyes", "2.66 g/cm³", "1124 °C (bomlik)", "-", "351 g/l víz (20 °C)",
        "Keserűsó (heptahidrát formában); hashajtó és fürdősó."},
    {"VEG-040", "Kalcium-oxid", "CaO", "56.077", "fehér", "szilárd", "1305-78-8", "GHS05, GHS07",
        "3.34 g/cm³", "2613 °C", "2850 °C", "vízzel hevesen reagál",
        "Égetett mész; vízzel oltott meszet képez."},
    {"VEG-041", "Nátrium-karbonát", "Na2CO3", "105.99", "fehér", "szilárd", "497-19-8", "GHS07",
        "2.54 g/cm³", "851 °C", "bomlik", "215 g/l víz (20 °C)",
        "Szóda; üveggyártás és vízlágyítás alapanyaga."},
    {"VEG-042", "Etilén", "C2H4", "28.054", "színtelen", "gáz", "74-85-1", "GHS02, GHS07",
        "1.178 g/l", "-169.2 °C", "-103.7 °C", "131 mg/l víz (25 °C)",
        "Etén; a polietilén monomerje és növényi hormon."},
    {"VEG-043", "Toluol", "C7H8", "92.141", "színtelen", "folyékony", "108-88-3",
        "GHS02, GHS07, GHS08", "0.8623 g/cm³", "-95 °C", "110.6 °C", "0.52 g/l víz (20 °C)",
        "Aromás oldószer; festékek és ragasztók hígítója."},
    {"VEG-044", "Szén-tetraklorid", "CCl4", "153.81", "színtelen", "folyékony", "56-23-5",
        "GHS06, GHS08", "1.5867 g/cm³", "-22.92 °C", "76.72 °C", "0.8 g/l víz (25 °C)",
        "Nem éghető, de mérgező oldószer; az ózonréteget károsítja."},
    {"VEG-045", "Cink-oxid", "ZnO", "81.38", "fehér", "szilárd", "1314-13-2", "GHS09", "5.61 g/cm³",
        "1974 °C", "-", "vízben oldhatatlan", "Fehér pigment; kenőcsök és napvédők összetevője."},
    {"VEG-046", "Kén-dioxid", "SO2", "64.066", "színtelen", "gáz", "7446-09-5",
        "GHS04, GHS05, GHS06", "2.619 g/l", "-72 °C", "-10 °C", "94 g/l víz (25 °C)",
        "Szúrós szagú gáz; borok tartósítója, a savas eső okozója."},
    {"VEG-047", "Foszforsav", "H3PO4", "97.994", "színtelen", "szilárd", "7664-38-2", "GHS05",
        "1.834 g/cm³", "42.35 °C", "407 °C (bomlik)", "5480 g/l víz (20 °C)",
        "Ortofoszforsav; üdítőitalok savanyítója, rozsdaátalakító."},
    {"VEG-048", "Acetilén", "C2H2", "26.038", "színtelen", "gáz", "74-86-2", "GHS02", "1.097 g/l",
        "-80.8 °C", "-84 °C (szublimál)", "1.2 g/l víz (20 °C)",
        "Etin; hegesztőgáz, nyomás alatt acetonban oldva tárolják."},
};

QString storageFor(const QString &ghs, const QString &state)
{
    if (ghs.contains(QLatin1String("GHS02")))
        return QStringLiteral(
            "Hűvös, jól szellőző helyen, gyújtóforrástól távol, szorosan lezárva.");
    if (ghs.contains(QLatin1String("GHS05")))
        return QStringLiteral(
            "Savakkal és lúgokkal szemben ellenálló edényben, elkülönítve, zárva.");
    if (state == QStringLiteral("gáz"))
        return QStringLiteral("Nyomástartó palackban, álló helyzetben rögzítve, hőtől védve.");
    return QStringLiteral("Szárazon, jól zárt edényben, szobahőmérsékleten.");
}

// A small tile with the compound's name and formula.
QByteArray svgFor(const DemoCompound &c, const char *fill)
{
    QString formula;
    for (const QChar ch : QString::fromUtf8(c.keplet)) {
        if (ch.isDigit())
            formula += QStringLiteral("<tspan baseline-shift=\"sub\" font-size=\"18\">%1</tspan>")
                           .arg(ch);
        else
            formula += ch;
    }
    return QStringLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"240\" height=\"160\" "
        "viewBox=\"0 0 240 160\">\n"
        "<rect x=\"4\" y=\"4\" width=\"232\" height=\"152\" rx=\"16\" fill=\"%1\" "
        "stroke=\"#33475b\" stroke-width=\"4\"/>\n"
        "<text x=\"120\" y=\"82\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"34\" "
        "text-anchor=\"middle\" fill=\"#102030\">%2</text>\n"
        "<text x=\"120\" y=\"128\" font-family=\"DejaVu Sans, sans-serif\" font-size=\"20\" "
        "text-anchor=\"middle\" fill=\"#102030\">%3</text>\n"
        "</svg>\n")
        .arg(QLatin1String(fill), formula, QString::fromUtf8(c.nev))
        .toUtf8();
}

QString writeImage(const QString &imagesDir, const QString &fileName, const QByteArray &content)
{
    QSaveFile file(QDir(imagesDir).filePath(fileName));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return QStringLiteral("cannot write the image %1").arg(file.fileName());
    return {};
}

struct DemoAccount {
    const char *name;
    const char *lastName;
    const char *firstName;
    const char *email;
    const char *role;
    const char *password;
};

const DemoAccount Accounts[] = {
    {"admin", "Kovács", "Anna", "admin@orvantis.example", "admin", "Admin#2026"},
    {"editor", "Szabó", "Péter", "editor@orvantis.example", "editor", "Editor#2026"},
    {"user", "Nagy", "Éva", "user@orvantis.example", "user", "User#2026"},
};

} // namespace

QString DemoSeed::fill(Database &database, const QString &imagesDir)
{
    if (database.hasCompounds())
        return {};
    if (!QDir().mkpath(imagesDir))
        return QStringLiteral("cannot create %1").arg(imagesDir);

    for (const DemoCompound &c : Compounds) {
        const QStringList base = {QString::fromUtf8(c.kod), QString::fromUtf8(c.nev),
            QString::fromUtf8(c.keplet), QString::fromUtf8(c.molarisTomeg),
            QString::fromUtf8(c.szin), QString::fromUtf8(c.halmazallapot)};
        if (database.insertCompound(base) != Database::WriteResult::Ok)
            return QStringLiteral("cannot store %1: %2").arg(base.at(0), database.errorText());
        const QString ghs = QString::fromUtf8(c.ghs);
        const QStringList details = {
            QString::fromUtf8(c.description),
            QString::fromUtf8(c.cas),
            QStringLiteral("https://pubchem.ncbi.nlm.nih.gov/#query=%1")
                .arg(QString::fromUtf8(c.cas)),
            ghs,
            storageFor(ghs, base.at(5)),
            QString::fromUtf8(c.density),
            QString::fromUtf8(c.meltingPoint),
            QString::fromUtf8(c.boilingPoint),
            QString::fromUtf8(c.solubility),
            QStringLiteral("Demó adat."),
        };
        if (database.saveDetails(base.at(0), details) != Database::WriteResult::Ok)
            return QStringLiteral("cannot store the details of %1").arg(base.at(0));
    }

    // Images for a few compounds: a tile and, for water, a second one.
    const struct {
        int index;
        const char *fill;
        const char *caption;
    } images[] = {
        {0, "#cfe8ff", "Víz – képlet"},
        {0, "#e6f4ff", "Víz – második kép"},
        {2, "#fff2cc", "Etanol – képlet"},
        {3, "#ffd6d6", "Kénsav – képlet"},
        {9, "#e2f7d9", "Glükóz – képlet"},
        {27, "#eadcff", "Koffein – képlet"},
    };
    int order = 0;
    QString previous;
    for (const auto &image : images) {
        const DemoCompound &c = Compounds[image.index];
        const QString kod = QString::fromUtf8(c.kod);
        order = kod == previous ? order + 1 : 1;
        previous = kod;
        const QString fileName = QStringLiteral("%1-%2.svg").arg(kod.toLower()).arg(order);
        const QString problem = writeImage(imagesDir, fileName, svgFor(c, image.fill));
        if (!problem.isEmpty())
            return problem;
        if (database.addImage(kod, fileName, QString::fromUtf8(image.caption), order)
            != Database::WriteResult::Ok)
            return QStringLiteral("cannot store an image of %1").arg(kod);
    }

    for (const DemoAccount &a : Accounts) {
        if (database.userByName(QString::fromUtf8(a.name)))
            continue;
        UserRecord user;
        user.felhasznalonev = QString::fromUtf8(a.name);
        user.vezeteknev = QString::fromUtf8(a.lastName);
        user.keresztnev = QString::fromUtf8(a.firstName);
        user.email = QString::fromUtf8(a.email);
        user.szerepkor = QString::fromUtf8(a.role);
        user.passwordHash = PasswordHasher::hash(QString::fromUtf8(a.password));
        if (user.passwordHash.isEmpty() || database.insertUser(user) != Database::WriteResult::Ok)
            return QStringLiteral("cannot store the account %1").arg(user.felhasznalonev);
    }
    return {};
}

QString DemoSeed::addGenerated(Database &database, int count)
{
    const int known = int(std::size(Compounds));
    for (int i = 1; i <= count; ++i) {
        const DemoCompound &c = Compounds[i % known];
        const QStringList base = {QStringLiteral("GEN-%1").arg(i, 5, 10, QLatin1Char('0')),
            QStringLiteral("%1 %2. minta").arg(QString::fromUtf8(c.nev)).arg(i),
            QString::fromUtf8(c.keplet), QString::fromUtf8(c.molarisTomeg),
            QString::fromUtf8(c.szin), QString::fromUtf8(c.halmazallapot)};
        const Database::WriteResult result = database.insertCompound(base);
        if (result != Database::WriteResult::Ok && result != Database::WriteResult::Duplicate)
            return QStringLiteral("cannot store %1").arg(base.at(0));
    }
    return {};
}
