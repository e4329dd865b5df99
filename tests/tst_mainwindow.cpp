#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "ui/compounddetailsdialog.h"
#include "ui/compoundeditdialog.h"
#include "ui/formulamarkup.h"
#include "ui/mainwindow.h"

#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray FullList = R"([
    {"kod":"A1","nev":"Víz","keplet":"H2O","molaris_tomeg":"18.02","szin":"színtelen","halmazallapot":"folyékony"},
    {"kod":"B2","nev":"Kénsav","keplet":"H2SO4","molaris_tomeg":"98.08","szin":"színtelen","halmazallapot":"folyékony"},
    {"kod":" K4 ","nev":"Kálium","keplet":"K","molaris_tomeg":"39.10","szin":"ezüst","halmazallapot":"szilárd"}
])";
const QByteArray SearchResult = R"([
    {"kod":" K4 ","nev":"Kálium","keplet":"K<2","molaris_tomeg":"39.10","szin":"ezüst","halmazallapot":"szilárd"}
])";

// Answers the compound endpoints like the real server: the full list, one
// search result, and success for every write.
ScriptedResponse compoundServer(const RecordedRequest &r)
{
    if (r.method == "GET" && r.path() == "/api/v1/compounds")
        return ScriptedResponse::json(200, FullList);
    if (r.method == "GET" && r.path() == "/api/v1/compounds/search")
        return ScriptedResponse::json(200, SearchResult);
    if (r.method == "GET" && r.path().endsWith("/details"))
        return ScriptedResponse::json(200, R"({"kod":"x"})");
    if (r.method == "POST")
        return ScriptedResponse::json(201, "{}");
    return ScriptedResponse::json(200, "{}");
}

QJsonObject bodyOf(const LoopbackServer &server, const QByteArray &method, const QByteArray &path)
{
    for (const RecordedRequest &r : server.requests()) {
        if (r.method == method && r.path() == path)
            return QJsonDocument::fromJson(r.body).object();
    }
    return {};
}

int countWrites(const LoopbackServer &server)
{
    int n = 0;
    for (const RecordedRequest &r : server.requests())
        n += r.method != "GET";
    return n;
}

