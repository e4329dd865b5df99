// The client's own classes against the real server over HTTPS: the update
// gate, each role signing in, compounds with their details and user
// administration.
#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "app/appversion.h"
#include "server/tests/serverprocess.h"
#include "update/updatechecker.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <deque>

class TestEndToEnd : public QObject {
    Q_OBJECT

    ServerProcess server;
    QTemporaryDir temp; // the platform's temporary location while the suite runs
    std::unique_ptr<ApiClient> api;

    QVariantList answer; // the arguments of the last answer

    static bool write(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    // Calls an operation of the client and waits for its next signal: the
    // signal's name and text arguments. A sign-in's token is kept, not shown.
    template<typename... Parameters, typename... Arguments>
    QString ask(void (ApiClient::*operation)(Parameters...), const Arguments &...arguments)
    {
        const QMetaObject &meta = ApiClient::staticMetaObject; // signals only
        std::deque<QSignalSpy> spies;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            spies.emplace_back(api.get(), meta.method(i));
        (api.get()->*operation)(arguments...);
        const auto fired = std::mem_fn(&QSignalSpy::size);
        if (!QTest::qWaitFor([&] { return std::any_of(spies.begin(), spies.end(), fired); }, 20000))
            return {};
        const QSignalSpy &spy = *std::find_if(spies.begin(), spies.end(), fired);
        QString text = spy.signal().left(spy.signal().indexOf('('));
        answer = spy.first();
        if (text == "loginOk")
            api->setToken(answer.takeFirst().toString());
        for (const QVariant &argument : std::as_const(answer))
            text += argument.typeId() == QMetaType::QString ? ' ' + argument.toString() : "";
        return text;
    }

private slots:
    void initTestCase()
    {
        registerRecordTypes();
        QCoreApplication::setApplicationVersion(ORVANTIS_VERSION);
        QStandardPaths::setTestModeEnabled(true);
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        const QString certs = temp.filePath("certs/");
        QCOMPARE(QProcess::execute("bash", {ORVANTIS_SOURCE_DIR "/tools/make-certs.sh", certs}), 0);
        QVERIFY(server.start({"--cert", certs + "server.pem", "--key", certs + "server.key"}));
        api = std::make_unique<ApiClient>(server.origin);
        // Until the test authority is trusted the server's certificate is refused.
        QVERIFY(ask(&ApiClient::login, "user", "User#2026").contains("HTTP=0"));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(certs + "ca.pem");
        QSslConfiguration::setDefaultConfiguration(tls);
        api = std::make_unique<ApiClient>(server.origin); // no connection kept from before
        QCOMPARE(ask(&ApiClient::login, "user", "User#2026"), "loginOk user Éva");
    }

    void cleanupTestCase()
    {
        QVERIFY(server.stop());
    }

    void updateGate_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("error");
        QTest::newRow("no newer release") << ORVANTIS_VERSION << QString();
        QTest::newRow("newer release") << "999.0" << QString();
        QTest::newRow("tampered") << "999.1" << QString("SHA256 nem egyezik! (letöltés sérült?)");
    }

    void updateGate()
    {
        QFETCH(QString, version);
        QFETCH(QString, error);
        // Stands in for the installer: leaves a file behind when it is started.
        const QString ran = temp.filePath("ran-" + version);
        const QByteArray stub = "#!/bin/sh\ntouch '" + QFile::encodeName(ran) + "'\n";
        const QString name = "OrvantisClient-" + version + "-setup.exe";
        const QJsonObject feed {{"version", version}, {"download_url", name},
            {"sha256", QCryptographicHash::hash(stub, QCryptographicHash::Sha256).toHex().data()}};
        QVERIFY(QDir(server.dir.path()).mkpath("releases"));
        QVERIFY(write(server.dir.filePath("releases/latest.json"), QJsonDocument(feed).toJson()));
        QVERIFY(
            write(server.dir.filePath("releases/" + name), stub + (error.isEmpty() ? "" : " ")));

        // A started installer ends the program, as do a refusal and no newer release.
        UpdateChecker checker(server.origin);
        QSignalSpy none(&checker, &UpdateChecker::noUpdate);
        QSignalSpy errors(&checker, &UpdateChecker::error);
        connect(&checker, &UpdateChecker::noUpdate, &checker, &QCoreApplication::quit);
        connect(&checker, &UpdateChecker::error, &checker, &QCoreApplication::quit);
        connect(&checker, &UpdateChecker::updateAvailable, &checker,
            [&](auto, auto, auto url, auto sha256) { checker.startDownload(url, sha256, {}); });
        QTimer::singleShot(0, &checker, &UpdateChecker::checkForUpdates);
        QTimer::singleShot(20000, &checker, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(none.size(), int(version == ORVANTIS_VERSION));
        QCOMPARE(errors.value(0).value(0).toString(), error);
        QTRY_COMPARE_WITH_TIMEOUT(QFile::exists(ran), none.isEmpty() && errors.isEmpty(), 20000);
    }

    void compoundsWithDetails()
    {
        QCOMPARE(ask(&ApiClient::login, "editor", "Editor#2026"), "loginOk editor Péter");
        Compound c {"E2E/1 ő?", "Próba", {}, {}, {}, {}};
        QCOMPARE(ask(&ApiClient::createCompound, c), "compoundWriteOk");
        QCOMPARE(ask(&ApiClient::searchCompounds, "PRÓBA"), "compoundsSearchOk");
        QCOMPARE(answer[0].value<QList<Compound>>().value(0).kod, c.kod);
        const CompoundDetails details {c.kod, "két\nsor", {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
        QCOMPARE(ask(&ApiClient::saveCompoundDetails, c.kod, details), "compoundDetailsWriteOk");
        QCOMPARE(ask(&ApiClient::fetchCompoundDetails, c.kod), "compoundDetailsOk");
        QCOMPARE(answer[0].value<CompoundDetails>().description, details.description);
        QCOMPARE(ask(&ApiClient::fetchCompoundDetails, "VEG-001"), "compoundDetailsOk");
        QCOMPARE(answer[0].value<CompoundDetails>().images.value(0).url,
            server.origin + "/images/veg-001-1.svg");
        QCOMPARE(ask(&ApiClient::deleteCompound, c.kod), "compoundWriteOk");
        QVERIFY(ask(&ApiClient::fetchCompoundDetails, c.kod).contains("HTTP=404"));
    }

    void userAdministration()
    {
        QCOMPARE(ask(&ApiClient::login, "admin", "Admin#2026"), "loginOk admin Anna");
        QCOMPARE(ask(&ApiClient::adminReauth, "Admin#2026"), "adminReauthOk");
        QCOMPARE(ask(&ApiClient::updateUser, "user", "uli", "Nagy", "Éva", "e@x.hu", "editor"),
            "userUpdateOk user");
        QCOMPARE(ask(&ApiClient::resetUserPassword, "uli", "Uli#20267"), "passwordResetOk uli");
        QCOMPARE(ask(&ApiClient::login, "uli", "Uli#20267"), "loginOk editor Éva");
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
