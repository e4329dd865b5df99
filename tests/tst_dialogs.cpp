#include "app/toolkittranslation.h"
#include "tests/uifixture.h"
#include "ui/compounddetailsdialog.h"
#include "ui/compoundeditdialog.h"
#include "ui/logindialog.h"
#include "ui/registerdialog.h"
#include "ui/settingsdialog.h"
#include "ui/usersdialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>

using SR = ScriptedResponse;
// "admin" is the signed-in account; "cili" has a role the client does not know.
static const QByteArray Accounts
    = R"([{"felhasznalonev":"admin","szerepkor":"admin"},{"felhasznalonev":"bela","szerepkor":"editor"},{"felhasznalonev":"cili","szerepkor":"superuser"},{"felhasznalonev":"dora","szerepkor":"user"}])";
// Image links of every kind: only the two web pages may reach the desktop.
static const QByteArray Details
    = R"({"cas":"7664-93-9","notes":"N","images":[{"url":"http://x.hu/a.png","caption":"Ábra"},{"url":"HTTPS://X.HU/b.png"},{"url":"file:///etc/passwd"},{"url":"custom:open-me"},{"url":"kepek/c.png"},{}]})";

// The requests of one method under a path prefix, each as "the rest of the
// path=the non-empty values of its body in key order, joined by |", sorted.
static QStringList sent(const UiFixture &f, const QByteArray &method, const QByteArray &prefix)
{
    QStringList found;
    for (const RecordedRequest &r : f.server.requests()) {
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

class TestDialogs : public QObject {
    Q_OBJECT
    QStringList opened;

private slots:
    // Stands in for the desktop's URL handlers; a slot with an argument is no test.
    void openUrl(const QUrl &url)
    {
        opened << url.toString();
    }

    void usersSave_data()
    {
        QTest::addColumn<QStringList>("edits"); // "row column text"
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<QString>("outcome"); // bela's update fails unless the save succeeds
        // bela is renamed and given a password, cili's password is sent at once, dora is left out.
        const QStringList edits {"0 1 Kis", "1 0  bo ", "1 5 pw", "2 5  uj ", "3 0  "};
        QStringList writes {
            "admin=admin|admin|Kis", "bela=bo|editor", "cili/password=uj", "cili=cili|user"};
        QTest::newRow("failed rename") << edits << writes << "Mentés sikertelen. HTTP=409\n{}";
        QTest::newRow("every name emptied") << QStringList {"0 0 ", "1 0 ", "2 0 ", "3 0 "}
                                            << QStringList() << "Nincs menthető változás.";
        writes.insert(2, "bo/password=pw");
        QTest::newRow("rename, then password") << edits << writes << "Mentés kész.";
    }
    void usersSave()
    {
        QFETCH(QStringList, edits);
        QFETCH(QStringList, writes);
        QFETCH(QString, outcome);
        const bool saved = outcome == "Mentés kész.";
        UiFixture f;
        const auto reply = [&](const RecordedRequest &r) {
            return SR::json(!saved && r.path() == "/api/v1/users/bela" ? 409 : 200,
                r.method == "GET" ? Accounts : "{}");
        };
        f.server.setHandler(reply);
        // Made before the dialog, so they see every reply before it does.
        QSignalSpy loads(&f.api, &ApiClient::usersOk), updated(&f.api, &ApiClient::userUpdateOk),
            failed(&f.api, &ApiClient::userUpdateError), reset(&f.api, &ApiClient::passwordResetOk);
        // A cancelled admin prompt sends nothing; an empty password is sent.
        f.modals.push(ModalAnswerer::reject());
        f.modals.push(ModalAnswerer::fill<QInputDialog>(&QInputDialog::accept));
        UsersDialog dialog(&f.api, "admin");
        auto *table = dialog.findChild<QTableWidget *>("usersTable");
        for (int i = 0; i < 2; ++i)
            dialog.findChild<QPushButton *>("editButton")->click();
        QTRY_COMPARE(loads.size(), 2);
        QCOMPARE(f.count("POST", "/api/v1/admin/reauth"), 1);
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
            table->item(edit[0].digitValue(), edit[2].digitValue())->setText(edit.mid(4));

        // Replies go one at a time, in arrival order, once the one before was handled.
        const qsizetype first = f.server.requests().size();
        bool passwordWaited = false;
        connect(&f.server, &LoopbackServer::requestReceived, this, [&](int i) {
            passwordWaited |= f.server.requests().at(i).path() == "/api/v1/users/bo/password"
                && updated.contains({"bela"});
        });
        f.server.setHolding(true);
        auto *accept = dialog.findChild<QPushButton *>("acceptButton");
        accept->click();
        for (int n = 0; n < writes.size(); ++n) {
            QTRY_VERIFY(
                f.server.heldCount() > 0 && updated.size() + failed.size() + reset.size() == n);
            QVERIFY(!f.modals.seenTexts().contains("Mentés kész."));
            f.server.respondToHeld(0, reply(f.server.requests().at(first + n)));
        }
        f.server.setHolding(false);
        QTRY_VERIFY(f.modals.seen().size() == 3 && loads.size() == 2 + saved
            && accept->isEnabled() != saved);
        QVERIFY(f.fence());
        QCOMPARE(f.modals.seenTexts().mid(2), QStringList {outcome});
        QCOMPARE(sent(f, "PUT", "/api/v1/users/"), writes);
        QCOMPARE(passwordWaited, saved);
        for (const QString &edit : saved ? QStringList() : edits) // kept for another try
            QCOMPARE(table->item(edit[0].digitValue(), edit[2].digitValue())->text(), edit.mid(4));
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
        // Only a failed save may be tried again.
        QTRY_COMPARE(dialog.findChild<QPushButton *>("saveButton")->isEnabled(), status != 200);
        QTRY_COMPARE(cas->text(), status == 200 ? "7664-93-9" : " 111-11-1 ");
        QCOMPARE(f.modals.seen().last().textFormat, Qt::PlainText);
        QCOMPARE(sent(f, "PUT", "/api/v1/compounds/B2"),
            QStringList {status == 200 ? "/details=111-11-1|Új.|N" : "/details=111-11-1|Új."});
        for (const char *scheme : {"http", "https", "file", "custom", ""})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void login_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("registration"); // typed into the registration dialog
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("logins"); // "=user name|password"
        const QStringList no, anna {"=anna| pw"}, ok {"", "Sikeres regisztráció."};
        const QStringList blank {"Add meg a felhasználónevet és jelszót."};
        const QStringList newUser {" uj ", "K", "A", "  ", "a@b"}, refused {"<b>Rossz</b> jelszó"};
        // The only row without a registration starts from another base URL.
        QTest::newRow("other base, retry refused") << " anna " << no << refused << anna;
        QTest::newRow("blank name, registration signs in")
            << "  " << newUser << blank + ok << QStringList {"=uj|  "};
        QTest::newRow("registration, blank name")
            << "  " << QStringList {"uj", " ", "Anna", "pw", "x"}
            << blank + QStringList {"", "Minden mező kitöltése kötelező."} << no;
        QTest::newRow("registration while busy") << " anna " << newUser << ok + refused << anna;
    }
    void login()
    {
        QFETCH(QString, user);
        QFETCH(QStringList, registration);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, logins);
        const bool busy = !registration.isEmpty() && !user.trimmed().isEmpty();
        UiFixture f;
        // Refused or not, the reply carries both; its status decides.
        const SR login = SR::json(boxes.contains("<b>Rossz</b> jelszó") ? 401 : 200,
            R"({"access_token":"t1","detail":"<b>Rossz</b> jelszó"})");
        f.server.setHandler([=](const RecordedRequest &r) {
            return r.path() == "/api/v1/auth/register" ? SR::json(201, "{}") : login;
        });
        f.api.setBaseUrl(f.server.origin() + (registration.isEmpty() ? "/mashol" : ""));
        LoginDialog dialog(&f.api);
        dialog.findChildren<QLineEdit *>().at(0)->setText(user);
        dialog.findChildren<QLineEdit *>().at(1)->setText(" pw");
        f.server.setHolding(busy); // a login stays outstanding
        dialog.findChild<QPushButton *>("loginButton")->click();
        QTRY_COMPARE(f.server.heldCount(), int(busy));
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
        if (busy)
            f.server.respondToHeld(0, login);
        QTRY_COMPARE(f.modals.seenTexts(), boxes);
        QVERIFY(f.fence());
        QTRY_COMPARE(dialog.result(), int(login.status == 200 && !logins.isEmpty()));
        QCOMPARE(f.count("POST", "/mashol/api/v1/auth/login"), int(registration.isEmpty()));
        QCOMPARE(sent(f, "POST", "/api/v1/auth/login"), logins);
    }

    // Fifty images whose addresses are of the wrong type, and fields that are
    // markup and longer than a line edit takes by default, show the text they are.
    void hostileReplies()
    {
        const QString text = QString(33000, 'W') + "<b>x</b><img src=x><a href='h'>y</a>&amp;";
        const QVariantList images(50, QJsonObject {{"url", QJsonArray {1}}, {"caption", text}});
        const QJsonObject details {{"cas", text}, {"images", QJsonArray::fromVariantList(images)}};
        UiFixture f;
        f.server.answerAllWith(SR::json(200, QJsonDocument(details).toJson()));
        CompoundDetailsDialog dialog(&f.api, {"B2", text, text, text, text, text}, "admin");
        QTRY_COMPARE(dialog.findChild<QListWidget *>("imageList")->count(), 50);
        QCOMPARE(dialog.findChild<QLineEdit *>("casEdit")->text(), text);
        const QString formula = dialog.findChild<QLabel *>("formulaLabel")->text();
        QCOMPARE(QTextDocumentFragment::fromHtml(formula).toPlainText(), text);
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
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), "Mégse");
        buttons->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), QDialog::Accepted);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
