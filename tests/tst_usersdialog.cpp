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
    QScopedPointer<UsersDialog> d;
    QByteArray usersReply;
    QSet<QByteArray> failingPaths;
    QList<int> heldRequests; // recorded indices of the held requests, in held order
    int usersLoaded = 0;

    void openDialog()
    {
        d.reset(new UsersDialog(api, "admin"));
        d->show();
        QTRY_COMPARE(usersLoaded, 1);
    }
    void enterEditMode()
    {
        openDialog();
        answerer->push(ModalAnswerer::acceptInput("admin-jelszo"));
        d->findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(usersLoaded, 2);
        QVERIFY(acceptButton()->isEnabled());
    }
    QTableWidget *table() const
    {
        return d->findChild<QTableWidget *>();
    }
    QTableWidgetItem *cell(int row, Column column) const
    {
        return table()->item(row, column);
    }
    QPushButton *acceptButton() const
    {
        return d->findChild<QPushButton *>("acceptButton");
    }
    QComboBox *roleBox(int row) const
    {
        return qobject_cast<QComboBox *>(table()->cellWidget(row, Role));
    }
    bool editable(int row, Column column) const
    {
        return cell(row, column)->flags() & Qt::ItemIsEditable;
    }
    // The bodies sent to one address, in order.
    QList<QJsonObject> sent(const QByteArray &path, const QByteArray &method = "PUT") const
    {
        QList<QJsonObject> bodies;
        for (const RecordedRequest &r : server->requests()) {
            if (r.method == method && r.path() == path)
                bodies << QJsonDocument::fromJson(r.body).object();
        }
        return bodies;
    }
    int passwordRequests() const
    {
        int n = 0;
        for (const RecordedRequest &r : server->requests())
            n += r.path().endsWith("/password");
        return n;
    }
    int successBoxes() const
    {
        return int(answerer->seenTexts().count(QString::fromUtf8("Mentés kész.")));
    }
    // Every request sent before this one has reached the server by the time
    // its answer is back. The dialog does not listen to the details operations.
    void fence()
    {
        QSignalSpy spy(api, &ApiClient::compoundDetailsError);
        api->fetchCompoundDetails("fence");
        QVERIFY(spy.wait());
    }
    void holdRequests()
    {
        server->setHolding(true);
        connect(server, &LoopbackServer::requestReceived, this,
            [this](int index) { heldRequests.append(index); });
    }
    void respondTo(const QByteArray &path, int status = 200)
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
        d.reset();
        delete answerer;
        delete api;
        delete server;
    }

    void viewingState()
    {
        openDialog();
        QCOMPARE(table()->rowCount(), 3);
        QCOMPARE(d->windowTitle(), QString::fromUtf8("Felhasználók kezelése"));
        QVERIFY(!acceptButton()->isEnabled());
        QCOMPARE(table()->editTriggers(), QAbstractItemView::NoEditTriggers);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(cell(row, Password)->text(), "********");
            QVERIFY(!roleBox(row)->isEnabled());
            for (Column column : {Name, Surname, FirstName, Email, Password})
                QVERIFY(!editable(row, column));
        }
        QCOMPARE(roleBox(1)->currentText(), "editor");
        QCOMPARE(roleBox(2)->currentText(), "user");

        // Enter in the table (as when a cell edit ends) presses no button.
        table()->setFocus();
        QTest::keyClick(table(), Qt::Key_Return);
        fence();
        QCOMPARE(answerer->seen().size(), 0);
    }

    void adminPrompt()
    {
        openDialog();
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        answerer->push([&](QWidget *w) {
            auto *input = qobject_cast<QInputDialog *>(w);
            if (input) {
                echo = input->textEchoMode();
                input->reject();
            }
            return input != nullptr;
        });
        d->findChild<QPushButton *>("editButton")->click();
        QCOMPARE(answerer->seen().size(), 1);
        QCOMPARE(answerer->seen().first().title, QString::fromUtf8("Admin jelszó"));
        QCOMPARE(answerer->seen().first().text, QString::fromUtf8("Add meg az admin jelszót:"));
        QCOMPARE(echo, QLineEdit::Password);
        fence();
        QCOMPARE(sent("/api/v1/admin/reauth", "POST").size(), 0);
        QVERIFY(!acceptButton()->isEnabled());

        // An empty password is still sent: the server decides.
        answerer->push(ModalAnswerer::acceptInput(""));
        d->findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(sent("/api/v1/admin/reauth", "POST").size(), 1);
        QCOMPARE(sent("/api/v1/admin/reauth", "POST").value(0), QJsonObject({{"password", ""}}));
    }

    void ownRowRules()
    {
        enterEditMode();
        QCOMPARE(table()->editTriggers(),
            QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
        QVERIFY(!editable(0, Name));
        QVERIFY(!editable(0, Password));
        QVERIFY(!roleBox(0)->isEnabled());
        for (Column column : {Surname, FirstName, Email})
            QVERIFY(editable(0, column));
        for (Column column : {Name, Surname, FirstName, Email, Password})
            QVERIFY(editable(1, column));
        QVERIFY(roleBox(1)->isEnabled());

        cell(0, Surname)->setText(QString::fromUtf8(" Főnök "));
        acceptButton()->click();
        QTRY_COMPARE(successBoxes(), 1);
        const QJsonObject own = sent("/api/v1/users/admin").value(0);
        QCOMPARE(own.value("vezeteknev").toString(), QString::fromUtf8("Főnök"));
        QCOMPARE(own.value("new_username").toString(), "admin");
        QCOMPARE(own.value("szerepkor").toString(), "admin");
    }

    void batchCountsEveryReply()
    {
        enterEditMode();
        cell(1, Surname)->setText("Szabó");
        cell(1, Password)->setText("  uj-jelszo ");
        cell(2, Password)->setText("   ");
        holdRequests();
        acceptButton()->click();
        QVERIFY(!acceptButton()->isEnabled());
        QTRY_COMPARE(server->heldCount(), 4);

        // Replies in any order; only the last one ends the batch.
        QSignalSpy updated(api, &ApiClient::userUpdateOk);
        QSignalSpy passwordSet(api, &ApiClient::passwordResetOk);
        for (const char *path :
            {"/api/v1/users/bela/password", "/api/v1/users/cili", "/api/v1/users/admin"})
            respondTo(path);
        QTRY_COMPARE(updated.size() + passwordSet.size(), 3);
        QCOMPARE(successBoxes(), 0);
        server->setHolding(false);
        respondTo("/api/v1/users/bela");
        QTRY_COMPARE(successBoxes(), 1);
        QCOMPARE(answerer->seen().last().title, "Siker");

        QCOMPARE(sent("/api/v1/users/bela/password").value(0),
            QJsonObject({{"new_password", "uj-jelszo"}}));
        QCOMPARE(sent("/api/v1/users/bela").value(0).value("vezeteknev").toString(),
            QString::fromUtf8("Szabó"));
        // An unknown role is shown and saved as "user".
        QCOMPARE(sent("/api/v1/users/cili").value(0).value("szerepkor").toString(), "user");
        QCOMPARE(passwordRequests(), 1);

        // Back to viewing, reloaded with masked passwords.
        QTRY_COMPARE(cell(1, Password)->text(), "********");
        QVERIFY(!acceptButton()->isEnabled());
        QCOMPARE(table()->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(successBoxes(), 1);
    }

    void reauthDuringBatchKeepsAcceptDisabled()
    {
        enterEditMode();
        holdRequests();
        acceptButton()->click();
        QTRY_COMPARE(server->heldCount(), 3);
        answerer->push(ModalAnswerer::acceptInput("admin-jelszo"));
        d->findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(server->heldCount(), 4);
        respondTo("/api/v1/admin/reauth");
        QTRY_COMPARE(server->heldCount(), 4); // the reload after the re-authentication
        QVERIFY(!acceptButton()->isEnabled());

        server->setHolding(false);
        for (const char *path :
            {"/api/v1/users", "/api/v1/users/admin", "/api/v1/users/bela", "/api/v1/users/cili"})
            respondTo(path);
        QTRY_COMPARE(successBoxes(), 1);
    }

    void failedRequestKeepsEdits()
    {
        failingPaths = {"/api/v1/users/cili"};
        enterEditMode();
        cell(1, Surname)->setText("Szabó");
        cell(1, Password)->setText("uj");
        acceptButton()->click();
        QTRY_VERIFY(acceptButton()->isEnabled());
        QCOMPARE(sent("/api/v1/users/bela/password").size(), 1);

        QCOMPARE(answerer->seen().size(), 2); // the prompt and one warning
        const SeenModal warning = answerer->seen().last();
        QCOMPARE(warning.title, "Hiba");
        QCOMPARE(warning.text,
            QString::fromUtf8("Mentés sikertelen. HTTP=409\n{\"detail\":\"<b>foglalt</b>\"}"));
        QCOMPARE(warning.textFormat, Qt::PlainText);
        QCOMPARE(cell(1, Surname)->text(), QString::fromUtf8("Szabó"));
        QCOMPARE(cell(1, Password)->text(), "uj");
        QVERIFY(table()->editTriggers() != QAbstractItemView::NoEditTriggers);
        fence();
        QCOMPARE(sent("/api/v1/users", "GET").size(), 2);
    }

    void emptiedNames_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QList<int>>("emptied");
        QTest::addColumn<QList<qsizetype>>("updates"); // per row: admin, bela, cili
        QTest::newRow("empty table")
            << QByteArray("[]") << QList<int>() << QList<qsizetype> {0, 0, 0};
        QTest::newRow("every name")
            << threeAccounts() << QList<int> {0, 1, 2} << QList<qsizetype> {0, 0, 0};
        QTest::newRow("one name") << threeAccounts() << QList<int> {1}
                                  << QList<qsizetype> {1, 0, 1};
    }
    void emptiedNames()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QList<int>, emptied);
        QFETCH(QList<qsizetype>, updates);
        usersReply = reply;
        enterEditMode();
        for (int row : emptied)
            cell(row, Name)->setText(row ? "" : "  ");
        acceptButton()->click();
        if (!updates.contains(1)) {
            QCOMPARE(answerer->seen().last().title, "Info");
            QCOMPARE(answerer->seen().last().text, QString::fromUtf8("Nincs menthető változás."));
            QVERIFY(acceptButton()->isEnabled());
            fence();
        } else {
            QTRY_COMPARE(successBoxes(), 1);
        }
        const QList<qsizetype> updated {sent("/api/v1/users/admin").size(),
            sent("/api/v1/users/bela").size(), sent("/api/v1/users/cili").size()};
        QCOMPARE(updated, updates);
    }

    void renamedPasswordWaitsForRename()
    {
        enterEditMode();
        cell(1, Name)->setText(" bence ");
        cell(1, Password)->setText("pw2");
        holdRequests();
        acceptButton()->click();
        api->fetchCompoundDetails("fence"); // sent after the batch
        QTRY_COMPARE(server->heldCount(), 4);
        QCOMPARE(passwordRequests(), 0);
        QCOMPARE(sent("/api/v1/users/bela").value(0).value("new_username").toString(), "bence");

        for (const char *path : {"/api/v1/users/admin", "/api/v1/users/cili", "/api/v1/users/bela"})
            respondTo(path);
        QTRY_COMPARE(server->heldCount(), 2);
        QCOMPARE(sent("/api/v1/users/bence/password").size(), 1);
        QCOMPARE(
            sent("/api/v1/users/bence/password").value(0), QJsonObject({{"new_password", "pw2"}}));
        QCOMPARE(successBoxes(), 0);

        server->setHolding(false);
        respondTo("/api/v1/compounds/fence/details");
        respondTo("/api/v1/users/bence/password");
        QTRY_COMPARE(successBoxes(), 1);
        QCOMPARE(passwordRequests(), 1);
    }

    void failedRenameSendsNoPassword()
    {
        failingPaths = {"/api/v1/users/bela"};
        enterEditMode();
        cell(1, Name)->setText("cili");
        cell(1, Password)->setText("pw2");
        acceptButton()->click();
        QTRY_VERIFY(acceptButton()->isEnabled());
        fence();
        QCOMPARE(passwordRequests(), 0);
        QCOMPARE(answerer->seen().size(), 2); // the prompt and the rename's warning
        QCOMPARE(answerer->seen().last().title, "Hiba");
        QCOMPARE(successBoxes(), 0);
        QCOMPARE(cell(1, Name)->text(), "cili");

        // The batch is over: a second save runs a fresh one.
        failingPaths.clear();
        acceptButton()->click();
        QTRY_COMPARE(successBoxes(), 1);
        QCOMPARE(sent("/api/v1/users/cili/password").size(), 1);
    }
};

QTEST_MAIN(TestUsersDialog)
#include "tst_usersdialog.moc"
