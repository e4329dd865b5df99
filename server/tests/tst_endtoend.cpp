// The client's own classes against the real server over HTTPS: each role
// signing in, compounds with their details and user administration.
#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "server/tests/serverprocess.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <deque>

class TestEndToEnd : public QObject {
    Q_OBJECT

    ServerProcess server;
    QTemporaryDir temp; // of the test certificates
    std::unique_ptr<ApiClient> api;

    QVariantList answer; // the arguments of the last answer

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
        QStandardPaths::setTestModeEnabled(true);
        const QString certs = temp.filePath("certs/");
        QCOMPARE(QProcess::execute("bash", {ORVANTIS_SOURCE_DIR "/tools/make-certs.sh", certs}), 0);
        QVERIFY(server.start({"--cert", certs + "server.pem", "--key", certs + "server.key"}));
        api = std::make_unique<ApiClient>(server.origin);
        // Until the test authority is trusted the server's certificate is refused.
        QVERIFY(ask(&ApiClient::login, "user", "User#2026").contains("HTTP=0"));
        api = std::make_unique<ApiClient>(server.origin); // no connection kept from before
        api->setOriginAuthorities(certs + "ca.pem");
        QCOMPARE(ask(&ApiClient::login, "user", "User#2026"), "loginOk user Éva");
    }

    void cleanupTestCase()
    {
        QVERIFY(server.stop());
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
