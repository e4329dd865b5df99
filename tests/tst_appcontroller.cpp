#include "app/appcontroller.h"
#include "tests/uifixture.h"
#include "tests/visibletoplevels.h"
#include "ui/compoundeditdialog.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>

namespace {

const QString Expired = "A munkamenet lejárt. Jelentkezz be újra.";
LoopbackServer *server = nullptr;
QStringList offered; // the user names that the login dialogs came with

// Signs in, noting the user name the login dialog came with.
ModalAnswerer::Answer signInNoting(const char *username)
{
    return [answer = signIn(username)](QWidget *w) {
        if (auto *d = qobject_cast<LoginDialog *>(w))
            offered << d->findChild<QLineEdit *>("usernameEdit")->text();
        return answer(w);
    };
}
// Ok presses the default button, Yes included.
const ModalAnswerer::Answer Anna = signInNoting("anna"), Bea = signInNoting("bea"),
                            Ok = ModalAnswerer::accept();

// The held reply to the deletion sent just before the edit dialog opened ends
// the session; OK is pressed after that, and must send nothing.
const ModalAnswerer::Answer EditAsSessionEnds
    = ModalAnswerer::fill<CompoundEditDialog>([](CompoundEditDialog *d) {
          d->findChild<QLineEdit *>("nevEdit")->setText("Új");
          if (QTest::qWaitFor([] { return server->heldCount() == 1; }))
              server->respondToHeld(0, ScriptedResponse::json(401, "{}"));
          server->setHolding(false);
          QTest::qVerify(QTest::qWaitFor([d] { return !d->isVisible(); }), "closed",
              "the ended session left the edit dialog open", __FILE__, __LINE__);
          d->accept();
      });

// A run whose modal windows get `answers`: in anna's window the search box
// gets `typed` and `clicks` are made, bea's window is closed by its frame.
// Expected: the message box texts and the dialogs seen.
const struct {
    const char *name, *typed;
    QList<ModalAnswerer::Answer> answers;
    QStringList clicks, seen;
} Runs[] = {{"logout", "", {Anna, Bea}, {"logout", "logout"}, {"LoginDialog", "LoginDialog"}},
    {"401 on the list", "", {Anna, Ok, Bea}, {}, {"LoginDialog", Expired, "LoginDialog"}},
    {"401 on a search", "ab", {Anna, Ok, Bea}, {}, {"LoginDialog", Expired, "LoginDialog"}},
    {"401 on a write, edit dialog open", "", {Anna, Ok, EditAsSessionEnds, Ok, Bea},
        {"delete", "edit"},
        {"LoginDialog", "Biztos törlöd: A1 ?", "CompoundEditDialog", Expired, "LoginDialog"}}};

} // namespace

class TestAppController : public QObject {
    Q_OBJECT

private slots:
    void runs_data()
    {
        addRows(Runs);
    }
    void runs()
    {
        QFETCH(int, index);
        const auto &run = Runs[index];
        QApplication::setQuitOnLastWindowClosed(false);
        QStandardPaths::setTestModeEnabled(true);
        QSettings settings("Orvantis", "OrvantisClient");
        settings.setValue("api/base_url", "https://old.example");
        settings.remove("login");
        offered.clear();
        LoopbackServer origin;
        ModalAnswerer modals;
        server = &origin;
        // Requests authorised with it are answered 401: a later login that
        // still carried the ended session's token would fail.
        const bool atOnce = !*run.typed && run.clicks.isEmpty(); // 401 on the first list
        QByteArray revoked = atOnce ? "Bearer tok1" : "none";
        origin.setHandler([&revoked](const RecordedRequest &r) {
            return ScriptedResponse::json(r.header("authorization") == revoked ? 401 : 200,
                !r.path().endsWith("login")  ? R"([{"kod":"A1"}])"
                    : r.body.contains("bea") ? R"({"access_token":"tok2","szerepkor":"admin"})"
                                             : R"({"access_token":"tok1","szerepkor":"admin"})");
        });
        for (const ModalAnswerer::Answer &answer : run.answers)
            modals.push(answer);
        AppController controller(origin.origin());
        if (QPointer<MainWindow> window = visibleTopLevels<MainWindow>().value(0)) {
            window->setGeometry(40, 50, 700, 500); // widened to what its contents need
            const QRect kept = window->geometry(); // for bea's window, of the same role
            auto *table = window->findChild<QTableWidget *>("compoundTable");
            QTRY_VERIFY(atOnce || table->rowCount() == 1);
            revoked = "Bearer tok1";
            table->setCurrentCell(0, 0);
            QTest::keyClicks(window->findChild<QLineEdit *>("searchEdit"), run.typed);
            origin.setHolding(run.clicks.contains("edit"));
            for (const QString &button : run.clicks)
                window->findChild<QPushButton *>(button + "Button")->click();
            QTRY_VERIFY(window.isNull() && !visibleTopLevels<MainWindow>().isEmpty());
            window = visibleTopLevels<MainWindow>().value(0);
            QCOMPARE(window->windowTitle(), "Orvantis - bea (admin)");
            QCOMPARE(window->geometry(), kept);
            QCOMPARE(offered, QStringList({"", "anna"}));
            QFile store(settings.fileName()); // never a password
            QVERIFY(store.open(QIODevice::ReadOnly) && !store.readAll().contains("titok"));
            window->close(); // by its frame: the run ends
        }
        QTimer::singleShot(20000, &origin, [] { QCoreApplication::exit(1); }); // never quits
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(settings.value("api/base_url").toString(), origin.origin());
        QStringList seen;
        for (const SeenModal &m : modals.seen()) // message boxes in plain text
            seen << (m.textFormat == Qt::PlainText ? m.text : m.className);
        QCOMPARE(seen, run.seen);
        for (const RecordedRequest &r : origin.requests())
            QVERIFY(r.method != "PUT"); // nothing edited is sent
    }
};

QTEST_MAIN(TestAppController)
#include "tst_appcontroller.moc"
