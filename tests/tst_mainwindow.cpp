#include "tests/uifixture.h"
#include "ui/compoundeditdialog.h"
#include "ui/mainwindow.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QUrlQuery>

#include <memory>

namespace {

const QByteArray ListPath = "/api/v1/compounds", SearchPath = "/api/v1/compounds/search";
const QByteArray FullList = R"([{"kod":"A1","nev":"Víz","keplet":"H2O"},
    {"kod":"B2","nev":"Kénsav","keplet":"H2SO4"},{"kod":"K4","nev":"Kálium","keplet":"K"}])";
const char *const All = "A1 B2 K4";

const QStringList Formulas {"H2SO4", "A<B", "H\u0662O", "X\U0001D7CF"},
    Html {"H<sub>2</sub>SO<sub>4</sub>", "A&lt;B", "H<sub>\u0662</sub>O", "X\U0001D7CF"};

// 50 records with markup, a link, right-to-left and huge texts, and the
// formulas above in turn.
QByteArray hostileList()
{
    QJsonArray rows;
    for (int row = 0; row < 50; ++row)
        rows.append(QJsonObject {{"kod", "<b>x</b>"}, {"keplet", Formulas[row % 4]},
            {"nev", QString("\u202e<a href=\"x\">y</a><img src=x>").repeated(500)}});
    return QJsonDocument(rows).toJson();
}

// One compound whose code is the text searched for; "zz" finds nothing, and
// "d" is found in the details only.
ScriptedResponse searchReply(const RecordedRequest &r)
{
    const QString q = QUrlQuery(QString(r.query())).queryItemValue("q", QUrl::FullyDecoded);
    const QJsonObject hit {
        {"kod", q}, {"nev", "Név"}, {"details_hit", q == "d"}, {"base_hit", q != "d"}};
    return ScriptedResponse::json(
        200, QJsonDocument(q == "zz" ? QJsonArray() : QJsonArray {hit}).toJson());
}

// Types the code and the name into the edit dialog (the code field of an
// edit is read-only to the user) and presses OK.
ModalAnswerer::Answer fill(const QString &kod, const QString &nev)
{
    return ModalAnswerer::fill<CompoundEditDialog>([kod, nev](CompoundEditDialog *d) {
        d->findChild<QLineEdit *>("kodEdit")->setText(kod);
        d->findChild<QLineEdit *>("nevEdit")->setText(nev);
        d->accept();
    });
}

// Buttons besides logout, and the name greeted.
const struct {
    const char *name, *role, *keresztnev, *buttons, *greeted;
} Roles[] = {{"admin", "admin", "Anna", "add edit delete users", "Anna"},
    {"editor", "editor", "", "add edit delete", "<b>anna</b>"},
    {"user", "user", "<i>x</i>", "", "<i>x</i>"}, {"no role", "", "A", "", "A"},
    {"Admin", "Admin", "A", "", "A"}};

// The search box holds `steps` in turn ('|' between); the replies wait and are
// answered newest first. Then, with row `row` current, `button` is clicked (or
// else the row double-clicked) and the modal window gets `answer`. Expected:
// the codes shown and the first name, the searches and the list reloads, the
// text of the last modal window, and the one request sent besides lists and
// searches.
const struct {
    const char *name, *steps, *shown, *nameCell;
    int searches, row = -1, reloads = 0;
    const char *button = "";
    ModalAnswerer::Answer answer = ModalAnswerer::accept();
    const char *lastText = "", *request = "";
} Cases[] = {{"two letters", "ab", "ab", "Név", 1}, {"spaces only", "   ", All, "Víz", 0},
    {"replies crossed", "a|ab", "ab", "Név", 2}, {"emptied before the reply", "ab|", All, "Víz", 1},
    {"hit in the details only", "d", "d", "Név (a részletekben)", 1}, {"no hits", "zz", "", "", 1},
    {"add", "", All, "Víz", 0, -1, 1, "add", fill(" N1 ", "\tN "), "", "POST /api/v1/compounds"},
    {"add, blank name", "", All, "Víz", 0, -1, 0, "add", fill("K1", "  "), "Kód és Név kötelező."},
    {"edit, blank name", "", All, "Víz", 0, 1, 0, "edit", fill("", " \t "), "Név kötelező."},
    {"edit, no row", "", All, "Víz", 0, -1, 0, "edit", ModalAnswerer::accept(),
        "Válassz ki egy sort!"},
    {"delete, No", "", All, "Víz", 0, 1, 0, "delete", ModalAnswerer::pressStandard(QMessageBox::No),
        "Biztos törlöd: B2 ?"},
    {"edit under a search", "K", "K", "Név", 2, 0, 1, "edit", fill("", " Kálium "), "",
        "PUT /api/v1/compounds/K"},
    {"details of the shown row", "K", "K", "Név", 1, 0, 0, "", ModalAnswerer::reject(), "",
        "GET /api/v1/compounds/K/details"}};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<UiFixture> f;
    std::unique_ptr<MainWindow> w;
    QTableWidget *table = nullptr;

    QString codes()
    {
        QStringList shown;
        for (int row = 0; row < table->rowCount(); ++row)
            shown << table->item(row, 0)->text();
        return shown.join(' ');
    }
    // Shown once the list fills it.
    void open(const char *role, const char *keresztnev, const QByteArray &list)
    {
        w.reset();
        f = std::make_unique<UiFixture>();
        f->server.setHandler([list](const RecordedRequest &r) {
            return r.path() == SearchPath
                ? searchReply(r)
                : ScriptedResponse::json(200, r.path() == ListPath ? list : "{}");
        });
        w = std::make_unique<MainWindow>(&f->api, "<b>anna</b>", role, keresztnev);
        w->show();
        table = w->findChild<QTableWidget *>("compoundTable");
        QTRY_COMPARE(table->rowCount(), QJsonDocument::fromJson(list).array().size());
    }