QLayout *layoutHolding(QLayout *layout, QWidget *widget)
{
    if (layout->indexOf(widget) >= 0)
        return layout;
    for (int i = 0; i < layout->count(); ++i) {
        if (QLayout *child = layout->itemAt(i)->layout()) {
            if (QLayout *found = layoutHolding(child, widget))
                return found;
        }
    }
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    LoopbackServer *server = nullptr;
    ApiClient *api = nullptr;
    ModalAnswerer *answerer = nullptr;

    QScopedPointer<MainWindow> w;

    // Shows the window once the server's full list fills it.
    void openWindow(const QString &role, const QString &keresztnev = QStringLiteral("Anna"))
    {
        w.reset(new MainWindow(api, "anna", role, keresztnev));
        w->show();
        QTRY_COMPARE(table()->rowCount(), 3);
    }
    QTableWidget *table()
    {
        return w->findChild<QTableWidget *>("compoundTable");
    }
    QPushButton *button(const char *name)
    {
        return w->findChild<QPushButton *>(QLatin1String(name));
    }
    int count(const QByteArray &method, const QByteArray &path) const
    {
        int n = 0;
        for (const RecordedRequest &r : server->requests())
            n += r.method == method && r.path() == path;
        return n;
    }
    // Every request sent before this one has reached the server by the time
    // its answer is back.
    void fence()
    {
        QSignalSpy spy(api, &ApiClient::compoundsSearchOk);
        api->searchCompounds("fence");
        QVERIFY(spy.wait());
    }
    void searchFor(const QString &text)
    {
        QTest::keyClicks(w->findChild<QLineEdit *>("searchEdit"), text);
        QTRY_COMPARE(table()->rowCount(), 1);
    }

private slots:
    void initTestCase()
    {
        registerRecordTypes();
    }
    void init()
    {
        server = new LoopbackServer;
        server->setHandler(compoundServer);
        api = new ApiClient;
        api->setBaseUrl(server->origin());
        api->setToken("t");
        answerer = new ModalAnswerer;
    }
    void cleanup()
    {
        w.reset();
        delete answerer;
        delete api;
        delete server;
    }

    void formulaMarkup_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("html");
        const char *const rows[][3]
            = {{"H2SO4", "H2SO4", "H<sub>2</sub>SO<sub>4</sub>"}, {"less-than", "A<B", "A&lt;B"},
                {"markup, quote and ampersand", "<b a=\"q\">&1</b>",
                    "&lt;b a=&quot;q&quot;&gt;&amp;<sub>1</sub>&lt;/b&gt;"},
                {"arabic-indic", "H\u0662O", "H<sub>\u0662</sub>O"},
                {"superscript two is no decimal digit", "m\u00b2", "m\u00b2"},
                {"digit outside the BMP", "X\U0001D7CF", "X\U0001D7CF"}};
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
    }
    void formulaMarkup()
    {
        QFETCH(QString, formula);
        QFETCH(QString, html);
        QCOMPARE(formulaToHtml(formula), html);
    }

    void roleButtons_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QStringList>("toolbar");
        QTest::addColumn<QString>("keresztnev");
        QTest::addColumn<QString>("greeting");
        const QStringList editing {"addButton", "editButton", "deleteButton"};
        const QString anna = QString::fromUtf8("Üdvözlöm, Anna!");
        QTest::newRow("admin") << "admin" << editing + QStringList {"usersButton", "searchEdit"}
                               << "Anna" << anna;
        QTest::newRow("editor, no first name") << "editor" << editing + QStringList {"searchEdit"}
                                               << "" << QString::fromUtf8("Üdvözlöm, anna!");
        QTest::newRow("user, markup stays text")
            << "user" << QStringList {"searchEdit"} << "<i>x</i>"
            << QString::fromUtf8("Üdvözlöm, <i>x</i>!");
        QTest::newRow("Admin") << "Admin" << QStringList {"searchEdit"} << "Anna" << anna;
    }
    void roleButtons()
    {
        QFETCH(QString, role);
        QFETCH(QStringList, toolbar);
        QFETCH(QString, keresztnev);
        QFETCH(QString, greeting);
        openWindow(role, keresztnev);
        auto *search = w->findChild<QLineEdit *>("searchEdit");
        QLayout *row = layoutHolding(w->centralWidget()->layout(), search);
        QVERIFY(row);
        QStringList order;
        for (int i = 0; i < row->count(); ++i) {
            if (QWidget *widget = row->itemAt(i)->widget())
                order << widget->objectName();
        }
        QCOMPARE(order, toolbar);
        // Buttons a role may not use are never created, not merely hidden.
        QStringList buttons;
        for (QPushButton *b : w->findChildren<QPushButton *>())
            buttons << b->objectName();
        QCOMPARE(buttons.size(), toolbar.size());
        QVERIFY(buttons.contains("logoutButton"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Orvantis - anna (%1)").arg(role));

        auto *welcome = w->findChild<QLabel *>("welcomeLabel");
        QCOMPARE(welcome->text(), greeting);
        QCOMPARE(welcome->textFormat(), Qt::PlainText);
        const QRegularExpression clock("^\\d{4}\\.\\d{2}\\.\\d{2} \\d{2}:\\d{2}:\\d{2}$");
        QVERIFY(clock.match(w->findChild<QLabel *>("clockLabel")->text()).hasMatch());

        // Logging out only asks; the controller closes the window.
        QSignalSpy logout(w.data(), &MainWindow::logoutRequested);
        button("logoutButton")->click();
        QCOMPARE(logout.size(), 1);
        QVERIFY(w->isVisible());
    }

    void tableShowsList()
    {
        openWindow("user");
        QTableWidget *t = table();
        auto *formula = qobject_cast<QLabel *>(t->cellWidget(1, 2));
        QVERIFY(formula);
        QCOMPARE(formula->textFormat(), Qt::RichText);
        QCOMPARE(formula->text(), "H<sub>2</sub>SO<sub>4</sub>");
        QCOMPARE(t->item(2, 0)->text(), " K4 ");
        QCOMPARE(t->item(2, 5)->text(), QString::fromUtf8("szilárd"));
        QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);

        // A selected row's formula takes the selection's text colour.
        t->selectRow(1);
        QCOMPARE(formula->foregroundRole(), QPalette::HighlightedText);
        t->selectRow(0);
        QCOMPARE(formula->foregroundRole(), QPalette::WindowText);

        // Grows, rewrites every formula, changes one row, shrinks: each time
        // the rows show exactly the list.
        const auto make = [](int count, const QString &tag) {
            QList<Compound> list;
            for (int i = 0; i < count; ++i)
                list.append(Compound {tag + QString::number(i), "n", tag + "2", "", "", ""});
            return list;
        };
        QList<Compound> oneChanged = make(40, "B");
        oneChanged[7].keplet = "X3";
        oneChanged[8].nev = QString::fromUtf8("új");
        const QList<QList<Compound>> lists {
            make(40, "A"), make(40, "B"), oneChanged, make(5, "C"), make(12, "D"), {}};
        for (const QList<Compound> &list : lists) {
            w->fillTable(list);
            QCOMPARE(t->rowCount(), list.size());
            for (int row = 0; row < list.size(); ++row) {
                QCOMPARE(t->item(row, 0)->text(), list.at(row).kod);
                QCOMPARE(t->item(row, 1)->text(), list.at(row).nev);
                QCOMPARE(qobject_cast<QLabel *>(t->cellWidget(row, 2))->text(),
                    formulaToHtml(list.at(row).keplet));
            }
            QVERIFY(t->updatesEnabled());
        }
    }

    void searchDebounce()
    {
        openWindow("user");
        auto *timer = w->findChild<QTimer *>("searchTimer");
        QVERIFY(timer);

        searchFor("ab");
        QVERIFY(!timer->isActive());
        QCOMPARE(count("GET", "/api/v1/compounds/search"), 1);
        QCOMPARE(server->requests().last().target,
            QByteArray("/api/v1/compounds/search?q=ab&limit=200"));

        // Only blanks: the full list comes back without asking the server.
        auto *edit = w->findChild<QLineEdit *>("searchEdit");
        edit->clear();
        QTest::keyClicks(edit, "   ");
        QTRY_COMPARE(table()->rowCount(), 3);
        QVERIFY(!timer->isActive());
        QCOMPARE(count("GET", "/api/v1/compounds/search"), 1);
        QCOMPARE(count("GET", "/api/v1/compounds"), 1);
    }

    void editAddressesListedCode()
    {
        openWindow("editor");
        searchFor("K");
        table()->setCurrentCell(0, 1);

        answerer->push(ModalAnswerer::fill<CompoundEditDialog>([](CompoundEditDialog *d) {
            QCOMPARE(d->findChild<QLineEdit *>("kodEdit")->text(), " K4 ");
            QVERIFY(d->findChild<QLineEdit *>("kodEdit")->isReadOnly());
            QCOMPARE(d->findChild<QLineEdit *>("kepletEdit")->text(), "K<2");
            d->findChild<QLineEdit *>("nevEdit")->setText("  Kálium  ");
            d->accept();
        }));
        button("editButton")->click();
        QCOMPARE(answerer->seen().size(), 1);

        QTRY_COMPARE(count("PUT", "/api/v1/compounds/%20K4%20"), 1);
        const QJsonObject body = bodyOf(*server, "PUT", "/api/v1/compounds/%20K4%20");
        QCOMPARE(body.value("kod").toString(), " K4 ");
        QCOMPARE(body.value("nev").toString(), QString::fromUtf8("Kálium"));
        QCOMPARE(count("PUT", "/api/v1/compounds/K4"), 0);

        // One reload, whose full list replaces the search result.
        QTRY_COMPARE(table()->rowCount(), 3);
        QCOMPARE(count("GET", "/api/v1/compounds"), 2);
        QCOMPARE(w->findChild<QLineEdit *>("searchEdit")->text(), "K");
    }

    void deleteUsesShownRow_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<int>("deletes");
        QTest::newRow("yes") << QMessageBox::Yes << 1;
        QTest::newRow("no") << QMessageBox::No << 0;
    }
    void deleteUsesShownRow()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(int, deletes);
        openWindow("admin");
        searchFor("K");
        table()->setCurrentCell(0, 0);

        answerer->push(ModalAnswerer::pressStandard(answer));
        button("deleteButton")->click();
        QCOMPARE(answerer->seen().size(), 1);
        const SeenModal question = answerer->seen().first();
        QCOMPARE(question.title, QString::fromUtf8("Törlés"));
        QCOMPARE(question.text, QString::fromUtf8("Biztos törlöd:  K4  ?"));
        QCOMPARE(question.textFormat, Qt::PlainText);
        QCOMPARE(question.icon, QMessageBox::Question);
        QCOMPARE(question.buttons.size(), 2);

        fence();
        QCOMPARE(count("DELETE", "/api/v1/compounds/%20K4%20"), deletes);
        QCOMPARE(countWrites(*server), deletes);
        if (deletes)
            QTRY_COMPARE(count("GET", "/api/v1/compounds"), 2);
    }

    void addSendsTrimmedCompound()
    {
        openWindow("editor");
        answerer->push(ModalAnswerer::fill<CompoundEditDialog>([](CompoundEditDialog *d) {
            QCOMPARE(d->windowTitle(), QString::fromUtf8("Vegyület"));
            QVERIFY(!d->findChild<QLineEdit *>("kodEdit")->isReadOnly());
            d->findChild<QLineEdit *>("kodEdit")->setText(" N1 ");
            d->findChild<QLineEdit *>("nevEdit")->setText("\tNitrogén ");
            d->findChild<QLineEdit *>("kepletEdit")->setText("A<B");
            d->findChild<QLineEdit *>("molarisTomegEdit")->setText(" 1 ");
            d->accept();
        }));
        button("addButton")->click();
        QTRY_COMPARE(count("POST", "/api/v1/compounds"), 1);
        const QJsonObject body = bodyOf(*server, "POST", "/api/v1/compounds");
        QCOMPARE(body.value("kod").toString(), "N1");
        QCOMPARE(body.value("nev").toString(), QString::fromUtf8("Nitrogén"));
        QCOMPARE(body.value("keplet").toString(), "A<B");
        QCOMPARE(body.value("molaris_tomeg").toString(), "1");
        QTRY_COMPARE(count("GET", "/api/v1/compounds"), 2);
    }

    void validationWarnings_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("selectRow");
        QTest::addColumn<QString>("kod");
        QTest::addColumn<QString>("nev");
        QTest::addColumn<QString>("warning");
        const QString both = QString::fromUtf8("Kód és Név kötelező.");
        const QString pick = "Válassz ki egy sort!";
        QTest::newRow("add with blank name") << "addButton" << false << "K1"
                                             << "   " << both;
        QTest::newRow("add without code") << "addButton" << false << " "
                                          << "Név" << both;
        QTest::newRow("edit with blank name") << "editButton" << true << ""
                                              << " \t " << QString::fromUtf8("Név kötelező.");
        QTest::newRow("edit without row") << "editButton" << false << ""
                                          << "" << pick;
        QTest::newRow("delete without row") << "deleteButton" << false << ""
                                            << "" << pick;
    }
    void validationWarnings()
    {
        QFETCH(QString, action);
        QFETCH(bool, selectRow);
        QFETCH(QString, kod);
        QFETCH(QString, nev);
        QFETCH(QString, warning);
        openWindow("admin");
        if (selectRow)
            table()->setCurrentCell(1, 0);
        if (action == "addButton" || selectRow) {
            answerer->push(ModalAnswerer::fill<CompoundEditDialog>([&](CompoundEditDialog *d) {
                if (!kod.isEmpty())
                    d->findChild<QLineEdit *>("kodEdit")->setText(kod);
                d->findChild<QLineEdit *>("nevEdit")->setText(nev);
                d->accept();
            }));
        }
        w->findChild<QPushButton *>(action)->click();
        const SeenModal box = answerer->seen().last();
        QCOMPARE(box.title, "Hiba");
        QCOMPARE(box.text, warning);
        QCOMPARE(box.icon, QMessageBox::Warning);
        fence();
        QCOMPARE(countWrites(*server), 0);
    }

    void failedWriteShowsServerTextPlainAndKeepsTable()
    {
        server->setHandler([](const RecordedRequest &r) {
            if (r.method == "PUT")
                return ScriptedResponse::json(500, "<b>hiba</b>");
            return compoundServer(r);
        });
        openWindow("admin");
        table()->setCurrentCell(0, 0);
        answerer->push(
            ModalAnswerer::fill<CompoundEditDialog>([](CompoundEditDialog *d) { d->accept(); }));
        button("editButton")->click();
        QTRY_COMPARE(answerer->seen().size(), 2);
        const SeenModal box = answerer->seen().last();
        QCOMPARE(box.text, QString::fromUtf8("Sikertelen frissítés. HTTP=500\n<b>hiba</b>"));
        QCOMPARE(box.textFormat, Qt::PlainText);
        QCOMPARE(count("GET", "/api/v1/compounds"), 1);
        QCOMPARE(table()->rowCount(), 3);
    }

    void detailsOpenForSearchResult()
    {
        openWindow("user");
        searchFor("K");
        QString formula;
        answerer->push([&](QWidget *modal) {
            auto *dialog = qobject_cast<CompoundDetailsDialog *>(modal);
            if (!dialog)
                return false;
            formula = dialog->findChild<QLabel *>("formulaLabel")->text();
            dialog->reject();
            return true;
        });
        QTableWidget *t = table();
        const QRect cell = t->visualRect(t->model()->index(0, 0));
        // As from a mouse: a click, then the double-click event.
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(formula, "K&lt;<sub>2</sub>");
        QTRY_COMPARE(count("GET", "/api/v1/compounds/%20K4%20/details"), 1);

        // Outside the rows nothing opens.
        w->openDetails(1);
        w->openDetails(-1);
        QCOMPARE(answerer->seen().size(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
