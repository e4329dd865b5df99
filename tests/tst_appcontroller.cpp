#include "api/serverorigin.h"
#include "app/appcontroller.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "tests/rununtilquit.h"
#include "tests/testorigin.h"
#include "tests/visibletoplevels.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QByteArray LoginPath = "/api/v1/auth/login";

const QMap<QString, QByteArray> Accounts {
    {"anna", R"({"access_token":"tok-anna","szerepkor":"editor","keresztnev":"Anna"})"},
    {"bea", R"({"access_token":"tok-bea","szerepkor":"admin","keresztnev":""})"}};

ScriptedResponse answer(const RecordedRequest &request)
{
    if (request.path() != LoginPath)
        return ScriptedResponse::json(200, "[]");
    const QString name
        = QJsonDocument::fromJson(request.body).object().value("felhasznalonev").toString();
    return Accounts.contains(name) ? ScriptedResponse::json(200, Accounts.value(name))
                                   : ScriptedResponse::json(401, R"({"detail":"ismeretlen"})");
}

QList<RecordedRequest> loginRequests(const LoopbackServer &server)
{
    QList<RecordedRequest> found;
    for (const RecordedRequest &r : server.requests()) {
        if (r.path() == LoginPath)
            found.append(r);
    }
    return found;
}

QList<MainWindow *> visibleMainWindows()
{
    return visibleTopLevels<MainWindow>();
}

// Signs in through the login dialog the way a user does; `seenFields`
// receives what the dialog's fields held when it appeared.
ModalAnswerer::Answer signIn(const QString &username, QStringList *seenFields = nullptr)
{
    return [=](QWidget *w) {
        auto *dialog = qobject_cast<LoginDialog *>(w);
        if (!dialog)
            return false;
        auto *usernameEdit = dialog->findChild<QLineEdit *>("usernameEdit");
        auto *passwordEdit = dialog->findChild<QLineEdit *>("passwordEdit");
        if (seenFields)
            *seenFields << usernameEdit->text() << passwordEdit->text();
        usernameEdit->setText(username);
        passwordEdit->setText(QStringLiteral(" pw "));
        dialog->findChild<QPushButton *>("loginButton")->click();
        return true;
    };
}

enum Ending { CancelBeforeLoop, CancelInLoop, CancelAfterLogout, CloseWindow };

} // namespace

class TestAppController : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setQuitOnLastWindowClosed(false);
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QVERIFY(origin.adoptListeningSocket(TestOriginSocket));
        origin.setHandler(answer);
    }

    void init()
    {
        origin.clearRequests();
        answerer = std::make_unique<ModalAnswerer>();
    }

    void cycle()
    {
        QSettings settings(QStringLiteral("Orvantis"), QStringLiteral("OrvantisClient"));
        settings.setValue(QStringLiteral("api/base_url"), QStringLiteral("https://old.example"));
        answerer->push(signIn(QStringLiteral("  anna ")));
        QPointer<MainWindow> second;
        {
            AppController controller;

            QCOMPARE(
                settings.value(QStringLiteral("api/base_url")).toString(), DefaultServerOrigin);
            QCOMPARE(visibleMainWindows().size(), 1);
            QPointer<MainWindow> first = visibleMainWindows().first();
            QCOMPARE(first->windowTitle(), QStringLiteral("Orvantis - anna (editor)"));
            QVERIFY(welcomeShows(first, QStringLiteral("Üdvözlöm, Anna!")));
            QCOMPARE(QJsonDocument::fromJson(loginRequests(origin).first().body)
                         .object()
                         .value("jelszo")
                         .toString(),
                QStringLiteral(" pw "));
            // The window's own first request is authorised.
            QTRY_VERIFY(origin.requests().size() >= 2);
            QCOMPARE(
                origin.requests().at(1).header("authorization"), QByteArray("Bearer tok-anna"));

            QStringList fieldsOfSecondDialog;
            answerer->push(signIn(QStringLiteral("bea"), &fieldsOfSecondDialog));
            const int modalsBefore = answerer->seen().size();
            emit first->logoutRequested();
            emit first->logoutRequested(); // a double click must not give two dialogs
            QVERIFY(!first.isNull());
            QVERIFY(!first->isVisible());
            QCOMPARE(answerer->seen().size(), modalsBefore);

            QTRY_VERIFY(first.isNull());
            QTRY_COMPARE(visibleMainWindows().size(), 1);
            second = visibleMainWindows().first();
            QCOMPARE(fieldsOfSecondDialog, QStringList({"", ""}));
            QCOMPARE(answerer->seen().size(), modalsBefore + 1);
            QCOMPARE(second->windowTitle(), QStringLiteral("Orvantis - bea (admin)"));
            QVERIFY(welcomeShows(second, QStringLiteral("Üdvözlöm, bea!")));
            const QList<RecordedRequest> logins = loginRequests(origin);
            QCOMPARE(logins.size(), 2);
            QVERIFY(!logins.at(1).hasHeader("authorization"));
        }
        QVERIFY(second.isNull());
    }

    void quits_data()
    {
        QTest::addColumn<int>("ending");
        QTest::newRow("login cancelled before the event loop runs") << int(CancelBeforeLoop);
        QTest::newRow("login cancelled from the event loop") << int(CancelInLoop);
        QTest::newRow("login cancelled after logout") << int(CancelAfterLogout);
        QTest::newRow("main window closed") << int(CloseWindow);
    }

    void quits()
    {
        QFETCH(int, ending);

        const bool signedIn = ending == CancelAfterLogout || ending == CloseWindow;
        answerer->push(signedIn ? signIn(QStringLiteral("anna")) : ModalAnswerer::reject());
        answerer->push(ModalAnswerer::reject());
        std::unique_ptr<AppController> controller;
        const auto start = [&] {
            controller = std::make_unique<AppController>();
        };
        if (ending != CancelInLoop)
            start();
        QCOMPARE(visibleMainWindows().size(), signedIn ? 1 : 0);
        QPointer<MainWindow> window = visibleMainWindows().value(0);

        QVERIFY(runUntilQuit([&] {
            if (ending == CancelInLoop)
                start();
            else if (ending == CancelAfterLogout)
                emit window->logoutRequested();
            else if (ending == CloseWindow)
                window->close();
        }));
        QVERIFY(visibleMainWindows().isEmpty());
        QCOMPARE(loginRequests(origin).size(), signedIn ? 1 : 0);
        if (ending == CloseWindow)
            QVERIFY(!window.isNull());
    }

private:
    static bool welcomeShows(QWidget *window, const QString &text)
    {
        for (QLabel *label : window->findChildren<QLabel *>()) {
            if (label->text() == text)
                return true;
        }
        return false;
    }

    QTemporaryDir settingsDir;
    LoopbackServer origin;
    std::unique_ptr<ModalAnswerer> answerer;
};

QTEST_MAIN(TestAppController)
#include "tst_appcontroller.moc"
