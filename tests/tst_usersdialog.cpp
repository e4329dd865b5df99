#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "ui/usersdialog.h"

#include <QComboBox>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

namespace {

enum Column { Name, Surname, FirstName, Role, Email, Password };

QJsonObject account(const char *name, const char *surname, const char *role)
{
    return {{"felhasznalonev", name}, {"vezeteknev", QString::fromUtf8(surname)},
        {"keresztnev", "X"}, {"szerepkor", role}, {"email", QString(name) + "@lab.hu"}};
}

// "admin" is the signed-in account; "cili" has a role the client does not know.
QByteArray threeAccounts()
{
    const QJsonArray users {account("admin", "Adminisztrátor", "admin"),
        account("bela", "Kovács", "editor"), account("cili", "Nagy", "superuser")};
    return QJsonDocument(users).toJson();
}

} // namespace

class TestUsersDialog : public QObject {
    Q_OBJECT

private:
    LoopbackServer *server = nullptr;
    ApiClient *api = nullptr;
    ModalAnswerer *answerer = nullptr;
    QByteArray usersReply;
    QSet<QByteArray> failingPaths;
    QList<int> heldRequests; // recorded indices of the held requests, in held order
    int usersLoaded = 0;

    UsersDialog *newDialog()
    {
        auto *dialog = new UsersDialog(api, "admin");
        dialog->show();
        return dialog;
    }
    static QTableWidget *table(UsersDialog *d)
    {
        return d->findChild<QTableWidget *>();
    }
    static QPushButton *acceptButton(UsersDialog *d)
    {
        return d->findChild<QPushButton *>("acceptButton");
    }
    static QComboBox *roleBox(UsersDialog *d, int row)
    {
        return qobject_cast<QComboBox *>(table(d)->cellWidget(row, Role));
    }
    static bool editable(UsersDialog *d, int row, int column)
    {
        return table(d)->item(row, column)->flags() & Qt::ItemIsEditable;
    }
    int count(const QByteArray &method, const QByteArray &path) const
    {
        int n = 0;
        for (const RecordedRequest &r : server->requests())
            n += r.method == method && r.path() == path;
        return n;
    }
    QJsonObject bodyOf(const QByteArray &path, const QByteArray &method = "PUT") const
    {
        for (const RecordedRequest &r : server->requests()) {
            if (r.method == method && r.path() == path)
                return QJsonDocument::fromJson(r.body).object();
        }
        return {};
    }
    int passwordRequests() const
    {
        int n = 0;
        for (const RecordedRequest &r : server->requests())
            n += r.path().endsWith("/password");
        return n;
    }
    int countSeen(const QString &text) const
    {
        return int(answerer->seenTexts().count(text));
    }
    void enterEditMode(UsersDialog *d)
    {
        QTRY_COMPARE(usersLoaded, 1);
        answerer->push(ModalAnswerer::acceptInput("admin-jelszo"));
        d->findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(usersLoaded, 2);
        QVERIFY(acceptButton(d)->isEnabled());
    }
    // Every request sent before this one has reached the server by the time
    // its answer is back.
    // The dialog does not listen to the details operations.
    void fence()
    {
        QSignalSpy spy(api, &ApiClient::compoundDetailsError);
        api->fetchCompoundDetails("fence");
        QVERIFY(spy.wait());
    }
    void respondTo(const QByteArray &path, int status)
    {
        for (int i = 0; i < heldRequests.size(); ++i) {
            if (server->requests().at(heldRequests.at(i)).path() == path) {
                server->respondToHeld(i, ScriptedResponse::json(status, "{}"));
                heldRequests.removeAt(i);
                return;
            }
        }
        QFAIL(("not held: " + path).constData());
    }
    void holdRequests()
    {
        server->setHolding(true);
        connect(server, &LoopbackServer::requestReceived, this,
            [this](int index) { heldRequests.append(index); });
    }

private slots:
    void initTestCase()
    {
        registerRecordTypes();
    }
    void init()
    {
        usersReply = threeAccounts();
        failingPaths.clear();
        heldRequests.clear();
        server = new LoopbackServer;
        server->setHandler([this](const RecordedRequest &r) {
            if (r.method == "GET")
                return ScriptedResponse::json(200, usersReply);
            if (failingPaths.contains(r.path()))
                return ScriptedResponse::json(409, R"({"detail":"<b>foglalt</b>"})");
            return ScriptedResponse::json(200, "{}");
        });
        api = new ApiClient;
        api->setBaseUrl(server->origin());
        usersLoaded = 0;
        connect(api, &ApiClient::usersOk, this, [this] { ++usersLoaded; });
        answerer = new ModalAnswerer;
    }
    void cleanup()
    {
        delete answerer;
        delete api;
        delete server;
    }

