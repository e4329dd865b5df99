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

    QScopedPointer<CompoundDetailsDialog> d;

    void openDialog(const QString &role, const Compound &c = sulfuricAcid())
    {
        d.reset(new CompoundDetailsDialog(api, c, role));
        d->show();
    }
    template<typename T> T *child(const char *name)
    {
        return d->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *cas()
    {
        return child<QLineEdit>("casEdit");
    }
    QPushButton *saveButton()
    {
        return child<QPushButton>("saveButton");
    }
    int count(const QByteArray &method) const
    {
        int n = 0;
        for (const RecordedRequest &r : server->requests())
            n += r.method == method && r.path() == DetailsPath;
        return n;
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
        d.reset();
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
        QTest::newRow("capital Admin") << "Admin" << false;
    }
    void roleRules()
    {
        QFETCH(QString, role);
        QFETCH(bool, editable);
        Compound c = sulfuricAcid();
        c.keplet = "A<B2";
        c.nev = "<b>Kénsav</b>";
        openDialog(role, c);
        QCOMPARE(d->windowTitle(), QString::fromUtf8("Vegyület részletek"));
        QCOMPARE(saveButton()->isVisibleTo(d.data()), editable);
        QCOMPARE(child<QTextEdit>("descriptionEdit")->isReadOnly(), !editable);
        QCOMPARE(child<QTextEdit>("notesEdit")->isReadOnly(), !editable);
        const QList<QLineEdit *> lines = d->findChildren<QLineEdit *>();
        QCOMPARE(lines.size(), 8);
        for (QLineEdit *line : lines)
            QCOMPARE(line->isReadOnly(), !editable);

        // The formula is the one rich-text label; the name stays plain text.
        auto *formula = child<QLabel>("formulaLabel");
        QCOMPARE(formula->textFormat(), Qt::RichText);
        QCOMPARE(formula->text(), "A&lt;B<sub>2</sub>");
        bool nameShownPlain = false;
        for (QLabel *l : d->findChildren<QLabel *>())
            nameShownPlain |= l->text() == c.nev && l->textFormat() == Qt::PlainText;
        QVERIFY(nameShownPlain);
        QTRY_COMPARE(cas()->text(), "7664-93-9");
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

        openDialog("user");
        auto *list = child<QListWidget>("imageList");
        QTRY_COMPARE(list->count(), 7);
        // Listed in the reply's order, not by "order".
        QCOMPARE(list->item(0)->text(), QString::fromUtf8("Szerkezet — https://example.org/b.png"));
        QCOMPARE(list->item(1)->text(), "http://example.org/a.png");
        QCOMPARE(list->item(2)->text(), "");
        QCOMPARE(list->item(3)->text(), QString::fromUtf8("Fájl — file:///etc/passwd"));
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

    void save_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("casAfter");
        QTest::addColumn<int>("fetches");
        // Saved: fetched again, so the fields show what the server holds.
        QTest::newRow("saved") << 200 << "Siker" << QString::fromUtf8("Részletek mentve.")
                               << "7664-93-9" << 2;
        // Refused: the typing stays for another try.
        QTest::newRow("refused") << 500 << "Hiba"
                                 << QString::fromUtf8(
                                        "Részletek mentése sikertelen. HTTP=500\n<i>nem</i>")
                                 << "  111-11-1 " << 1;
    }
    void save()
    {
        QFETCH(int, status);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, casAfter);
        QFETCH(int, fetches);
        saveStatus = status;
        openDialog("editor");
        QTRY_COMPARE(cas()->text(), "7664-93-9");
        cas()->setText("  111-11-1 ");
        child<QTextEdit>("descriptionEdit")->setPlainText("\n\n  \nÚj leírás.\n");
        saveButton()->click();
        QVERIFY(!saveButton()->isEnabled());

        QTRY_COMPARE(answerer->seen().size(), 1);
        const SeenModal box = answerer->seen().first();
        QCOMPARE(box.title, title);
        QCOMPARE(box.text, text);
        QCOMPARE(box.textFormat, Qt::PlainText);
        QCOMPARE(count("PUT"), 1);
        QJsonObject sent;
        for (const RecordedRequest &r : server->requests())
            sent = r.method == "PUT" ? QJsonDocument::fromJson(r.body).object() : sent;
        QCOMPARE(sent.value("cas").toString(), "111-11-1");
        QCOMPARE(sent.value("description").toString(), QString::fromUtf8("Új leírás."));
        QVERIFY(!sent.contains("images"));

        QTRY_COMPARE(count("GET"), fetches);
        QTRY_COMPARE(cas()->text(), casAfter);
        QTRY_COMPARE(saveButton()->isEnabled(), status != 200);
        QCOMPARE(count("GET"), fetches);
    }

    void missingDetailsStillSaved()
    {
        fetchStatus = 404;
        openDialog("editor");
        QTRY_COMPARE(answerer->seen().size(), 1);
        QCOMPARE(answerer->seen().first().text,
            QString::fromUtf8(
                "Részletek lekérése sikertelen. HTTP=404\n{\"detail\":\"Not Found\"}"));
        QCOMPARE(cas()->text(), "");
        QCOMPARE(child<QListWidget>("imageList")->count(), 0);

        cas()->setText("64-17-5");
        saveButton()->click();
        QTRY_COMPARE(count("PUT"), 1);
    }
};

QTEST_MAIN(TestCompoundDetailsDialog)
#include "tst_compounddetailsdialog.moc"
