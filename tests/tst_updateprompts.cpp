#include "api/serverorigin.h"
#include "tests/installerstub.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "tests/rununtilquit.h"
#include "tests/scopedtemplocation.h"
#include "tests/testorigin.h"
#include "tests/visibletoplevels.h"
#include "update/startupgate.h"
#include "update/updatechecker.h"
#include "update/updateprompts.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(ScriptedResponse)

namespace {

const QString ErrorTitle = QStringLiteral("Frissítés hiba");
const QString UpdateTitle = QStringLiteral("Kötelező frissítés");

QString errorText(const QString &msg)
{
    return QStringLiteral("Nem sikerült ellenőrizni a kötelező frissítést.\n\n") + msg
        + QStringLiteral("\n\nA program most kilép.");
}

QByteArray manifest(const QByteArray &version, const QByteArray &url = "setup/x.exe",
    const QByteArray &sha256 = "ab12")
{
    return R"({"version":")" + version + R"(","notes":"Javítások","download_url":")" + url
        + R"(","sha256":")" + sha256 + R"("})";
}

ScriptedResponse dropped()
{
    ScriptedResponse r;
    r.framing = ScriptedResponse::Framing::Drop;
    return r;
}

QList<QProgressDialog *> visibleProgressDialogs()
{
    return visibleTopLevels<QProgressDialog>();
}

QList<SeenModal> messageBoxes(const ModalAnswerer &answerer)
{
    QList<SeenModal> boxes;
    for (const SeenModal &seen : answerer.seen()) {
        if (seen.className == QLatin1String("QMessageBox"))
            boxes.append(seen);
    }
    return boxes;
}

// The progress dialog is modal too, but nobody answers it: it goes away by itself.
ModalAnswerer::Answer answerAllButProgress()
{
    return [](QWidget *w) {
        return !qobject_cast<QProgressDialog *>(w) && ModalAnswerer::accept()(w);
    };
}

// Presses a message box's only button and notes whether a progress dialog
// was still on screen behind it.
ModalAnswerer::Answer pressNotingProgress(bool *progressOpen)
{
    return [progressOpen](QWidget *w) {
        if (!qobject_cast<QMessageBox *>(w))
            return false;
        *progressOpen = !visibleProgressDialogs().isEmpty();
        return ModalAnswerer::accept()(w);
    };
}

} // namespace