    void viewingState()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        QTRY_COMPARE(table(d.data())->rowCount(), 3);
        QCOMPARE(d->windowTitle(), QString::fromUtf8("Felhasználók kezelése"));
        QVERIFY(!acceptButton(d.data())->isEnabled());
        QCOMPARE(table(d.data())->editTriggers(), QAbstractItemView::NoEditTriggers);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(table(d.data())->item(row, Password)->text(), "********");
            QVERIFY(!roleBox(d.data(), row)->isEnabled());
            for (int column : {Name, Surname, FirstName, Email, Password})
                QVERIFY(!editable(d.data(), row, column));
        }
        QCOMPARE(roleBox(d.data(), 1)->currentText(), "editor");
        QCOMPARE(roleBox(d.data(), 2)->currentText(), "user");

        // Enter in the table (as when a cell edit ends) presses no button.
        table(d.data())->setFocus();
        QTest::keyClick(table(d.data()), Qt::Key_Return);
        fence();
        QCOMPARE(answerer->seen().size(), 0);
    }

    void cancelledPromptChangesNothing()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        QTRY_COMPARE(table(d.data())->rowCount(), 3);
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        answerer->push([&](QWidget *w) {
            auto *input = qobject_cast<QInputDialog *>(w);
            if (!input)
                return false;
            echo = input->textEchoMode();
            input->reject();
            return true;
        });
        d->findChild<QPushButton *>("editButton")->click();
        QCOMPARE(answerer->seen().size(), 1);
        QCOMPARE(answerer->seen().first().title, QString::fromUtf8("Admin jelszó"));
        QCOMPARE(answerer->seen().first().text, QString::fromUtf8("Add meg az admin jelszót:"));
        QCOMPARE(echo, QLineEdit::Password);
        fence();
        QCOMPARE(count("POST", "/api/v1/admin/reauth"), 0);
        QVERIFY(!acceptButton(d.data())->isEnabled());
    }

    void emptyAdminPasswordIsSent()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        answerer->push(ModalAnswerer::acceptInput(""));
        d->findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(count("POST", "/api/v1/admin/reauth"), 1);
        QCOMPARE(bodyOf("/api/v1/admin/reauth", "POST"), QJsonObject({{"password", ""}}));
    }

    void ownRowRules()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        QCOMPARE(table(d.data())->editTriggers(),
            QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
        QVERIFY(!editable(d.data(), 0, Name));
        QVERIFY(!editable(d.data(), 0, Password));
        QVERIFY(!roleBox(d.data(), 0)->isEnabled());
        for (int column : {Surname, FirstName, Email})
            QVERIFY(editable(d.data(), 0, column));
        for (int column : {Name, Surname, FirstName, Email, Password})
            QVERIFY(editable(d.data(), 1, column));
        QVERIFY(roleBox(d.data(), 1)->isEnabled());

        table(d.data())->item(0, Surname)->setText(QString::fromUtf8(" Főnök "));
        acceptButton(d.data())->click();
        QTRY_COMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 1);
        const QJsonObject own = bodyOf("/api/v1/users/admin");
        QCOMPARE(own.value("vezeteknev").toString(), QString::fromUtf8("Főnök"));
        QCOMPARE(own.value("new_username").toString(), "admin");
        QCOMPARE(own.value("szerepkor").toString(), "admin");
    }

    void batchCountsEveryReply()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        table(d.data())->item(1, Surname)->setText("Szabó");
        table(d.data())->item(1, Password)->setText("  uj-jelszo ");
        table(d.data())->item(2, Password)->setText("   ");
        holdRequests();
        acceptButton(d.data())->click();
        QVERIFY(!acceptButton(d.data())->isEnabled());
        QTRY_COMPARE(server->heldCount(), 4);

        // Replies in any order; only the last one ends the batch.
        QSignalSpy updated(api, &ApiClient::userUpdateOk);
        QSignalSpy passwordSet(api, &ApiClient::passwordResetOk);
        respondTo("/api/v1/users/bela/password", 200);
        respondTo("/api/v1/users/cili", 200);
        respondTo("/api/v1/users/admin", 200);
        QTRY_COMPARE(updated.size() + passwordSet.size(), 3);
        QCOMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 0);
        server->setHolding(false);
        respondTo("/api/v1/users/bela", 200);
        QTRY_COMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 1);
        QCOMPARE(answerer->seen().last().title, "Siker");

        QCOMPARE(
            bodyOf("/api/v1/users/bela/password"), QJsonObject({{"new_password", "uj-jelszo"}}));
        QCOMPARE(bodyOf("/api/v1/users/bela").value("vezeteknev").toString(),
            QString::fromUtf8("Szabó"));
        // An unknown role is shown and saved as "user".
        QCOMPARE(bodyOf("/api/v1/users/cili").value("szerepkor").toString(), "user");
        QCOMPARE(passwordRequests(), 1);

        // Back to viewing, reloaded with masked passwords.
        QTRY_COMPARE(table(d.data())->item(1, Password)->text(), "********");
        QVERIFY(!acceptButton(d.data())->isEnabled());
        QCOMPARE(table(d.data())->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 1);
    }

    void reauthDuringBatchKeepsAcceptDisabled()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        holdRequests();
        acceptButton(d.data())->click();
        QTRY_COMPARE(server->heldCount(), 3);
        answerer->push(ModalAnswerer::acceptInput("admin-jelszo"));
        d->findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(server->heldCount(), 4);
        respondTo("/api/v1/admin/reauth", 200);
        QTRY_COMPARE(server->heldCount(), 4); // the reload after the re-authentication
        QVERIFY(!acceptButton(d.data())->isEnabled());

        server->setHolding(false);
        for (const char *path :
            {"/api/v1/users", "/api/v1/users/admin", "/api/v1/users/bela", "/api/v1/users/cili"})
            respondTo(path, 200);
        QTRY_COMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 1);
    }

    void failedRequestKeepsEdits()
    {
        failingPaths = {"/api/v1/users/cili"};
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        table(d.data())->item(1, Surname)->setText("Szabó");
        table(d.data())->item(1, Password)->setText("uj");
        acceptButton(d.data())->click();
        QTRY_VERIFY(acceptButton(d.data())->isEnabled());
        QCOMPARE(count("PUT", "/api/v1/users/bela/password"), 1);

        QCOMPARE(answerer->seen().size(), 2); // the prompt and one warning
        const SeenModal warning = answerer->seen().last();
        QCOMPARE(warning.title, "Hiba");
        QCOMPARE(warning.text,
            QString::fromUtf8("Mentés sikertelen. HTTP=409\n{\"detail\":\"<b>foglalt</b>\"}"));
        QCOMPARE(warning.textFormat, Qt::PlainText);
        QCOMPARE(table(d.data())->item(1, Surname)->text(), QString::fromUtf8("Szabó"));
        QCOMPARE(table(d.data())->item(1, Password)->text(), "uj");
        QVERIFY(table(d.data())->editTriggers() != QAbstractItemView::NoEditTriggers);
        fence();
        QCOMPARE(count("GET", "/api/v1/users"), 2);
    }

    void nothingToSave_data()
    {
        QTest::addColumn<bool>("emptyList");
        QTest::newRow("empty table") << true;
        QTest::newRow("every name emptied") << false;
    }
    void nothingToSave()
    {
        QFETCH(bool, emptyList);
        if (emptyList)
            usersReply = "[]";
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        for (int row = 0; row < table(d.data())->rowCount(); ++row)
            table(d.data())->item(row, Name)->setText("  ");
        acceptButton(d.data())->click();
        QCOMPARE(answerer->seen().last().title, "Info");
        QCOMPARE(answerer->seen().last().text, QString::fromUtf8("Nincs menthető változás."));
        QVERIFY(acceptButton(d.data())->isEnabled());
        fence();
        QCOMPARE(count("PUT", "/api/v1/users/admin") + count("PUT", "/api/v1/users/bela")
                + count("PUT", "/api/v1/users/cili"),
            0);
    }

    void emptiedNameSkipsOnlyThatRow()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        table(d.data())->item(1, Name)->setText("");
        acceptButton(d.data())->click();
        QTRY_COMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 1);
        QCOMPARE(count("PUT", "/api/v1/users/admin"), 1);
        QCOMPARE(count("PUT", "/api/v1/users/bela"), 0);
        QCOMPARE(count("PUT", "/api/v1/users/cili"), 1);
    }

    void renamedPasswordWaitsForRename()
    {
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        table(d.data())->item(1, Name)->setText(" bence ");
        table(d.data())->item(1, Password)->setText("pw2");
        holdRequests();
        acceptButton(d.data())->click();
        api->fetchCompoundDetails("fence"); // sent after the batch
        QTRY_COMPARE(server->heldCount(), 4);
        QCOMPARE(passwordRequests(), 0);
        QCOMPARE(bodyOf("/api/v1/users/bela").value("new_username").toString(), "bence");

        respondTo("/api/v1/users/admin", 200);
        respondTo("/api/v1/users/cili", 200);
        respondTo("/api/v1/users/bela", 200);
        QTRY_COMPARE(server->heldCount(), 2);
        QCOMPARE(count("PUT", "/api/v1/users/bence/password"), 1);
        QCOMPARE(bodyOf("/api/v1/users/bence/password"), QJsonObject({{"new_password", "pw2"}}));
        QCOMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 0);

        server->setHolding(false);
        respondTo("/api/v1/compounds/fence/details", 200);
        respondTo("/api/v1/users/bence/password", 200);
        QTRY_COMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 1);
        QCOMPARE(passwordRequests(), 1);
    }

    void failedRenameSendsNoPassword()
    {
        failingPaths = {"/api/v1/users/bela"};
        QScopedPointer<UsersDialog> d(newDialog());
        enterEditMode(d.data());
        table(d.data())->item(1, Name)->setText("cili");
        table(d.data())->item(1, Password)->setText("pw2");
        acceptButton(d.data())->click();
        QTRY_VERIFY(acceptButton(d.data())->isEnabled());
        fence();
        QCOMPARE(passwordRequests(), 0);
        QCOMPARE(answerer->seen().size(), 2); // the prompt and the rename's warning
        QCOMPARE(answerer->seen().last().title, "Hiba");
        QCOMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 0);
        QCOMPARE(table(d.data())->item(1, Name)->text(), "cili");

        // The batch is over: a second save runs a fresh one.
        failingPaths.clear();
        acceptButton(d.data())->click();
        QTRY_COMPARE(countSeen(QString::fromUtf8("Mentés kész.")), 1);
        QCOMPARE(count("PUT", "/api/v1/users/cili/password"), 1);
    }
};

QTEST_MAIN(TestUsersDialog)
#include "tst_usersdialog.moc"