private slots:
    void rolesAndRows_data()
    {
        addRows(Roles);
    }
    void rolesAndRows()
    {
        QFETCH(int, index);
        open(Roles[index].role, Roles[index].keresztnev, hostileList());
        QStringList names;
        for (const QPushButton *b : w->findChildren<QPushButton *>())
            names << b->objectName().chopped(6);
        QCOMPARE(names.join(' '), QString(Roles[index].buttons).append(" logout").trimmed());
        const auto *welcome = w->findChild<QLabel *>("welcomeLabel");
        QCOMPARE(welcome->text(), QString("Üdvözlöm, %1!").arg(Roles[index].greeted));
        QCOMPARE(welcome->textFormat(), Qt::PlainText);
        for (int row = 0; row < table->rowCount(); ++row)
            QCOMPARE(qobject_cast<QLabel *>(table->cellWidget(row, 2))->text(), Html[row % 4]);
    }

    void searchAndActions_data()
    {
        addRows(Cases);
    }
    void searchAndActions()
    {
        QFETCH(int, index);
        const auto &c = Cases[index];
        open("admin", "A", FullList);
        QSignalSpy found(&f->api, &ApiClient::compoundsSearchOk);
        QStringList afterLists; // the codes shown right after each list reply, while `found` lives
        connect(&f->api, &ApiClient::compoundsOk, &found, [&] { afterLists << codes(); });
        f->server.setHolding(true);
        int held = 0;
        for (const QString &text : QString(c.steps).split('|')) {
            w->findChild<QLineEdit *>("searchEdit")->clear();
            QTest::keyClicks(w->findChild<QLineEdit *>("searchEdit"), text);
            held += !text.trimmed().isEmpty();
            QTRY_COMPARE(f->server.heldCount(), held);
        }
        f->server.setHolding(false);
        for (int i = held - 1; i >= 0; --i)
            f->server.respondToHeld(i, searchReply(f->sent("GET", SearchPath)[i]));
        // The searches before the action: a write re-runs the one in the box.
        QTRY_COMPARE(found.size(), c.searches - (*c.steps ? c.reloads : 0));
        table->setCurrentCell(c.row, 0);
        f->modals.push(c.answer);
        if (*c.button)
            w->findChild<QPushButton *>(QString(c.button) + "Button")->click();
        else if (c.row >= 0)
            emit table->cellDoubleClicked(c.row, 1);
        QTRY_COMPARE(f->modals.seenTexts().value(f->modals.seen().size() - 1), QString(c.lastText));
        QTRY_COMPARE(afterLists, QStringList(c.reloads, c.shown));
        QVERIFY(f->fence());
        QCOMPARE(f->count("GET", ListPath), 1 + c.reloads);
        QCOMPARE(codes(), QString(c.shown));
        QCOMPARE(w->findChild<QLabel *>("noHitsLabel")->isHidden(), *c.shown != 0);
        QCOMPARE(table->item(0, 1) ? table->item(0, 1)->text() : "", QString(c.nameCell));
        const QList<QByteArray> request = QByteArray(c.request).split(' '); // the only other one
        QCOMPARE(f->count(request.value(0), request.value(1)), int(request.size() > 1));
        QCOMPARE(f->server.requests().size(), 2 + c.searches + c.reloads + (request.size() > 1));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
