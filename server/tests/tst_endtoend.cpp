// The client's own classes against the real server process over HTTPS:
// the update gate, sign-in, registration, compounds, details and user
// administration.
#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "api/serverorigin.h"
#include "server/tests/demoaccounts.h"
#include "server/tests/e2eorigin.h"
#include "server/tests/serverprocess.h"
#include "tests/installerstub.h"
#include "tests/rununtilquit.h"
#include "tests/scopedtemplocation.h"
#include "update/updatechecker.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Waits until one of the pair has fired; false when neither did in time.
bool waitForEither(const QSignalSpy &ok, const QSignalSpy &error)
{
    return QTest::qWaitFor([&] { return ok.count() + error.count() > 0; }, 20000);
}

QString firstArgument(const QSignalSpy &spy)
{
    return spy.isEmpty() ? QString() : spy.first().value(spy.first().size() - 1).toString();
}

// Signs in with a fresh client call; the token, or empty.
QString signIn(ApiClient &api, const QString &name, const QString &password)
{
    QSignalSpy ok(&api, &ApiClient::loginOk);
    QSignalSpy error(&api, &ApiClient::loginError);
    api.login(name, password);
    if (!waitForEither(ok, error) || ok.isEmpty())
        return {};
    const QString token = ok.first().at(0).toString();
    api.setToken(token);
    return token;
}

#define EXPECT_OK(api, okSignal, errorSignal, call)                                                \
    do {                                                                                           \
        QSignalSpy ok_(&(api), &ApiClient::okSignal);                                              \
        QSignalSpy error_(&(api), &ApiClient::errorSignal);                                        \
        call;                                                                                      \
        QVERIFY(waitForEither(ok_, error_));                                                       \
        QVERIFY2(error_.isEmpty(), qPrintable(firstArgument(error_)));                             \
        QCOMPARE(ok_.count(), 1);                                                                  \
    } while (false)

QList<Compound> fetchAll(ApiClient &api)
{
    QSignalSpy ok(&api, &ApiClient::compoundsOk);
    QSignalSpy error(&api, &ApiClient::compoundsError);
    api.fetchCompounds();
    if (!waitForEither(ok, error) || ok.isEmpty())
        return {};
    return ok.first().at(0).value<QList<Compound>>();
}

QList<Compound> search(ApiClient &api, const QString &query)
{
    QSignalSpy ok(&api, &ApiClient::compoundsSearchOk);
    QSignalSpy error(&api, &ApiClient::compoundsSearchError);
    api.searchCompounds(query);
    if (!waitForEither(ok, error) || ok.isEmpty())
        return {};
    return ok.first().at(0).value<QList<Compound>>();
}

const Compound *find(const QList<Compound> &list, const QString &kod)
{
    for (const Compound &c : list) {
        if (c.kod == kod)
            return &c;
    }
    return nullptr;
}
// The result points into the list, so the list must outlive it.
const Compound *find(QList<Compound> &&list, const QString &kod) = delete;

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void httpsWithoutTheLocalAuthorityIsRefused();
    void updateGateWithoutNewerRelease();
    void updateGateDownloadsVerifiesAndStartsANewerRelease();
    void updateGateRefusesATamperedInstaller();
    void signInForEachRole_data();
    void signInForEachRole();
    void registrationThenSignIn();
    void compoundsListSearchCreateUpdateDelete();
    void detailsFetchAndSave();
    void userAdministrationWithReauthentication();

private:
    void trustLocalAuthority();
    bool publish(const QString &version, const QString &installer);

    QTemporaryDir work;
    ServerProcess server;
    bool trusted = false;
};

void TestEndToEnd::initTestCase()
{
    registerRecordTypes();
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.6"));
    QVERIFY(EndToEndPort != 0);
    QProcess certs;
    certs.setProcessChannelMode(QProcess::MergedChannels);
    certs.start(QStringLiteral("bash"),
        {QStringLiteral(ORVANTIS_SOURCE_DIR "/tools/make-certs.sh"),
            work.filePath(QStringLiteral("certs"))});
    QVERIFY(certs.waitForFinished(60000));
    QVERIFY2(certs.exitCode() == 0, certs.readAll().constData());
    QVERIFY(server.startHttps(EndToEndPort, work.filePath(QStringLiteral("certs/server.pem")),
        work.filePath(QStringLiteral("certs/server.key"))));
}

