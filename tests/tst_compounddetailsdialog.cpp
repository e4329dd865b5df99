#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "ui/compounddetailsdialog.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QUrl>

namespace {

const QByteArray DetailsPath = "/api/v1/compounds/B2/details";

QJsonObject image(const char *url, const char *caption, int order)
{
    return {{"url", url}, {"caption", QString::fromUtf8(caption)}, {"order", order}};
}

QByteArray detailsReply()
{
    const QJsonObject details {{"kod", "B2"}, {"description", QString::fromUtf8("Erős sav.")},
        {"cas", "7664-93-9"}, {"ghs", "GHS05"}, {"density", "1.83"}, {"melting_point", "10"},
        {"boiling_point", "337"}, {"solubility", QString::fromUtf8("vízzel elegyedik")},
        {"images",
            QJsonArray {image("https://example.org/b.png", "Szerkezet", 3),
                image("http://example.org/a.png", "", 2), image("", "", 1),
                image("file:///etc/passwd", "Fájl", 0), image("custom:open-me", "", 0),
                image("kepek/c.png", "", 0), image("HTTPS://EXAMPLE.ORG/Nagy.png", "", 0)}}};
    return QJsonDocument(details).toJson();
}

Compound sulfuricAcid()
{
    return Compound {"B2", QString::fromUtf8("Kénsav"), "H2SO4", "98.08",
        QString::fromUtf8("színtelen"), QString::fromUtf8("folyékony")};
}

int countRequests(const LoopbackServer &server, const QByteArray &method, const QByteArray &path)
{
    int n = 0;
    for (const RecordedRequest &r : server.requests())
        n += r.method == method && r.path() == path;
    return n;
}

} // namespace

// Stands in for the desktop: records every URL handed to it.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url)
    {
        opened.append(url);
    }
};

class TestCompoundDetailsDialog : public QObject {
    Q_OBJECT

private:
    LoopbackServer *server = nullptr;
    ApiClient *api = nullptr;
    ModalAnswerer *answerer = nullptr;
    int saveStatus = 200;
    int fetchStatus = 200;

    CompoundDetailsDialog *newDialog(const QString &role, const Compound &c = sulfuricAcid())
    {
        auto *dialog = new CompoundDetailsDialog(api, c, role);
        dialog->show();
        return dialog;
    }
    template<typename T> T *child(QWidget *dialog, const char *name)
    {
        return dialog->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *cas(QWidget *d)
    {
        return child<QLineEdit>(d, "casEdit");
    }
    QPushButton *saveButton(QWidget *d)
    {
        return child<QPushButton>(d, "saveButton");
    }

private slots:
    void initTestCase()
    {
        registerRecordTypes();
    }
    void init()
    {
        saveStatus = 200;
        fetchStatus = 200;
        server = new LoopbackServer;
        server->setHandler([this](const RecordedRequest &r) {
            if (r.method == "PUT")
                return ScriptedResponse::json(saveStatus, saveStatus == 200 ? "{}" : "<i>nem</i>");
            if (fetchStatus != 200)
                return ScriptedResponse::json(fetchStatus, R"({"detail":"Not Found"})");
            return ScriptedResponse::json(200, detailsReply());
        });
        api = new ApiClient;
        api->setBaseUrl(server->origin());
        answerer = new ModalAnswerer;
    }
    void cleanup()
    {
        delete answerer;
        delete api;
        delete server;
    }

    void roleRules_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<bool>("editable");
        QTest::newRow("admin") << "admin" << true;
        QTest::newRow("editor") << "editor" << true;
        QTest::newRow("user") << "user" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("capital Admin") << "Admin" << false;
    }
    void roleRules()
    {
        QFETCH(QString, role);
        QFETCH(bool, editable);
        QScopedPointer<CompoundDetailsDialog> d(newDialog(role));
        QCOMPARE(saveButton(d.data())->isVisibleTo(d.data()), editable);
        QCOMPARE(child<QTextEdit>(d.data(), "descriptionEdit")->isReadOnly(), !editable);
        QCOMPARE(child<QTextEdit>(d.data(), "notesEdit")->isReadOnly(), !editable);
        const QList<QLineEdit *> lines = d->findChildren<QLineEdit *>();
        QCOMPARE(lines.size(), 8);
        for (QLineEdit *line : lines)
            QCOMPARE(line->isReadOnly(), !editable);
        QTRY_COMPARE(cas(d.data())->text(), "7664-93-9");
    }

