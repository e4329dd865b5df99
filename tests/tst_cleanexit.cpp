#include "api/recordtypes.h"
#include "app/appcontroller.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "tests/rununtilquit.h"
#include "tests/testorigin.h"
#include "tests/visibletoplevels.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"
#include "update/startupgate.h"
#include "update/updatechecker.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define ORVANTIS_LEAK_CHECK 1
#endif

// One whole run of the client, wired as at start-up: the update check says
// there is nothing newer, a user signs in, the main window loads its list,
// the user logs out and cancels the next sign-in, and the program ends. Under
// LeakSanitizer nothing allocated on the way may be left unreachable.
namespace {

ScriptedResponse answer(const RecordedRequest &request)
{
    if (request.path() == "/releases/latest.json") {
        return ScriptedResponse::json(
            200, R"({"version":"0.1.6","notes":"","download_url":"setup/x.exe","sha256":"ab"})");
    }
    if (request.path() == "/api/v1/auth/login") {
        return ScriptedResponse::json(
            200, R"({"access_token":"tok","szerepkor":"admin","keresztnev":"Anna"})");
    }
    if (request.path() == "/api/v1/compounds") {
        return ScriptedResponse::json(200,
            R"([{"kod":"A1","nev":"Víz","keplet":"H2O","molaris_tomeg":"18.02","szin":"színtelen","halmazallapot":"folyékony"}])");
    }
    return ScriptedResponse::json(404, R"({"detail":"nincs"})");
}

ModalAnswerer::Answer signIn()
{
    return [](QWidget *w) {
        auto *dialog = qobject_cast<LoginDialog *>(w);
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit *>(QStringLiteral("usernameEdit"))
            ->setText(QStringLiteral("anna"));
        dialog->findChild<QLineEdit *>(QStringLiteral("passwordEdit"))
            ->setText(QStringLiteral("pw"));
        dialog->findChild<QPushButton *>(QStringLiteral("loginButton"))->click();
        return true;
    };
}

MainWindow *loadedMainWindow()
{
    for (MainWindow *window : visibleTopLevels<MainWindow>()) {
        if (window->findChild<QTableWidget *>(QStringLiteral("compoundTable"))->rowCount() > 0)
            return window;
    }
    return nullptr;
}

QStringList requestedPaths(const LoopbackServer &server)
{
    QStringList paths;
    for (const RecordedRequest &r : server.requests())
        paths << QString::fromLatin1(r.path());
    paths.removeDuplicates();
    return paths;
}

} // namespace

class TestCleanExit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setApplicationVersion(QStringLiteral("0.1.6"));
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        registerRecordTypes();
        QVERIFY(server.adoptListeningSocket(TestOriginSocket));
        server.setHandler(answer);
    }

    void startSignInLogoutQuit()
    {
        ModalAnswerer answerer;
        answerer.push(signIn());
        answerer.push(ModalAnswerer::reject()); // the sign-in after logging out

        // Logs out once the window shows its list.
        QTimer logout;
        logout.setInterval(10);
        connect(&logout, &QTimer::timeout, &logout, [&logout] {
            if (MainWindow *window = loadedMainWindow()) {
                logout.stop();
                window->findChild<QPushButton *>(QStringLiteral("logoutButton"))->click();
            }
        });

        auto *checker = new UpdateChecker(qApp);
        std::unique_ptr<AppController> controller;
        connectStartupGate(checker, [&controller, &logout] {
            logout.start();
            controller = std::make_unique<AppController>();
        });
        QVERIFY(runUntilQuit([checker] { checker->checkForUpdates(); }));
        controller.reset();
        delete checker;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        QStringList dialogs;
        for (const SeenModal &modal : answerer.seen())
            dialogs << modal.className;
        QCOMPARE(dialogs, QStringList({"LoginDialog", "LoginDialog"}));
        QCOMPARE(requestedPaths(server),
            QStringList({"/releases/latest.json", "/api/v1/auth/login", "/api/v1/compounds"}));
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    void cleanupTestCase()
    {
#ifdef ORVANTIS_LEAK_CHECK
        QCOMPARE(__lsan_do_recoverable_leak_check(), 0);
#endif
    }

private:
    QTemporaryDir settingsDir;
    LoopbackServer server;
};

QTEST_MAIN(TestCleanExit)
#include "tst_cleanexit.moc"
