#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "ui/compounddetailsdialog.h"
#include "ui/mainwindow.h"
#include "ui/usersdialog.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>

// Records a hostile server could send: markup, entities, links, right-to-left
// text, huge fields, empty and repeated codes, thousands of rows. Every field
// must show as the text it is, and the windows must still close.
namespace {

const QStringList CompoundKeys
    = QStringLiteral("kod nev keplet molaris_tomeg szin halmazallapot").split(QLatin1Char(' '));
const QStringList DetailKeys = QStringLiteral("description cas msds_url ghs storage density "
                                              "melting_point boiling_point solubility notes")
                                   .split(QLatin1Char(' '));
const QStringList UserKeys = QStringLiteral("felhasznalonev vezeteknev keresztnev szerepkor email")
                                 .split(QLatin1Char(' '));

QString longMarkup()
{
    return QStringLiteral("<b>H2O</b>&amp;").repeated(700).left(10000);
}

// None has blank runs or blanks at its ends, which HTML would collapse, so
// the shown text of a label can be compared exactly.
const QList<QPair<const char *, QString>> &hostileTexts()
{
    static const QList<QPair<const char *, QString>> texts {{"bold", QStringLiteral("<b>x</b>")},
        {"image", QStringLiteral("<img src=x>")}, {"entity", QStringLiteral("&amp;")},
        {"link", QStringLiteral("<a href=\"http://127.0.0.1:9/x\">kattints2</a>")},
        {"script", QStringLiteral("<script>alert(1)</script>\"'")},
        {"right-to-left override", QString::fromUtf8("\u202eH2SO4\u202c<i>i</i>")},
        {"arabic", QString::fromUtf8("حمض الكبريتيك H2SO4")},
        {"hebrew", QString::fromUtf8("מים H2O")}, {"10000 characters", longMarkup()},
        {"empty", QString()}};
    return texts;
}

// What a rich-text label shows for its text, tags interpreted.
QString shownText(const QLabel *label)
{
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

// The formula markup written out independently: HTML-escaped, every ASCII
// digit a subscript.
QString expectedFormulaMarkup(const QString &formula)
{
    return formula.toHtmlEscaped().replace(
        QRegularExpression(QStringLiteral("([0-9])")), QStringLiteral("<sub>\\1</sub>"));
}

// 5,000 records, every field hostile, so codes come empty or repeated.
QJsonArray hostileList(const QStringList &keys)
{
    const auto &texts = hostileTexts();
    QJsonArray list;
    for (int row = 0; row < 5000; ++row) {
        QJsonObject object;
        for (int i = 0; i < keys.size(); ++i)
            object.insert(keys.at(i), texts.at((row + i) % texts.size()).second);
        list.append(object);
    }
    return list;
}

QJsonObject detailsWith(const QString &text)
{
    QJsonObject details {{QStringLiteral("kod"), text}};
    for (const QString &key : DetailKeys)
        details.insert(key, text);
    QJsonArray images;
    for (int i = 0; i < 50; ++i) {
        images.append(QJsonObject {{QStringLiteral("url"), text}, {QStringLiteral("caption"), text},
            {QStringLiteral("order"), i}});
    }
    details.insert(QStringLiteral("images"), images);
    return details;
}

QByteArray compact(const QJsonArray &list)
{
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

// Checks every plain cell of the table against the list; `skip` is checked
// by the caller.
bool tableShows(QTableWidget *table, const QJsonArray &list, const QStringList &keys, int skip)
{
    for (int row = 0; row < list.size(); ++row) {
        for (int column = 0; column < keys.size(); ++column) {
            if (column == skip)
                continue;
            const QTableWidgetItem *item = table->item(row, column);
            if (!item || item->text() != list.at(row)[keys.at(column)].toString()) {
                qWarning("row %d column %d", row, column);
                return false;
            }
        }
    }
    return true;
}

} // namespace

class TestHostileWindows : public QObject {
    Q_OBJECT

private:
    LoopbackServer *server = nullptr;
    ApiClient *api = nullptr;
    ModalAnswerer *answerer = nullptr;
    QByteArray compoundsReply, usersReply, detailsReply;
    int listStatus = 200;

private slots:
    void initTestCase()
    {
        registerRecordTypes();
        compoundsReply = compact(hostileList(CompoundKeys));
        usersReply = compact(hostileList(UserKeys));
    }
    void init()
    {
        server = new LoopbackServer;
        server->setHandler([this](const RecordedRequest &r) {
            if (r.path() == "/api/v1/compounds")
                return ScriptedResponse::json(listStatus, compoundsReply);
            if (r.path() == "/api/v1/users")
                return ScriptedResponse::json(200, usersReply);
            return ScriptedResponse::json(200, r.path().endsWith("/details") ? detailsReply : "{}");
        });
        api = new ApiClient;
        api->setBaseUrl(server->origin());
        api->setToken(QStringLiteral("t"));
        answerer = new ModalAnswerer;
        listStatus = 200;
    }
    void cleanup()
    {
        delete answerer;
        delete api;
        delete server;
    }

    void mainWindowShowsFieldsAsText()
    {
        const QString greeting = QStringLiteral("<a href=\"x\">Anna</a>");
        QScopedPointer<MainWindow> window(
            new MainWindow(api, QStringLiteral("<b>anna</b>"), QStringLiteral("admin"), greeting));
        window->show();
        auto *table = window->findChild<QTableWidget *>(QStringLiteral("compoundTable"));
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 5000, 60000);
        auto *welcome = window->findChild<QLabel *>(QStringLiteral("welcomeLabel"));
        QCOMPARE(welcome->textFormat(), Qt::PlainText);
        QVERIFY(welcome->text().contains(greeting));

        const QJsonArray list = hostileList(CompoundKeys);
        const int formulaColumn = int(CompoundKeys.indexOf(QStringLiteral("keplet")));
        QVERIFY(tableShows(table, list, CompoundKeys, formulaColumn));
        for (int row = 0; row < list.size(); ++row) {
            const QString text = list.at(row)[QStringLiteral("keplet")].toString();
            auto *label = qobject_cast<QLabel *>(table->cellWidget(row, formulaColumn));
            QVERIFY2(label && label->text() == expectedFormulaMarkup(text)
                    && shownText(label) == text && !label->openExternalLinks(),
                QByteArray::number(row).constData());
        }

        // Rows with an empty and with a repeated code open their details.
        for (const int row : {0, 9, 10}) {
            answerer->clear();
            window->openDetails(row);
            QStringList opened;
            for (const SeenModal &modal : answerer->seen())
                opened << modal.className;
            QVERIFY2(opened.contains(QStringLiteral("CompoundDetailsDialog")),
                qPrintable(opened.join(QLatin1Char(','))));
        }
        window->close();
        QTRY_VERIFY(!window->isVisible());
    }

    void errorMessagesArePlainText()
    {
        listStatus = 500;
        const QByteArray saved = compoundsReply;
        compoundsReply = "{\"detail\":\"<b>x</b><img src=x><a href='http://x'>y</a>\"}";
        QScopedPointer<MainWindow> window(
            new MainWindow(api, QStringLiteral("anna"), QStringLiteral("user"), QString()));
        window->show();
        QTRY_COMPARE(answerer->seen().size(), 1);
        compoundsReply = saved;
        QCOMPARE(answerer->seen().first().textFormat, Qt::PlainText);
        QVERIFY(answerer->seen().first().text.contains(QStringLiteral("<img src=x>")));
        window->close();
        QTRY_VERIFY(!window->isVisible());
    }

    void detailsShowFieldsAsText_data()
    {
        QTest::addColumn<QString>("text");
        for (const auto &hostile : hostileTexts())
            QTest::newRow(hostile.first) << hostile.second;
    }
    void detailsShowFieldsAsText()
    {
        QFETCH(QString, text);
        detailsReply = QJsonDocument(detailsWith(text)).toJson(QJsonDocument::Compact);
        QScopedPointer<CompoundDetailsDialog> dialog(new CompoundDetailsDialog(
            api, Compound {text, text, text, text, text, text}, QStringLiteral("admin")));
        dialog->show();
        auto *images = dialog->findChild<QListWidget *>(QStringLiteral("imageList"));
        if (text.isEmpty()) {
            // Nothing is fetched for an empty code; the refusal is plain text.
            QTRY_COMPARE(answerer->seen().size(), 1);
            QCOMPARE(answerer->seen().first().textFormat, Qt::PlainText);
            QVERIFY(!answerer->seen().first().text.isEmpty());
        } else {
            QTRY_COMPARE(images->count(), 50);
        }

        auto *formula = dialog->findChild<QLabel *>(QStringLiteral("formulaLabel"));
        QCOMPARE(formula->text(), expectedFormulaMarkup(text));
        QCOMPARE(shownText(formula), text);
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label != formula && !label->buddy()) {
                QCOMPARE(label->textFormat(), Qt::PlainText);
                QCOMPARE(label->text(), text);
            }
        }
        if (!text.isEmpty()) {
            for (QLineEdit *edit : dialog->findChildren<QLineEdit *>())
                QCOMPARE(edit->text(), text);
            for (QTextEdit *edit : dialog->findChildren<QTextEdit *>()) {
                QVERIFY(!edit->acceptRichText());
                QCOMPARE(edit->toPlainText(), text);
            }
            for (int i = 0; i < images->count(); ++i)
                QVERIFY(images->item(i)->text().contains(text));
        }
        dialog->close();
        QTRY_VERIFY(!dialog->isVisible());
    }

    void usersDialogShowsFieldsAsText()
    {
        QScopedPointer<UsersDialog> dialog(new UsersDialog(api, QStringLiteral("<b>x</b>")));
        dialog->show();
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("usersTable"));
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 5000, 60000);
        const int roleColumn = int(UserKeys.indexOf(QStringLiteral("szerepkor")));
        QVERIFY(tableShows(table, hostileList(UserKeys), UserKeys, roleColumn));
        // An unknown role is never offered as a choice.
        for (int row = 0; row < table->rowCount(); ++row) {
            auto *box = qobject_cast<QComboBox *>(table->cellWidget(row, roleColumn));
            QVERIFY2(box && box->count() == 3, QByteArray::number(row).constData());
        }
        dialog->close();
        QTRY_VERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(TestHostileWindows)
#include "tst_hostilewindows.moc"