class TestUpdatePrompts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(server.adoptListeningSocket(TestOriginSocket));
        QCoreApplication::setApplicationVersion(QStringLiteral("0.1.6"));
        // As in the program: only an explicit request ends the event loop.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        begun = 0;
        server.setHolding(false);
        server.clearRequests();
        checker = new UpdateChecker(qApp);
        connectStartupGate(checker, [this] { ++begun; });
    }

    void cleanup()
    {
        delete checker;
        for (QProgressDialog *dialog : visibleProgressDialogs())
            delete dialog;
    }

    void percent_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("value");

        QTest::newRow("truncated, not rounded") << qint64(2) << qint64(3) << 66;
        QTest::newRow("size unknown") << qint64(5000) << qint64(-1) << 0;
        QTest::newRow("size zero") << qint64(0) << qint64(0) << 0;
        QTest::newRow("beyond 32 bits") << qint64(3000000000) << qint64(4000000000) << 75;
        QTest::newRow("more than announced is not clamped") << qint64(300) << qint64(200) << 150;
    }

    void percent()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(int, value);

        QCOMPARE(downloadPercent(received, total), value);
    }

    void mandatoryPromptThenDownloadFailure()
    {
        ScopedTempLocation temp;
        server.setHolding(true);
        ModalAnswerer answerer;
        answerer.setDefault(answerAllButProgress());
        const QString notes = QStringLiteral("<b>Újdonságok</b>\n- gyorsabb keresés");
        Qt::TextFormat notesFormat = Qt::AutoText;
        answerer.push([&notesFormat, notes](QWidget *w) {
            for (QLabel *label : w->findChildren<QLabel *>()) {
                if (label->text() == notes)
                    notesFormat = label->textFormat();
            }
            return ModalAnswerer::pressButton(QStringLiteral("Frissítés"))(w);
        });

        // The flag is not consulted: every announced release is mandatory.
        emit checker->updateAvailable(QStringLiteral("0.2.0 "), notes,
            QStringLiteral("setup/x.exe"), QStringLiteral("ab12"), false);

        QCOMPARE(messageBoxes(answerer).size(), 1);
        const SeenModal prompt = messageBoxes(answerer).first();
        QCOMPARE(prompt.title, UpdateTitle);
        QCOMPARE(prompt.text,
            QStringLiteral(
                "Új verzió elérhető: 0.2.0 \n\nA program használatához frissítened kell."));
        QCOMPARE(prompt.informativeText, notes);
        QCOMPARE(prompt.buttons, QStringList {QStringLiteral("Frissítés")});
        QCOMPARE(prompt.icon, QMessageBox::Warning);
        QCOMPARE(prompt.textFormat, Qt::PlainText);
        QCOMPARE(notesFormat, Qt::PlainText);
        QVERIFY(!prompt.flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!prompt.hasEscapeButton);

        QTRY_COMPARE(server.heldCount(), 1);
        QCOMPARE(server.requests().first().target, QByteArray("/releases/setup/x.exe"));
        const QList<QProgressDialog *> dialogs = visibleProgressDialogs();
        QCOMPARE(dialogs.size(), 1);
        QPointer<QProgressDialog> progress = dialogs.first();
        QCOMPARE(progress->labelText(), QStringLiteral("Frissítés letöltése..."));
        QCOMPARE(progress->maximum(), 100);
        QCOMPARE(progress->value(), 0);
        QCOMPARE(progress->windowModality(), Qt::ApplicationModal);
        QVERIFY(!progress->parentWidget());
        QVERIFY(progress->findChildren<QPushButton *>().isEmpty());

        emit checker->downloadProgress(50, 200);
        QCOMPARE(progress->value(), 25);

        // The whole body arrives, so the dialog stands at 100 when the digest fails.
        bool progressOpenBehindError = false;
        answerer.push(pressNotingProgress(&progressOpenBehindError));
        QVERIFY(runUntilQuit(
            [this] { server.respondToHeld(0, ScriptedResponse::text(200, "rossz")); }));

        QCOMPARE(messageBoxes(answerer).size(), 2);
        const SeenModal error = messageBoxes(answerer).at(1);
        QCOMPARE(error.title, ErrorTitle);
        QCOMPARE(error.text, errorText(QStringLiteral("SHA256 nem egyezik! (letöltés sérült?)")));
        QVERIFY(progressOpenBehindError);
        QTRY_VERIFY(progress.isNull());
        QCOMPARE(begun, 0);
    }

    void errorPromptShowsMarkupAsWritten()
    {
        const QString msg
            = QStringLiteral("Nem tudtam fájlba menteni a letöltést: /tmp/<b>x</b>.exe");
        ModalAnswerer answerer;

        QVERIFY(runUntilQuit([msg] { showUpdateErrorPrompt(msg); }));

        QCOMPARE(answerer.seen().size(), 1);
        const SeenModal box = answerer.seen().first();
        QCOMPARE(box.className, QStringLiteral("QMessageBox"));
        QCOMPARE(box.title, ErrorTitle);
        QCOMPARE(box.text, errorText(msg));
        QCOMPARE(box.buttons, QStringList {QStringLiteral("OK")});
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.textFormat, Qt::PlainText);
    }

    void gateKeepsClosed_data()
    {
        QTest::addColumn<ScriptedResponse>("response");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");

        QTest::newRow("unreachable")
            << dropped() << ErrorTitle
            << errorText(QStringLiteral("Nem érhető el a szerver (HTTP=0)."));
        QTest::newRow("404") << ScriptedResponse::text(404, "nincs") << ErrorTitle
                             << errorText(QStringLiteral("Update check hiba. HTTP=404"));
        QTest::newRow("newer release, box dismissed")
            << ScriptedResponse::json(200, manifest("0.2.0")) << UpdateTitle
            << QStringLiteral(
                   "Új verzió elérhető: 0.2.0\n\nA program használatához frissítened kell.");
    }

    void gateKeepsClosed()
    {
        QFETCH(ScriptedResponse, response);
        QFETCH(QString, title);
        QFETCH(QString, text);
        server.answerAllWith(response);
        ModalAnswerer answerer;
        answerer.push(ModalAnswerer::reject());

        QVERIFY(runUntilQuit([this] { checker->checkForUpdates(); }));

        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen().first().title, title);
        QCOMPARE(answerer.seen().first().text, text);
        QCOMPARE(begun, 0);
        QVERIFY(visibleProgressDialogs().isEmpty());
        for (const RecordedRequest &request : server.requests())
            QCOMPARE(request.target, QByteArray("/releases/latest.json"));
    }

    void gateOpensOnce()
    {
        server.answerAllWith(ScriptedResponse::json(200, manifest("0.1.6")));
        ModalAnswerer answerer;
        UpdateChecker gated;
        QSignalSpy none(&gated, &UpdateChecker::noUpdate);
        int started = 0;
        // Another answer that arrives while the start still runs (the first login
        // dialog is modal) must not start the program a second time.
        connectStartupGate(&gated, [&gated, &started] {
            if (++started == 1)
                emit gated.noUpdate();
        });

        gated.checkForUpdates();
        QTRY_COMPARE(none.size(), 2);
        gated.checkForUpdates();
        QTRY_COMPARE(none.size(), 3);

        QCOMPARE(started, 1);
        QVERIFY(answerer.seen().isEmpty());
    }

    void updateInstalledFromStart()
    {
        InstallerStub stub;
        ScopedTempLocation temp;
        server.setHandler([&stub](const RecordedRequest &request) {
            if (request.path() == "/releases/latest.json")
                return ScriptedResponse::json(
                    200, manifest("0.2.0", "/files/setup.exe", stub.sha256().toUpper().toLatin1()));
            return ScriptedResponse::text(200, stub.script());
        });
        ModalAnswerer answerer;
        answerer.setDefault(answerAllButProgress());
        answerer.push(ModalAnswerer::pressButton(QStringLiteral("Frissítés")));

        QVERIFY(runUntilQuit([this] { checker->checkForUpdates(); }));
        QTRY_VERIFY(stub.hasRun());

        QCOMPARE(messageBoxes(answerer).size(), 1);
        QCOMPARE(messageBoxes(answerer).first().title, UpdateTitle);
        QTRY_VERIFY(visibleProgressDialogs().isEmpty());
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(server.requests().at(1).target, QByteArray("/files/setup.exe"));
        QCOMPARE(stub.recorded().value(0), QStringLiteral("/VERYSILENT"));
        QCOMPARE(begun, 0);
    }

private:
    LoopbackServer server;
    UpdateChecker *checker = nullptr;
    int begun = 0;
};

QTEST_MAIN(TestUpdatePrompts)
#include "tst_updateprompts.moc"
