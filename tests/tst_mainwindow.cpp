#include "tests/uifixture.h"
#include "ui/compoundeditdialog.h"
#include "ui/mainwindow.h"

#include <QClipboard>
#include <QDateTime>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

namespace {

const QByteArray ListPath = "/api/v1/compounds", SearchPath = "/api/v1/compounds/search";
const QByteArray List
    = R"([{"kod":"A1","nev":"Víz","keplet":"H2SO4"},{"kod":" B2 ","keplet":"C9H10<B"},
    {"kod":"K4","keplet":"H\u0662O"},{"kod":"X","keplet":"X\uD835\uDFCF"}])";
const char *const All = "A1  B2  K4 X|Víz[H<sub>2</sub>SO<sub>4</sub>]",
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
    const QString q = QUrlQuery(QUrl(QString(r.target))).queryItemValue("q", QUrl::FullyDecoded);
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
} Roles[] = {{"admin", "admin", "Anna", "add edit delete users export logout", "Anna"},
    {"editor", "editor", "", "add edit delete export logout", "<b>anna</b>"},
    {"user", "user", "<i>x</i>", "export logout", "<i>x</i>"},
    {"Admin", "Admin", "A", "export logout", "A"}};

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
} Cases[] = {{"replies crossed", "a|ab", "ab|Név[]", "GET GET/search GET/search"},
    {"emptied before the reply", "ab|", All, "GET GET/search"},
    {"hit in the details only", "d", "d|Név (a részletekben)[]", "GET GET/search"},
    {"no hits", "zz", "|Nincs találat.", "GET GET/search"},
    {"search refused", "E", All, "GET GET/search", -1, "", ModalAnswerer::accept(),
        "Keresés sikertelen. HTTP=500"},
    {"add", "", All, "GET GET POST", -1, "add", fill(" N1 ", "\tN ")},
    {"add refused", "", All, "GET POST", -1, "add", fill("E", "N"),
        "|Sikertelen létrehozás. HTTP=500\n[]"},
    {"add, blank name", "", All, "GET", -1, "add", fill("K1", "  "), "|Kód és Név kötelező."},
    {"edit, blank name", "", All, "GET", 1, "edit", fill("", " \t "), "|Név kötelező."},
    {"edit, no row", "", All, "GET", -1, "edit", ModalAnswerer::accept(), "Válassz ki egy sort!"},
    {"delete, No", "", All, "GET", 1, "delete", ModalAnswerer::pressButton("&No"),
        "Biztos törlöd:  B2  ?"},
    {"edit, code with blanks", "", All, "GET GET PUT/%20B2%20", 1, "edit", fill("", "N")},
    {"edit under a search", "K", "K|Név[]", "GET GET GET/search GET/search PUT/K", 0, "edit",
        fill("", " Kálium ")},
    {"details of the shown row", "K", "K|Név[]", "GET GET/K/details GET/search", 0, "",
        ModalAnswerer::reject()}};

// In the server's order; a search finds all of it. The CSV row of each code.
const QByteArray Lab = R"([{"kod":"O1","nev":"Oxigén","keplet":"O2","molaris_tomeg":"100",
    "szin":"\"x\""},{"kod":"C2","nev":"Cukor","keplet":"C12","molaris_tomeg":"342.3","szin":"a;b"},
    {"kod":"O2","nev":"Ólom","keplet":"Pb","molaris_tomeg":"-","halmazallapot":"szilárd\nfém"},
    {"kod":"C1","nev":"Csillám","keplet":"H2O","molaris_tomeg":"18,02","szin":"=1+1"}])";
const QMap<QString, QByteArray> Csv {{"O1", "O1;Oxigén;O2;100;\"\"\"x\"\"\";\r\n"},
    {"C2", "C2;Cukor;C12;342.3;\"a;b\";\r\n"}, {"O2", "O2;Ólom;Pb;'-;;\"szilárd\nfém\"\r\n"},
    {"C1", "C1;Csillám;H2O;18,02;'=1+1;\r\n"}};

// With the rows of K4 (current) and B2 selected and `typed` just put into the
// search box, `key` is pressed in the table or else in the search box.
// Expected: the widget with the focus, the search text, the requests sent
// then, the message boxes seen and the clipboard.
const struct {
    const char *name, *role, *typed, *expected;
    QKeyCombination key;
    bool inTable = true;
} Keys[] = {{"Ctrl+F", "user", "", "searchEdit||||", Qt::CTRL | Qt::Key_F},
    {"F5, a search typed", "user", "zz", "searchEdit|zz|GET GET/search GET/search||", Qt::Key_F5,
        false},
    {"Enter", "user", "", "compoundTable||GET/K4/details||", Qt::Key_Return},
    {"Delete", "editor", "", "compoundTable||DELETE/K4 GET|Biztos törlöd: K4 ?|", Qt::Key_Delete},
    {"Delete, role user", "user", "", "compoundTable||||", Qt::Key_Delete},
    {"Enter in the search box", "user", "zz", "searchEdit|zz|GET/search||", Qt::Key_Return, false},
    {"Escape in the search box", "user", "zz", "searchEdit||||", Qt::Key_Escape, false},
    {"Escape in the table", "user", "zz", "compoundTable||||", Qt::Key_Escape},
    {"Ctrl+C", "user", "", "compoundTable|||| B2 \t\tC9H10<B\t\t\t\nK4\t\tH\u0662O\t\t\t\n",
        Qt::CTRL | Qt::Key_C}};