    void baseData_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("html");
        QTest::newRow("digits") << "H2SO4"
                                << "H<sub>2</sub>SO<sub>4</sub>";
        QTest::newRow("less-than") << "A<B2"
                                   << "A&lt;B<sub>2</sub>";
    }
    void baseData()
    {
        QFETCH(QString, formula);
        QFETCH(QString, html);
        Compound c = sulfuricAcid();
        c.keplet = formula;
        c.nev = "<b>Kénsav</b>";
        QScopedPointer<CompoundDetailsDialog> d(newDialog("user", c));
        auto *label = child<QLabel>(d.data(), "formulaLabel");
        QCOMPARE(label->textFormat(), Qt::RichText);
        QCOMPARE(label->text(), html);
        bool nameShownPlain = false;
        for (QLabel *l : d->findChildren<QLabel *>())
            nameShownPlain |= l->text() == c.nev && l->textFormat() == Qt::PlainText;
        QVERIFY(nameShownPlain);
        QCOMPARE(d->windowTitle(), QString::fromUtf8("Vegyület részletek"));
    }

    void imageItems()
    {
        QScopedPointer<CompoundDetailsDialog> d(newDialog("user"));
        auto *list = child<QListWidget>(d.data(), "imageList");
        QTRY_COMPARE(list->count(), 7);
        // Listed in the reply's order, not by "order".
        QCOMPARE(list->item(0)->text(), QString::fromUtf8("Szerkezet — https://example.org/b.png"));
        QCOMPARE(list->item(0)->data(Qt::UserRole).toString(), "https://example.org/b.png");
        QCOMPARE(list->item(1)->text(), "http://example.org/a.png");
        QCOMPARE(list->item(2)->text(), "");
        QCOMPARE(list->item(3)->text(), QString::fromUtf8("Fájl — file:///etc/passwd"));
    }

    void imageOpening()
    {
        UrlRecorder web, other;
        for (const char *scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(scheme, &web, "open");
        // Relative links have the empty scheme.
        for (const char *scheme : {"file", "custom", ""})
            QDesktopServices::setUrlHandler(scheme, &other, "open");
        const auto unset = qScopeGuard([] {
            for (const char *scheme : {"http", "https", "file", "custom", ""})
                QDesktopServices::unsetUrlHandler(scheme);
        });

        QScopedPointer<CompoundDetailsDialog> d(newDialog("user"));
        auto *list = child<QListWidget>(d.data(), "imageList");
        QTRY_COMPARE(list->count(), 7);
        QVERIFY(QTest::qWaitForWindowExposed(d.data()));
        for (int i = 0; i < list->count(); ++i) {
            const QPoint at = list->visualItemRect(list->item(i)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        }
        QCOMPARE(web.opened,
            (QList<QUrl> {QUrl("https://example.org/b.png"), QUrl("http://example.org/a.png"),
                QUrl("https://EXAMPLE.ORG/Nagy.png")}));
        QCOMPARE(other.opened, QList<QUrl>());
        QCOMPARE(answerer->seen().size(), 0);
    }

    void successfulSave()
    {
        QScopedPointer<CompoundDetailsDialog> d(newDialog("editor"));
        QTRY_COMPARE(cas(d.data())->text(), "7664-93-9");
        cas(d.data())->setText("  111-11-1 ");
        child<QTextEdit>(d.data(), "descriptionEdit")->setPlainText("\n\n  \nÚj leírás.\n");
        saveButton(d.data())->click();
        QVERIFY(!saveButton(d.data())->isEnabled());

        QTRY_COMPARE(answerer->seen().size(), 1);
        QCOMPARE(answerer->seen().first().title, "Siker");
        QCOMPARE(answerer->seen().first().text, QString::fromUtf8("Részletek mentve."));
        QCOMPARE(countRequests(*server, "PUT", DetailsPath), 1);
        QJsonObject sent;
        for (const RecordedRequest &r : server->requests()) {
            if (r.method == "PUT")
                sent = QJsonDocument::fromJson(r.body).object();
        }
        QCOMPARE(sent.value("cas").toString(), "111-11-1");
        QCOMPARE(sent.value("description").toString(), QString::fromUtf8("Új leírás."));
        QVERIFY(!sent.contains("images"));

        // Fetched again: the fields show what the server holds.
        QTRY_COMPARE(countRequests(*server, "GET", DetailsPath), 2);
        QTRY_COMPARE(cas(d.data())->text(), "7664-93-9");
        QVERIFY(!saveButton(d.data())->isEnabled());
    }

    void failedSaveKeepsTyping()
    {
        saveStatus = 500;
        QScopedPointer<CompoundDetailsDialog> d(newDialog("admin"));
        QTRY_COMPARE(cas(d.data())->text(), "7664-93-9");
        cas(d.data())->setText("999");
        saveButton(d.data())->click();
        QTRY_COMPARE(answerer->seen().size(), 1);
        const SeenModal box = answerer->seen().first();
        QCOMPARE(box.title, "Hiba");
        QCOMPARE(box.text, QString::fromUtf8("Részletek mentése sikertelen. HTTP=500\n<i>nem</i>"));
        QCOMPARE(box.textFormat, Qt::PlainText);
        QTRY_VERIFY(saveButton(d.data())->isEnabled());
        QCOMPARE(cas(d.data())->text(), "999");
        QCOMPARE(countRequests(*server, "GET", DetailsPath), 1);
    }

    void missingDetailsStillSaved()
    {
        fetchStatus = 404;
        QScopedPointer<CompoundDetailsDialog> d(newDialog("editor"));
        QTRY_COMPARE(answerer->seen().size(), 1);
        QCOMPARE(answerer->seen().first().text,
            QString::fromUtf8(
                "Részletek lekérése sikertelen. HTTP=404\n{\"detail\":\"Not Found\"}"));
        QCOMPARE(cas(d.data())->text(), "");
        QCOMPARE(child<QListWidget>(d.data(), "imageList")->count(), 0);

        cas(d.data())->setText("64-17-5");
        saveButton(d.data())->click();
        QTRY_COMPARE(countRequests(*server, "PUT", DetailsPath), 1);
    }
};

QTEST_MAIN(TestCompoundDetailsDialog)
#include "tst_compounddetailsdialog.moc"