void TestEndToEnd::cleanupTestCase()
{
    QVERIFY(server.stop());
}

void TestEndToEnd::trustLocalAuthority()
{
    if (trusted)
        return;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(work.filePath(QStringLiteral("certs/ca.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);
    trusted = true;
}

bool TestEndToEnd::publish(const QString &version, const QString &installer)
{
    QByteArray output;
    const int exitCode = ServerProcess::runToEnd(
        {QStringLiteral("publish"), QStringLiteral("--data-dir"), server.dataDir(),
            QStringLiteral("--version"), version, QStringLiteral("--notes"),
            QStringLiteral("Kiadás %1").arg(version), QStringLiteral("--installer"), installer},
        &output);
    if (exitCode != 0)
        qWarning("%s", output.constData());
    return exitCode == 0;
}

void TestEndToEnd::httpsWithoutTheLocalAuthorityIsRefused()
{
    if (trusted)
        QSKIP("The local authority is trusted already in this process.");
    ApiClient api;
    QSignalSpy ok(&api, &ApiClient::loginOk);
    QSignalSpy error(&api, &ApiClient::loginError);
    api.login(QStringLiteral("admin"), DemoAccounts::adminPassword());
    QVERIFY(waitForEither(ok, error));
    QVERIFY(ok.isEmpty());
    QVERIFY2(firstArgument(error).startsWith(QStringLiteral("Hibás válasz (nem JSON). HTTP=0")),
        qPrintable(firstArgument(error)));
    trustLocalAuthority();
}

void TestEndToEnd::updateGateWithoutNewerRelease()
{
    trustLocalAuthority();
    QVERIFY(publish(QStringLiteral("0.1.6"), QString()));
    UpdateChecker checker;
    QSignalSpy none(&checker, &UpdateChecker::noUpdate);
    QSignalSpy available(&checker, &UpdateChecker::updateAvailable);
    QSignalSpy error(&checker, &UpdateChecker::error);
    checker.checkForUpdates();
    QTRY_COMPARE_WITH_TIMEOUT(none.count() + available.count() + error.count(), 1, 20000);
    QVERIFY2(error.isEmpty(), qPrintable(firstArgument(error)));
    QCOMPARE(none.count(), 1);
}

void TestEndToEnd::updateGateDownloadsVerifiesAndStartsANewerRelease()
{
    trustLocalAuthority();
    InstallerStub stub;
    const QString installer = work.filePath(QStringLiteral("OrvantisClient-0.1.7-setup.exe"));
    QFile file(installer);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(stub.script());
    file.close();
    QVERIFY(publish(QStringLiteral("0.1.7"), installer));

    UpdateChecker checker;
    QSignalSpy available(&checker, &UpdateChecker::updateAvailable);
    QSignalSpy error(&checker, &UpdateChecker::error);
    checker.checkForUpdates();
    QTRY_COMPARE_WITH_TIMEOUT(available.count() + error.count(), 1, 20000);
    QVERIFY2(error.isEmpty(), qPrintable(firstArgument(error)));
    const QVariantList announced = available.first();
    QCOMPARE(announced.at(0).toString(), QStringLiteral("0.1.7"));
    QCOMPARE(announced.at(1).toString(), QStringLiteral("Kiadás 0.1.7"));
    QCOMPARE(announced.at(2).toString(), QStringLiteral("OrvantisClient-0.1.7-setup.exe"));
    QCOMPARE(announced.at(3).toString(), stub.sha256());
    QCOMPARE(announced.at(4).toBool(), true);

    ScopedTempLocation temp;
    QSignalSpy finished(&checker, &UpdateChecker::downloadFinished);
    QVERIFY(runUntilQuit([&] {
        checker.startDownload(announced.at(2).toString(), announced.at(3).toString(), QString());
    }));
    QVERIFY2(error.isEmpty(), qPrintable(firstArgument(error)));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().at(0).toString(),
        temp.filePath(QStringLiteral("OrvantisClient-0.1.7-setup.exe")));
    QTRY_VERIFY_WITH_TIMEOUT(stub.hasRun(), 10000);
    const QStringList recorded = stub.recorded();
    QCOMPARE(recorded.mid(0, 4),
        (QStringList {QStringLiteral("/VERYSILENT"), QStringLiteral("/SUPPRESSMSGBOXES"),
            QStringLiteral("/NORESTART"), QStringLiteral("/SP-")}));
    QVERIFY(recorded.value(4).startsWith(QStringLiteral("/DIR=")));
}

void TestEndToEnd::updateGateRefusesATamperedInstaller()
{
    trustLocalAuthority();
    InstallerStub stub;
    const QString installer = work.filePath(QStringLiteral("OrvantisClient-0.1.8-setup.exe"));
    QFile file(installer);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(stub.script());
    file.close();
    QVERIFY(publish(QStringLiteral("0.1.8"), installer));
    // The published copy changes after its digest was announced.
    QFile served(
        QDir(server.dataDir()).filePath(QStringLiteral("releases/OrvantisClient-0.1.8-setup.exe")));
    QVERIFY(served.open(QIODevice::Append));
    served.write("# tampered\n");
    served.close();

    UpdateChecker checker;
    QSignalSpy available(&checker, &UpdateChecker::updateAvailable);
    QSignalSpy error(&checker, &UpdateChecker::error);
    checker.checkForUpdates();
    QTRY_COMPARE_WITH_TIMEOUT(available.count(), 1, 20000);
    ScopedTempLocation temp;
    checker.startDownload(
        available.first().at(2).toString(), available.first().at(3).toString(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(error.count(), 1, 20000);
    QCOMPARE(firstArgument(error), QStringLiteral("SHA256 nem egyezik! (letöltés sérült?)"));
    QVERIFY(!stub.hasRun());
}

void TestEndToEnd::signInForEachRole_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("firstName");
    QTest::newRow("admin") << "admin" << DemoAccounts::adminPassword() << "Anna";
    QTest::newRow("editor") << "editor" << DemoAccounts::editorPassword() << "Péter";
    QTest::newRow("user") << "user" << DemoAccounts::userPassword() << "Éva";
}

void TestEndToEnd::signInForEachRole()
{
    trustLocalAuthority();
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, firstName);
    ApiClient api;
    QCOMPARE(api.baseUrl(), DefaultServerOrigin);
    QSignalSpy ok(&api, &ApiClient::loginOk);
    QSignalSpy error(&api, &ApiClient::loginError);
    api.login(name, password);
    QVERIFY(waitForEither(ok, error));
    QVERIFY2(error.isEmpty(), qPrintable(firstArgument(error)));
    QCOMPARE(ok.first().at(1).toString(), name); // the demo names equal their roles
    QCOMPARE(ok.first().at(2).toString(), firstName);

    api.login(name, password + QStringLiteral("x"));
    QTRY_COMPARE_WITH_TIMEOUT(error.count(), 1, 20000);
    QCOMPARE(firstArgument(error), QStringLiteral("Hibás felhasználónév vagy jelszó."));
}

void TestEndToEnd::registrationThenSignIn()
{
    trustLocalAuthority();
    ApiClient api;
    EXPECT_OK(api, registerOk, registerError,
        api.registerUser(QStringLiteral("vendég"), QStringLiteral("Vendég"),
            QStringLiteral("Vilma"), QStringLiteral("Vendég#2026"),
            QStringLiteral("vilma@example.org")));
    QSignalSpy duplicate(&api, &ApiClient::registerError);
    api.registerUser(QStringLiteral("vendég"), QStringLiteral("V"), QStringLiteral("V"),
        QStringLiteral("Vendég#2026"), QStringLiteral("v@example.org"));
    QTRY_COMPARE_WITH_TIMEOUT(duplicate.count(), 1, 20000);
    QVERIFY(
        firstArgument(duplicate).startsWith(QStringLiteral("Regisztráció sikertelen. HTTP=409\n")));

    QSignalSpy ok(&api, &ApiClient::loginOk);
    api.login(QStringLiteral("vendég"), QStringLiteral("Vendég#2026"));
    QTRY_COMPARE_WITH_TIMEOUT(ok.count(), 1, 20000);
    QCOMPARE(ok.first().at(1).toString(), QStringLiteral("user"));
    QCOMPARE(ok.first().at(2).toString(), QStringLiteral("Vilma"));
}

void TestEndToEnd::compoundsListSearchCreateUpdateDelete()
{
    trustLocalAuthority();
    ApiClient api;
    QVERIFY(!signIn(api, QStringLiteral("editor"), DemoAccounts::editorPassword()).isEmpty());
    const QList<Compound> initial = fetchAll(api);
    QVERIFY(initial.size() >= 40);

    Compound created;
    created.kod = QStringLiteral("E2E/1 ő?");
    created.nev = QStringLiteral("Próbavegyület");
    created.keplet = QStringLiteral("C3H8");
    created.molaris_tomeg = QStringLiteral("44.097");
    created.szin = QStringLiteral("színtelen");
    created.halmazallapot = QStringLiteral("gáz");
    EXPECT_OK(api, compoundWriteOk, compoundWriteError, api.createCompound(created));
    QSignalSpy duplicate(&api, &ApiClient::compoundWriteError);
    api.createCompound(created);
    QTRY_COMPARE_WITH_TIMEOUT(duplicate.count(), 1, 20000);
    QVERIFY(
        firstArgument(duplicate).startsWith(QStringLiteral("Sikertelen létrehozás. HTTP=409\n")));

    Compound updated = created;
    updated.nev = QStringLiteral("Átnevezett próbavegyület");
    EXPECT_OK(api, compoundWriteOk, compoundWriteError, api.updateCompound(created.kod, updated));
    const QList<Compound> afterUpdate = fetchAll(api);
    const Compound *listed = find(afterUpdate, created.kod);
    QVERIFY(listed);
    QCOMPARE(listed->nev, updated.nev);
    QCOMPARE(listed->molaris_tomeg, created.molaris_tomeg);

    const QList<Compound> byName = search(api, QStringLiteral("ÁTNEVEZETT"));
    QCOMPARE(byName.size(), 1);
    QCOMPARE(byName.first().kod, created.kod);
    QVERIFY(byName.first().base_hit);
    QVERIFY(!byName.first().details_hit);
    const QList<Compound> byCas = search(api, QStringLiteral("7664-93-9"));
    const Compound *acid = find(byCas, QStringLiteral("VEG-004"));
    QVERIFY(acid);
    QVERIFY(acid->details_hit);
    QVERIFY(!acid->base_hit);

    EXPECT_OK(api, compoundWriteOk, compoundWriteError, api.deleteCompound(created.kod));
    const QList<Compound> afterDelete = fetchAll(api);
    QVERIFY(!find(afterDelete, created.kod));
    QCOMPARE(fetchAll(api).size(), initial.size());

    // A reader may not write.
    ApiClient reader;
    QVERIFY(!signIn(reader, QStringLiteral("user"), DemoAccounts::userPassword()).isEmpty());
    QSignalSpy refused(&reader, &ApiClient::compoundWriteError);
    reader.deleteCompound(QStringLiteral("VEG-001"));
    QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 20000);
    QVERIFY(firstArgument(refused).startsWith(QStringLiteral("Sikertelen törlés. HTTP=403\n")));
}

void TestEndToEnd::detailsFetchAndSave()
{
    trustLocalAuthority();
    ApiClient api;
    QVERIFY(!signIn(api, QStringLiteral("editor"), DemoAccounts::editorPassword()).isEmpty());
    QSignalSpy ok(&api, &ApiClient::compoundDetailsOk);
    QSignalSpy error(&api, &ApiClient::compoundDetailsError);
    api.fetchCompoundDetails(QStringLiteral("VEG-001"));
    QVERIFY(waitForEither(ok, error));
    QVERIFY2(error.isEmpty(), qPrintable(firstArgument(error)));
    CompoundDetails water = ok.first().at(0).value<CompoundDetails>();
    QCOMPARE(water.kod, QStringLiteral("VEG-001"));
    QCOMPARE(water.cas, QStringLiteral("7732-18-5"));
    QCOMPARE(water.images.size(), 2);
    QVERIFY(water.images.first().url.startsWith(DefaultServerOrigin + QStringLiteral("/images/")));

    water.notes = QStringLiteral("Új megjegyzés\nkét sorban");
    water.density = QStringLiteral("1.000 g/cm³ (4 °C)");
    EXPECT_OK(api, compoundDetailsWriteOk, compoundDetailsWriteError,
        api.saveCompoundDetails(QStringLiteral("VEG-001"), water));
    ok.clear();
    api.fetchCompoundDetails(QStringLiteral("VEG-001"));
    QTRY_COMPARE_WITH_TIMEOUT(ok.count(), 1, 20000);
    const CompoundDetails saved = ok.first().at(0).value<CompoundDetails>();
    QCOMPARE(saved.notes, water.notes);
    QCOMPARE(saved.density, water.density);
    QCOMPARE(saved.cas, water.cas);
    QCOMPARE(saved.images.size(), 2);

    error.clear();
    api.fetchCompoundDetails(QStringLiteral("NINCS-ILYEN"));
    QTRY_COMPARE_WITH_TIMEOUT(error.count(), 1, 20000);
    QVERIFY(firstArgument(error).startsWith(
        QStringLiteral("Részletek lekérése sikertelen. HTTP=404\n")));
}

void TestEndToEnd::userAdministrationWithReauthentication()
{
    trustLocalAuthority();
    ApiClient newcomer;
    EXPECT_OK(newcomer, registerOk, registerError,
        newcomer.registerUser(QStringLiteral("gyakornok"), QStringLiteral("Gál"),
            QStringLiteral("Gellért"), QStringLiteral("Gyakornok#1"),
            QStringLiteral("gellert@example.org")));

    ApiClient admin;
    QVERIFY(!signIn(admin, QStringLiteral("admin"), DemoAccounts::adminPassword()).isEmpty());
    QSignalSpy users(&admin, &ApiClient::usersOk);
    admin.fetchUsers();
    QTRY_COMPARE_WITH_TIMEOUT(users.count(), 1, 20000);
    QVERIFY(users.first().at(0).value<QList<UserRow>>().size() >= 4);

    QSignalSpy updateError(&admin, &ApiClient::userUpdateError);
    admin.updateUser(QStringLiteral("gyakornok"), QStringLiteral("gyakornok"),
        QStringLiteral("Gál"), QStringLiteral("Gellért"), QStringLiteral("gellert@example.org"),
        QStringLiteral("editor"));
    QTRY_COMPARE_WITH_TIMEOUT(updateError.count(), 1, 20000);
    QVERIFY(updateError.first().at(1).toString().startsWith(
        QStringLiteral("Mentés sikertelen. HTTP=403\n")));

    QSignalSpy reauthError(&admin, &ApiClient::adminReauthError);
    admin.adminReauth(QStringLiteral("rossz jelszó"));
    QTRY_COMPARE_WITH_TIMEOUT(reauthError.count(), 1, 20000);
    EXPECT_OK(
        admin, adminReauthOk, adminReauthError, admin.adminReauth(DemoAccounts::adminPassword()));

    QSignalSpy updated(&admin, &ApiClient::userUpdateOk);
    admin.updateUser(QStringLiteral("gyakornok"), QStringLiteral("munkatárs"),
        QStringLiteral("Gál"), QStringLiteral("Gellért"), QStringLiteral("gg@example.org"),
        QStringLiteral("user"));
    QTRY_COMPARE_WITH_TIMEOUT(updated.count() + updateError.count(), 2, 20000);
    QCOMPARE(updated.count(), 1);
    QCOMPARE(updated.first().at(0).toString(), QStringLiteral("gyakornok"));

    QSignalSpy passwordSet(&admin, &ApiClient::passwordResetOk);
    QSignalSpy passwordError(&admin, &ApiClient::passwordResetError);
    admin.resetUserPassword(QStringLiteral("munkatárs"), QStringLiteral("Munkatárs#2"));
    QVERIFY(waitForEither(passwordSet, passwordError));
    QVERIFY2(passwordError.isEmpty(), qPrintable(firstArgument(passwordError)));
    QCOMPARE(passwordSet.first().at(0).toString(), QStringLiteral("munkatárs"));
    EXPECT_OK(admin, adminWriteOk, adminWriteError,
        admin.setUserRole(QStringLiteral("munkatárs"), QStringLiteral("editor")));

    ApiClient renamed;
    QVERIFY(signIn(renamed, QStringLiteral("gyakornok"), QStringLiteral("Gyakornok#1")).isEmpty());
    QVERIFY(signIn(renamed, QStringLiteral("munkatárs"), QStringLiteral("Gyakornok#1")).isEmpty());
    QSignalSpy ok(&renamed, &ApiClient::loginOk);
    renamed.login(QStringLiteral("munkatárs"), QStringLiteral("Munkatárs#2"));
    QTRY_COMPARE_WITH_TIMEOUT(ok.count(), 1, 20000);
    QCOMPARE(ok.first().at(1).toString(), QStringLiteral("editor"));
    QCOMPARE(ok.first().at(2).toString(), QStringLiteral("Gellért"));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
