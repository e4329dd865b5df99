#include "tests/uifixture.h"
#include "ui/compoundeditdialog.h"
#include "ui/mainwindow.h"

#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QUrlQuery>

namespace {

const QByteArray ListPath = "/api/v1/compounds", SearchPath = "/api/v1/compounds/search";
const QByteArray List
    = R"([{"kod":"A1","nev":"Víz","keplet":"H2SO4"},{"kod":" B2 ","keplet":"C9H10<B"},
    {"kod":"K4","keplet":"H\u0662O"},{"kod":"X","keplet":"X\uD835\uDFCF"}])";
const char *const All = "A1  B2  K4 X|Víz",
                  *const Html
    = "H<sub>2</sub>SO<sub>4</sub> C<sub>9</sub>H<sub>1</sub><sub>0</sub>&lt;B H<sub>\u0662</sub>O "
      "X\U0001D7CF";

// The list; a search finds one compound whose code is the text searched for,
// but "zz" finds nothing, and "d" only in the details. The code or search "E"
// is refused, and, as on the real server, an update that does not name the
// code of its address.
ScriptedResponse reply(const RecordedRequest &r)
{
    const QString kod = QJsonDocument::fromJson(r.body)["kod"].toString();
    const QString q = QUrlQuery(QString(r.query())).queryItemValue("q", QUrl::FullyDecoded);
    if (kod == "E" || q == "E"
        || (r.method == "PUT" && QUrl::toPercentEncoding(kod) != r.path().split('/').last()))
        return ScriptedResponse::json(500, "[]");
    const QJsonArray hits {
        QJsonObject {{"kod", q}, {"nev", "Név"}, {"details_hit", true}, {"base_hit", q != "d"}}};
    if (r.path() != SearchPath)
        return ScriptedResponse::json(200, r.path() == ListPath ? List : "{}");
    return ScriptedResponse::json(200, QJsonDocument(q == "zz" ? QJsonArray() : hits).toJson());
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

const struct {
    const char *name, *role, *keresztnev, *buttons, *greeted;
} Roles[] = {{"admin", "admin", "Anna", "add edit delete users logout", "Anna"},
    {"editor", "editor", "", "add edit delete logout", "<b>anna</b>"},
    {"user", "user", "<i>x</i>", "logout", "<i>x</i>"}, {"Admin", "Admin", "A", "logout", "A"}};

// The search box holds `steps` in turn ('|' between); the replies wait and are
// answered newest first. Then, with row `row` current, `button` is clicked (or
// else the row double-clicked) and the modal window gets `answer`. Expected:
// the codes and the first name shown, the requests sent (sorted,
// without the common path) and the texts of the modal windows.
const struct {
    const char *name, *steps, *shown, *requests;
    int row = -1;
    const char *button = "";
    ModalAnswerer::Answer answer = ModalAnswerer::accept();
    const char *texts = "";
} Cases[] = {{"replies crossed", "a|ab", "ab|Név", "GET GET/search GET/search"},
    {"emptied before the reply", "ab|", All, "GET GET/search"},
    {"hit in the details only", "d", "d|Név (a részletekben)", "GET GET/search"},
    {"no hits", "zz", "|Nincs találat.", "GET GET/search"},
    {"search refused", "E", All, "GET GET/search", -1, "", ModalAnswerer::accept(),
        "Keresés sikertelen. HTTP=500"},
    {"add", "", All, "GET GET POST", -1, "add", fill(" N1 ", "\tN ")},
    {"add refused", "", All, "GET POST", -1, "add", fill("E", "N"),
        "|Sikertelen létrehozás. HTTP=500\n[]"},
    {"add, blank name", "", All, "GET", -1, "add", fill("K1", "  "), "|Kód és Név kötelező."},
    {"edit, blank name", "", All, "GET", 1, "edit", fill("", " \t "), "|Név kötelező."},
    {"edit, no row", "", All, "GET", -1, "edit", ModalAnswerer::accept(), "Válassz ki egy sort!"},
    {"delete, No", "", All, "GET", 1, "delete", ModalAnswerer::pressStandard(QMessageBox::No),
        "Biztos törlöd:  B2  ?"},
    {"edit, code with blanks", "", All, "GET GET PUT/%20B2%20", 1, "edit", fill("", "N")},
    {"edit under a search", "K", "K|Név", "GET GET GET/search GET/search PUT/K", 0, "edit",
        fill("", " Kálium ")},
    {"details of the shown row", "K", "K|Név", "GET GET/K/details GET/search", 0, "",
        ModalAnswerer::reject()}};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<UiFixture> f;
    std::unique_ptr<MainWindow> w;
    QTableWidget *table = nullptr;

    // The codes shown, then the first name, or else the no-hits text.
    QString shown()
    {
        QStringList codes;
        for (int row = 0; row < table->rowCount(); ++row)
            codes << table->item(row, 0)->text();
        const auto *none = w->findChild<QLabel *>("noHitsLabel");
        return codes.join(' ') + '|'
            + (none->isHidden() ? table->item(0, 1)->text() : none->text());
    }
    void open(const char *role, const char *keresztnev)
    {
        w.reset();
        f = std::make_unique<UiFixture>();
        f->server.setHandler(reply);
        w = std::make_unique<MainWindow>(&f->api, "<b>anna</b>", role, keresztnev);
        w->show();
        table = w->findChild<QTableWidget *>("compoundTable");
        QTRY_COMPARE(table->rowCount(), 4);
    }

private slots:
    void rolesAndRows_data()
    {
        addRows(Roles);
    }
    void rolesAndRows()
    {
        QFETCH(int, index);
        open(Roles[index].role, Roles[index].keresztnev);
        const auto *welcome = w->findChild<QLabel *>("welcomeLabel");
        QCOMPARE(welcome->textFormat(), Qt::PlainText);
        QStringList seen {welcome->text()};
        for (const QPushButton *b : w->findChildren<QPushButton *>())
            seen << b->objectName().chopped(6);
        for (int row = 0; row < 4; ++row)
            seen << qobject_cast<QLabel *>(table->cellWidget(row, 2))->text();
        QCOMPARE(seen.join(' '),
            QString("Üdvözlöm, %1! %2 %3").arg(Roles[index].greeted, Roles[index].buttons, Html));
    }

    void searchAndActions_data()
    {
        addRows(Cases);
    }
    void searchAndActions()
    {
        QFETCH(int, index);
        const auto &c = Cases[index];
        open("admin", "A");
        QSignalSpy found(&f->api, &ApiClient::compoundsSearchOk);
        int refused = 0;
        connect(&f->api, &ApiClient::compoundsSearchError, &found, [&] { ++refused; });
        QStringList afterLists; // what is shown right after each list reply, while `found` lives
        connect(&f->api, &ApiClient::compoundsOk, &found, [&] { afterLists << shown(); });
        f->server.setHolding(true);
        int held = 0;
        for (const QString &text : QString(c.steps).split('|')) {
            w->findChild<QLineEdit *>("searchEdit")->setText(text);
            held += !text.isEmpty();
            QTRY_COMPARE(f->server.heldCount(), held);
        }
        f->server.setHolding(false);
        for (int i = held - 1; i >= 0; --i)
            f->server.respondToHeld(i, reply(f->server.requests()[1 + i])); // after the list
        QTRY_COMPARE(found.size() + refused, held);
        table->setCurrentCell(c.row, 0);
        f->modals.push(c.answer);
        if (*c.button)
            w->findChild<QPushButton *>(QString(c.button) + "Button")->click();
        else
            emit table->cellDoubleClicked(c.row, 1);
        QTRY_COMPARE(f->modals.seenTexts().join('|'), c.texts);
        // A write reloads the list once, which leaves the search results shown.
        QTRY_COMPARE(
            afterLists, QStringList(int(QString(c.requests).split(' ').count("GET")) - 1, c.shown));
        QVERIFY(f->fence());
        QVERIFY(!w->findChild<QTimer *>("searchTimer")->isActive()); // one search per pause
        QStringList sent;
        for (const RecordedRequest &r : f->server.requests())
            sent << QString(r.method + r.path()).remove(ListPath);
        sent.sort();
        QCOMPARE(sent.join(' '), c.requests);
        QCOMPARE(shown(), c.shown);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