// The column headers clicked in turn, the export's file, and the codes then
// shown top to bottom with the message of a failed export.
const struct {
    const char *name, *clicks, *order, *file = "a.csv";
} Sorts[] = {{"code", "0", "C1 C2 O1 O2"}, {"name", "1", "C2 C1 O2 O1"},
    {"name reversed", "1 1", "O1 O2 C1 C2"}, {"formula", "2", "C2 C1 O1 O2"},
    {"molar mass", "3", "C1 O1 C2 O2"},
    {"no such folder", "3 3", "O2 C2 O1 C1 Nem sikerült menteni: No such file or directory",
        "no/a.csv"}};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<UiFixture> f;
    std::unique_ptr<MainWindow> w;
    QTableWidget *table = nullptr;

    // The codes shown, then the first name and formula, or else the no-hits text.
    QString shown()
    {
        QStringList codes;
        for (int row = 0; row < table->rowCount(); ++row)
            codes << table->item(row, 0)->text();
        const auto *none = w->findChild<QLabel *>("noHitsLabel");
        const auto *formula = qobject_cast<QLabel *>(table->cellWidget(0, 2));
        return codes.join(' ') + '|'
            + (none->isHidden() ? table->item(0, 1)->text() + '[' + formula->text() + ']'
                                : none->text());
    }
    // The requests from the index on, sorted, without the common path.
    QString sentFrom(qsizetype first)
    {
        QStringList sent;
        for (const RecordedRequest &r : f->server.requests().mid(first))
            sent << QString(r.method + r.path()).remove(ListPath);
        sent.sort();
        return sent.join(' ');
    }
    void open(const char *role, const char *keresztnev, LoopbackServer::Handler handler = reply)
    {
        w.reset();
        f = std::make_unique<UiFixture>();
        f->server.setHandler(handler);
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
        QStringList seen {welcome->text(),
            QDateTime::fromString(
                w->findChild<QLabel *>("clockLabel")->text(), "yyyy.MM.dd HH:mm:ss")
                    .isValid()
                ? ""
                : "no clock"};
        for (const QPushButton *b : w->findChildren<QPushButton *>())
            seen << b->objectName().chopped(6);
        for (int row = 0; row < 4; ++row)
            seen << qobject_cast<QLabel *>(table->cellWidget(row, 2))->text();
        QCOMPARE(seen.join(' '),
            QString("Üdvözlöm, %1!  %2 %3").arg(Roles[index].greeted, Roles[index].buttons, Html));
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
        QCOMPARE(sentFrom(0), c.requests);
        QCOMPARE(shown(), c.shown);
    }

    void keys_data()
    {
        addRows(Keys);
    }
    void keys()
    {
        QFETCH(int, index);
        const auto &k = Keys[index];
        open(k.role, "");
        table->setCurrentCell(2, 0);
        table->setRangeSelected({1, 0, 1, 5}, true);
        auto *search = w->findChild<QLineEdit *>("searchEdit");
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        (k.inTable ? static_cast<QWidget *>(table) : search)->setFocus();
        search->setText(k.typed); // searched for 250 ms after the key, unless emptied
        const qsizetype before = f->server.requests().size();
        QTest::keyClick(QApplication::focusWidget(), k.key.key(), k.key.keyboardModifiers());
        QVERIFY(f->fence());
        const auto outcome = [&] {
            const QWidget *focus = w->focusWidget(); // also while a modal window is open
            return QStringList {focus ? focus->objectName() : "", search->text(), sentFrom(before),
                f->modals.seenTexts().join(' '), QGuiApplication::clipboard()->text()}
                .join('|');
        };
        QTRY_COMPARE(outcome(), k.expected);
    }

    // The order holds through an edit of the first row, which must reach that
    // row's compound, and the reload; the export follows it.
    void sorting_data()
    {
        addRows(Sorts);
    }
    void sorting()
    {
        QFETCH(int, index);
        const auto &s = Sorts[index];
        open("editor", "", [](const RecordedRequest &r) {
            return ScriptedResponse::json(200, r.method == "GET" ? Lab : "{}");
        });
        QHeaderView *header = table->horizontalHeader();
        for (const QString &column : QString(s.clicks).split(' '))
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                {header->sectionViewportPosition(column.toInt()) + 5, 5});
        table->setCurrentCell(0, 0);
        f->modals.push(fill("", "Új"));
        QSignalSpy reloaded(&f->api, &ApiClient::compoundsOk);
        w->findChild<QPushButton *>("editButton")->click();
        QVERIFY(reloaded.wait());
        QTemporaryDir dir;
        w->exportTo(dir.filePath(s.file));
        QByteArray csv = "\xEF\xBB\xBFKód;Név;Képlet;Moláris tömeg;Szín;Halmazállapot\r\n";
        const QString codes = shown().section('|', 0, 0);
        for (const QString &kod : codes.split(' '))
            csv += Csv[kod];
        QCOMPARE(
            f->server.requests().at(1).path(), "/api/v1/compounds/" + codes.left(2).toLatin1());
        QFile file(dir.filePath(s.file));
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : csv, csv);
        QCOMPARE(codes + (file.exists() ? "" : " " + f->modals.seenTexts().last()), s.order);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
