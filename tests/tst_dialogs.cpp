#include "app/toolkittranslation.h"
#include "tests/uifixture.h"
#include "ui/compounddetailsdialog.h"
#include "ui/compoundeditdialog.h"
#include "ui/logindialog.h"
#include "ui/registerdialog.h"
#include "ui/settingsdialog.h"
#include "ui/usersdialog.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

namespace {

using SR = ScriptedResponse;
// "admin" is the signed-in account; "cili" has a role the client does not know.
const QByteArray Accounts
    = R"([{"felhasznalonev":"admin","szerepkor":"admin"},{"felhasznalonev":"bela","szerepkor":"editor"},{"felhasznalonev":"cili","szerepkor":"superuser"},{"felhasznalonev":"dora","szerepkor":"user"}])";
// Image links of every kind: only the two web pages may reach the desktop.
const QByteArray Details
    = R"({"cas":"7664-93-9","images":[{"url":"http://x.hu/a.png","caption":"Ábra"},{"url":"HTTPS://X.HU/b.png"},{"url":"file:///etc/passwd"},{"url":"custom:open-me"},{"url":"kepek/c.png"},{}]})";

// The requests of one method under a path prefix, each as "the rest of the
// path=the non-empty values of its body in key order, joined by |", sorted.
QStringList sent(const LoopbackServer &server, const QByteArray &method, const QByteArray &prefix)
{
    QStringList found;
    for (const RecordedRequest &r : server.requests()) {
        QStringList values;
        for (const QJsonValue &v : QJsonDocument::fromJson(r.body).object())
            values << v.toString();
        values.removeAll(QString());
        if (r.method == method && r.path().startsWith(prefix))
            found << r.path().mid(prefix.size()) + '=' + values.join('|');
    }
    found.sort();
    return found;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the desktop's URL handlers.
    void openUrl(const QUrl &url)
    {
        opened << url.toString();
    }

private slots:
    void usersSave_data()
    {
        QTest::addColumn<QStringList>("edits"); // "row column text"
        QTest::addColumn<QString>("refused"); // the account whose update fails
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<QString>("outcome");
        const QStringList edits {"0 1 Kis", "1 1 Nagy", "1 5  uj ", "2 5    ", "3 0  "};
        const QStringList rename {"1 0  bence ", "1 5 pw"};
        const QStringList all {
            "admin=admin|admin|Kis", "bela/password=uj", "bela=bela|editor|Nagy", "cili=cili|user"};
        QStringList renamed {
            "admin=admin|admin", "bela=bence|editor", "cili=cili|user", "dora=dora|user"};
        const QString ok = "Mentés kész.", no = "Mentés sikertelen. HTTP=409\n<b>foglalt</b>";
        QTest::newRow("one name emptied, one password") << edits << "" << all << ok;
        QTest::newRow("one of four fails") << edits << "cili" << all << no;
        QTest::newRow("every name emptied") << QStringList {"0 0 ", "1 0 ", "2 0 ", "3 0 "} << ""
                                            << QStringList() << "Nincs menthető változás.";
        QTest::newRow("failed rename, no password") << rename << "bela" << renamed << no;
        renamed.insert(2, "bence/password=pw");
        QTest::newRow("rename, then password") << rename << "" << renamed << ok;
    }
    void usersSave()
    {
        QFETCH(QStringList, edits);
        QFETCH(QString, refused);
        QFETCH(QStringList, writes);
        QFETCH(QString, outcome);
        const bool saved = outcome == "Mentés kész.";
        UiFixture f;
        const auto reply = [&](const RecordedRequest &r) {
            if (r.method == "GET")
                return SR::json(200, Accounts);
            return r.path() == "/api/v1/users/" + refused ? SR::text(409, "<b>foglalt</b>")
                                                          : SR::json(200, "{}");
        };
        f.server.setHandler(reply);
        // Made before the dialog, so they see every reply before it does.
        QSignalSpy loads(&f.api, &ApiClient::usersOk), updated(&f.api, &ApiClient::userUpdateOk),
            updateFailed(&f.api, &ApiClient::userUpdateError),
            passwordSet(&f.api, &ApiClient::passwordResetOk);
        // A cancelled admin prompt sends nothing; an empty password is sent.
        f.modals.push(ModalAnswerer::reject());
        f.modals.push(ModalAnswerer::acceptInput(QString()));
        UsersDialog dialog(&f.api, "admin");
        auto *table = dialog.findChild<QTableWidget *>("usersTable");
        for (int i = 0; i < 2; ++i)
            dialog.findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(loads.size(), 2);
        QCOMPARE(sent(f.server, "POST", "/api/v1/admin/reauth"), QStringList {"="});
        // The own row's name, role and password are locked, its surname is not.
        QVERIFY(!table->cellWidget(0, 3)->isEnabled() && table->cellWidget(1, 3)->isEnabled());
        for (int column : {0, 1, 5})
            QCOMPARE(bool(table->item(0, column)->flags() & Qt::ItemIsEditable), column == 1);

        // A typed password is masked, while it is edited and in its cell.
        table->editItem(table->item(1, 5));
        auto *editor = qobject_cast<QLineEdit *>(table->indexWidget(table->model()->index(1, 5)));
        QVERIFY(editor && editor->echoMode() == QLineEdit::Password);
        QTest::keyClick(editor, Qt::Key_Escape);
        auto *cell = qobject_cast<QStyledItemDelegate *>(table->itemDelegateForColumn(5));
        QCOMPARE(cell->displayText("titok", QLocale()), cell->displayText("12345", QLocale()));
        for (const QString &edit : edits)
            table->item(edit.at(0).digitValue(), edit.at(2).digitValue())->setText(edit.mid(4));

        QList<int> held;
        bool passwordWaited = false;
        connect(&f.server, &LoopbackServer::requestReceived, this, [&](int i) {
            held << i;
            passwordWaited |= f.server.requests().at(i).path() == "/api/v1/users/bence/password"
                && updated.contains({"bela"});
        });
        f.server.setHolding(true);
        auto *accept = dialog.findChild<QPushButton *>("acceptButton");
        accept->click();
        // One reply at a time, once the one before it was handled.
        for (int answered = 0; answered < writes.size(); ++answered) {
            QTRY_VERIFY(!held.isEmpty()
                && updated.size() + updateFailed.size() + passwordSet.size() == answered);
            QVERIFY(!f.modals.seenTexts().contains("Mentés kész."));
            f.server.respondToHeld(0, reply(f.server.requests().at(held.takeFirst())));
        }
        f.server.setHolding(false);
        QTRY_VERIFY(f.modals.seen().size() == 3 && loads.size() == 2 + saved
            && accept->isEnabled() != saved);
        QVERIFY(f.fence());
        QCOMPARE(f.modals.seenTexts().mid(2), QStringList {outcome});
        QCOMPARE(sent(f.server, "PUT", "/api/v1/users/"), writes);
        QCOMPARE(passwordWaited, writes.contains("bence/password=pw"));
        for (int i = 0; i < edits.size() && !saved; ++i) // kept for another try
            QCOMPARE(table->item(edits[i].at(0).digitValue(), edits[i].at(2).digitValue())->text(),
                edits[i].mid(4));
    }

    void details_data()
    {
        QTest::addColumn<int>("status"); // of the fetch and of the save
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("fetched, saved, fetched again") << 200 << QStringList {"Részletek mentve."};
        const QString failed = " sikertelen. HTTP=404\n<b>nem</b>";
        QTest::newRow("fetch and save refused")
            << 404 << QStringList {"Részletek lekérése" + failed, "Részletek mentése" + failed};
    }
    void details()
    {
        QFETCH(int, status);
        QFETCH(QStringList, boxes);
        opened.clear();
        for (const char *scheme : {"http", "https", "file", "custom", ""})
            QDesktopServices::setUrlHandler(scheme, this, "openUrl");
        UiFixture f;
        f.server.answerAllWith(SR::json(status, status == 200 ? Details : "<b>nem</b>"));
        CompoundDetailsDialog dialog(&f.api, {"B2", "Kénsav", "H2SO4", "98", "", ""}, "editor");
        auto *cas = dialog.findChild<QLineEdit *>("casEdit");
        auto *list = dialog.findChild<QListWidget *>("imageList");
        QTRY_VERIFY(list->count() == 6 || !f.modals.seen().isEmpty());
        for (int i = 0; i < list->count(); ++i)
            emit list->itemDoubleClicked(list->item(i));
        QCOMPARE(dialog.findChild<QLabel *>("formulaLabel")->text(), "H<sub>2</sub>SO<sub>4</sub>");
        QCOMPARE(cas->text() + opened.join(' '),
            status == 200 ? "7664-93-9http://x.hu/a.png https://x.hu/b.png" : "");

        cas->setText(" 111-11-1 ");
        dialog.findChild<QTextEdit *>("descriptionEdit")->setPlainText("\n \nÚj.\n");
        dialog.findChild<QPushButton *>("saveButton")->click();
        QTRY_COMPARE(f.modals.seenTexts(), boxes);
        QTRY_COMPARE(cas->text(), status == 200 ? "7664-93-9" : " 111-11-1 ");
        QCOMPARE(f.modals.seen().last().textFormat, Qt::PlainText);
        QCOMPARE(
            sent(f.server, "PUT", "/api/v1/compounds/B2"), QStringList {"/details=111-11-1|Új."});
        for (const char *scheme : {"http", "https", "file", "custom", ""})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void login_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("registration"); // typed into the registration dialog
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("logins"); // "=user name|password"
        const QStringList no, refused {"<b>Rossz</b> jelszó"}, ok {"", "Sikeres regisztráció."};
        const QStringList newUser {" uj ", "Kiss", "Anna", "  ", "a@b.hu"};
        const QStringList anna {"=anna| pw"};
        QTest::newRow("blank user name")
            << "  " << no << QStringList {"Add meg a felhasználónevet és jelszót."} << no;
        QTest::newRow("refused, base is the origin") << " anna " << no << refused << anna;
        QTest::newRow("other base, retry refused") << " anna " << no << refused << anna;
        QTest::newRow("other base, retry accepted") << " anna " << no << no << anna;
        QTest::newRow("registration signs in") << "" << newUser << ok << QStringList {"=uj|  "};
        QTest::newRow("registration, blank name")
            << "" << QStringList {"uj", " ", "Anna", "pw", "x"}
            << QStringList {"", "Minden mező kitöltése kötelező."} << no;
        QTest::newRow("registration while busy") << " anna " << newUser << ok + refused << anna;
    }
    void login()
    {
        QFETCH(QString, user);
        QFETCH(QStringList, registration);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, logins);
        const bool accepts = !boxes.contains("<b>Rossz</b> jelszó");
        // The "other base" rows start with the base URL of another server.
        const bool otherBase = QByteArray(QTest::currentDataTag()).startsWith("other base");
        UiFixture f;
        LoopbackServer other;
        other.answerAllWith(SR::json(401, R"({"detail":"máshol"})"));
        const SR login = accepts ? SR::json(200, R"({"access_token":"t1"})")
                                 : SR::json(401, R"({"detail":"<b>Rossz</b> jelszó"})");
        f.server.setHandler([=](const RecordedRequest &r) {
            return r.path() == "/api/v1/auth/register" ? SR::json(201, "{}") : login;
        });
        f.api.setBaseUrl(otherBase ? other.origin() : f.server.origin());
        LoginDialog dialog(&f.api);
        dialog.findChildren<QLineEdit *>().at(0)->setText(user);
        dialog.findChildren<QLineEdit *>().at(1)->setText(" pw");
        f.server.setHolding(!registration.isEmpty()); // a login stays outstanding
        if (!user.isEmpty())
            dialog.findChild<QPushButton *>("loginButton")->click();
        QTRY_COMPARE(f.server.heldCount(), int(!registration.isEmpty() && !user.isEmpty()));
        f.server.setHolding(false);
        if (!registration.isEmpty()) {
            f.modals.push(ModalAnswerer::fill<RegisterDialog>([&](RegisterDialog *d) {
                for (int i = 0; i < 5; ++i)
                    d->findChildren<QLineEdit *>().at(i)->setText(registration.at(i));
                // Clicked after this answer, so that a warning it opens is answered.
                QTimer::singleShot(0, d, [d] {
                    d->findChild<QPushButton *>("registerButton")->click();
                    if (d->findChild<QPushButton *>("registerButton")->isEnabled())
                        d->reject();
                });
            }));
            emit dialog.findChild<QLabel *>("registerLink")->linkActivated("reg");
        }
        if (f.server.heldCount() == 1)
            f.server.respondToHeld(0, login);
        QTRY_COMPARE(f.modals.seenTexts(), boxes);
        QVERIFY(f.fence());
        QTRY_COMPARE(dialog.result(), int(accepts && !logins.isEmpty()));
        QCOMPARE(other.requests().size(), int(otherBase));
        QCOMPARE(sent(f.server, "POST", "/api/v1/auth/login"), logins);
    }

