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

// The windows get records a hostile server could send: markup, entities,
// links, right-to-left text, huge fields, empty and repeated codes, and
// thousands of rows. They must show every field as the text it is and still
// close.
namespace {

const QStringList CompoundKeys {QStringLiteral("kod"), QStringLiteral("nev"),
    QStringLiteral("keplet"), QStringLiteral("molaris_tomeg"), QStringLiteral("szin"),
    QStringLiteral("halmazallapot")};
const QStringList DetailKeys {QStringLiteral("description"), QStringLiteral("cas"),
    QStringLiteral("msds_url"), QStringLiteral("ghs"), QStringLiteral("storage"),
    QStringLiteral("density"), QStringLiteral("melting_point"), QStringLiteral("boiling_point"),
    QStringLiteral("solubility"), QStringLiteral("notes")};
const QStringList UserKeys {QStringLiteral("felhasznalonev"), QStringLiteral("vezeteknev"),
    QStringLiteral("keresztnev"), QStringLiteral("szerepkor"), QStringLiteral("email")};

QString longMarkup()
{
    QString text;
    while (text.size() < 10000)
        text += QStringLiteral("<b>H2O</b>&amp;");
    text.truncate(10000);
    return text;
}

// Hostile field values. None has blank runs or blanks at its ends, which
// HTML would collapse, so the shown text of a label can be compared exactly.
const QList<QPair<const char *, QString>> &hostileTexts()
{
    static const QList<QPair<const char *, QString>> texts {
        {"bold", QStringLiteral("<b>x</b>")},
        {"image", QStringLiteral("<img src=x>")},
        {"entity", QStringLiteral("&amp;")},
        {"link", QStringLiteral("<a href=\"http://127.0.0.1:9/x\">kattints2</a>")},
        {"script", QStringLiteral("<script>alert(1)</script>\"'")},
        {"right-to-left override", QString::fromUtf8("\u202eH2SO4\u202c<i>i</i>")},
        {"arabic", QString::fromUtf8("حمض الكبريتيك H2SO4")},
        {"hebrew", QString::fromUtf8("מים H2O")},
        {"10000 characters", longMarkup()},
        {"empty", QString()},
    };
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
    QString html = formula.toHtmlEscaped();
    html.replace(QRegularExpression(QStringLiteral("([0-9])")), QStringLiteral("<sub>\\1</sub>"));
    return html;
}

QJsonObject record(const QStringList &keys, int shift)
{
    QJsonObject object;
    const auto &texts = hostileTexts();
    for (int i = 0; i < keys.size(); ++i)
        object.insert(keys.at(i), texts.at((shift + i) % texts.size()).second);
    return object;
}

// 5,000 compounds: every field hostile, codes empty or repeated.
QJsonArray hostileCompounds()
{
    QJsonArray list;
    for (int row = 0; row < 5000; ++row)
        list.append(record(CompoundKeys, row));
    return list;
}

QJsonArray hostileUsers()
{
    QJsonArray list;
    for (int row = 0; row < 5000; ++row)
        list.append(record(UserKeys, row));
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

Compound compoundWith(const QString &text)
{
    return Compound {text, text, text, text, text, text};
}

} // namespace

class TestHostileWindows : public QObject {
    Q_OBJECT

private:
    LoopbackServer *server = nullptr;
    ApiClient *api = nullptr;
    ModalAnswerer *answerer = nullptr;
    QByteArray compoundsReply;
    QByteArray usersReply;
    QByteArray detailsReply;
    int listStatus = 200;

    ScriptedResponse answer(const RecordedRequest &r) const
    {
        if (r.path() == "/api/v1/compounds")
            return ScriptedResponse::json(listStatus, compoundsReply);
        if (r.path() == "/api/v1/users")
            return ScriptedResponse::json(200, usersReply);
        if (r.path().endsWith("/details"))
            return ScriptedResponse::json(200, detailsReply);
        return ScriptedResponse::json(200, "{}");
    }

private slots:
    void initTestCase()
    {
        registerRecordTypes();
        compoundsReply = QJsonDocument(hostileCompounds()).toJson(QJsonDocument::Compact);
        usersReply = QJsonDocument(hostileUsers()).toJson(QJsonDocument::Compact);
    }
    void init()
    {
        server = new LoopbackServer;
        server->setHandler([this](const RecordedRequest &r) { return answer(r); });
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

        const QJsonArray list = hostileCompounds();
        const int formulaColumn = int(CompoundKeys.indexOf(QStringLiteral("keplet")));
        for (int row = 0; row < 5000; ++row) {
            const QJsonObject expected = list.at(row).toObject();
            for (int column = 0; column < CompoundKeys.size(); ++column) {
                const QString text = expected.value(CompoundKeys.at(column)).toString();
                const QByteArray where
                    = "row " + QByteArray::number(row) + " column " + QByteArray::number(column);
                if (column != formulaColumn) {
                    QVERIFY2(table->item(row, column), where.constData());
                    QVERIFY2(table->item(row, column)->text() == text, where.constData());
                    continue;
                }
                auto *label = qobject_cast<QLabel *>(table->cellWidget(row, column));
                QVERIFY2(label, where.constData());
                QVERIFY2(label->text() == expectedFormulaMarkup(text), where.constData());
                QVERIFY2(shownText(label) == text, where.constData());
                QVERIFY2(!label->openExternalLinks(), where.constData());
            }
        }

        // Rows with an empty and with a repeated code open their details and
        // close again; the empty code is refused with a message.
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
        compoundsReply
            = QJsonDocument(QJsonObject {{QStringLiteral("detail"),
                                QStringLiteral("<b>x</b><img src=x><a href=\"http://x\">y</a>")}})
                  .toJson();
        QScopedPointer<MainWindow> window(
            new MainWindow(api, QStringLiteral("anna"), QStringLiteral("user"), QString()));
        window->show();
        QTRY_COMPARE(answerer->seen().size(), 1);
        compoundsReply = saved;
        const SeenModal box = answerer->seen().first();
        QCOMPARE(box.textFormat, Qt::PlainText);
        QVERIFY(box.text.contains(QStringLiteral("<img src=x>")));
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
        QScopedPointer<CompoundDetailsDialog> dialog(
            new CompoundDetailsDialog(api, compoundWith(text), QStringLiteral("admin")));
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
            if (label == formula || label->buddy())
                continue;
            // The base data values: shown literally.
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QCOMPARE(label->text(), text);
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

        const QJsonArray list = hostileUsers();
        const int roleColumn = int(UserKeys.indexOf(QStringLiteral("szerepkor")));
        for (int row = 0; row < 5000; ++row) {
            const QJsonObject expected = list.at(row).toObject();
            for (int column = 0; column < UserKeys.size(); ++column) {
                const QByteArray where
                    = "row " + QByteArray::number(row) + " column " + QByteArray::number(column);
                if (column == roleColumn) {
                    // An unknown role is never offered as a choice.
                    auto *box = qobject_cast<QComboBox *>(table->cellWidget(row, column));
                    QVERIFY2(box && box->count() == 3, where.constData());
                    continue;
                }
                QVERIFY2(table->item(row, column), where.constData());
                QVERIFY2(table->item(row, column)->text()
                        == expected.value(UserKeys.at(column)).toString(),
                    where.constData());
            }
        }

        dialog->close();
        QTRY_VERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(TestHostileWindows)
#include "tst_hostilewindows.moc"