    // 50 records whose every field is markup, huge or of the wrong type show
    // the text they are (a wrong type as empty text).
    void hostileReplies_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("markup") << QJsonValue("<b>x</b><img src=x><a href='http://h/'>y</a>&amp;");
        QTest::newRow("huge") << QJsonValue(QString(33000, 'W') + "<i>");
        QTest::newRow("wrong type") << QJsonValue(QJsonArray {1, "<b>"});
    }
    void hostileReplies()
    {
        QFETCH(QJsonValue, value);
        const QString text = value.toString();
        QJsonArray images;
        for (int i = 0; i < 50; ++i)
            images.append(QJsonObject {{"url", value}, {"caption", value}});
        UiFixture f;
        const QJsonObject details {{"cas", value}, {"images", images}};
        f.server.answerAllWith(SR::json(200, QJsonDocument(details).toJson()));
        CompoundDetailsDialog detailsDialog(&f.api, {"B2", text, text, text, text, text}, "admin");
        auto *list = detailsDialog.findChild<QListWidget *>("imageList");
        QTRY_COMPARE(list->count(), 50);
        QCOMPARE(detailsDialog.findChild<QLineEdit *>("casEdit")->text(), text);
        QTextDocument formula;
        formula.setHtml(detailsDialog.findChild<QLabel *>("formulaLabel")->text());
        QCOMPARE(formula.toPlainText(), text);
        CompoundEditDialog editDialog;
        editDialog.setCompound({"B2", text, text, text, text, " " + text + "\t"});
        QCOMPARE(editDialog.compound().halmazallapot, text);
    }

    // Last: the toolkit's texts stay in Hungarian for the rest of the run.
    void settingsAndToolkitTexts()
    {
        installToolkitTranslation(qApp);
        SettingsDialog dialog(" \thttps://lab.hu:9443/ ");
        QCOMPARE(dialog.baseUrl(), "https://lab.hu:9443/"); // trimmed, the slash kept
        QMessageBox box(QMessageBox::Question, "", "",
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text() + box.button(QMessageBox::No)->text()
                + box.button(QMessageBox::Cancel)->text(),
            "&Igen&NemMégse");
    }

private:
    QStringList opened;
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
