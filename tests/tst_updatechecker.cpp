#include "api/serverorigin.h"
#include "tests/installerstub.h"
#include "tests/loopbackserver.h"
#include "tests/rununtilquit.h"
#include "tests/scopedtemplocation.h"
#include "tests/testorigin.h"
#include "update/updatechecker.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(ScriptedResponse)

namespace {

// Started after every successful download: it must do nothing at all.
const QByteArray InstallerBody = "#!/bin/true\n";

enum Outcome { NoUpdate, Update, Failure };

QString sha256Of(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

QByteArray manifest(const QByteArray &versionJson, const QByteArray &extra = QByteArray())
{
    return R"({"version":)" + versionJson
        + R"(,"notes":"Javítások","download_url":"setup/x.exe","sha256":"ab12")" + extra + "}";
}

QVariantList announced(const QString &version, const QString &sha256 = QStringLiteral("ab12"),
    const QString &notes = QStringLiteral("Javítások"))
{
    return {version, notes, QStringLiteral("setup/x.exe"), sha256, true};
}

ScriptedResponse dropped()
{
    ScriptedResponse r;
    r.framing = ScriptedResponse::Framing::Drop;
    return r;
}

ScriptedResponse installer(const QByteArray &body)
{
    ScriptedResponse r = ScriptedResponse::text(200, body);
    r.headers = {qMakePair(
        QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/octet-stream"))};
    return r;
}

void recordOutcome(UpdateChecker *checker, QStringList *events)
{
    QObject::connect(checker, &UpdateChecker::downloadFinished, checker,
        [events] { *events << QStringLiteral("downloadFinished"); });
    QObject::connect(
        checker, &UpdateChecker::error, checker, [events](const QString &msg) { *events << msg; });
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestUpdateChecker : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(server.adoptListeningSocket(TestOriginSocket));
        QCOMPARE(server.origin(), DefaultServerOrigin);
    }

    void cleanup()
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("0.1.6"));
        server.setHolding(false);
        server.clearRequests();
    }

    void check_data()
    {
        QTest::addColumn<QString>("appVersion");
        QTest::addColumn<ScriptedResponse>("response");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QVariantList>("arguments");

        const auto row
            = [](const char *name, const QString &appVersion, const ScriptedResponse &response,
                  Outcome outcome, const QVariantList &arguments = {}) {
                  QTest::newRow(name) << appVersion << response << int(outcome) << arguments;
              };
        const auto ok = [](const QByteArray &body) {
            return ScriptedResponse::json(200, body);
        };
        const QString v = QStringLiteral("0.1.6");
        const QVariantList badJson {QStringLiteral("Update check: hibás JSON.")};
        const QVariantList badVersion {
            QStringLiteral("Hibás vagy üres alkalmazás verzió (applicationVersion).")};

        row("unreachable", v, dropped(), Failure,
            {QStringLiteral("Nem érhető el a szerver (HTTP=0).")});
        row("404", v, ScriptedResponse::text(404, "nincs"), Failure,
            {QStringLiteral("Update check hiba. HTTP=404")});
        row("500 with a manifest", v, ScriptedResponse::json(500, manifest(R"("9.0")")), Failure,
            {QStringLiteral("Update check hiba. HTTP=500")});
        row("html", v, ScriptedResponse::text(200, "<html><body>x</body></html>"), Failure,
            badJson);
        row("json array", v, ok(R"([{"version":"9.0"}])"), Failure, badJson);
        row("equal", v, ok(manifest(R"("0.1.6")")), NoUpdate);
        row("older", v, ok(manifest(R"("0.1.5")")), NoUpdate);
        row("newer", v, ok(manifest(R"("0.2.0")")), Update, announced(QStringLiteral("0.2.0")));
        row("extra zero segment is newer", v, ok(manifest(R"("0.1.6.0")")), Update,
            announced(QStringLiteral("0.1.6.0")));
        row("0.1.10 is newer than 0.1.9", QStringLiteral("0.1.9"), ok(manifest(R"("0.1.10")")),
            Update, announced(QStringLiteral("0.1.10")));
        row("suffix after the numbers", v, ok(manifest(R"("1.2.0-beta")")), Update,
            announced(QStringLiteral("1.2.0-beta")));
        row("letter-led version", v, ok(manifest(R"("v99.0")")), NoUpdate);
        row("version as a number", v, ok(manifest("99")), NoUpdate);
        row("blanks around the version", v, ok(manifest(R"("  0.2.0 \n")")), Update,
            announced(QStringLiteral("  0.2.0 \n")));
        row("mandatory key", v, ok(manifest(R"("0.2.0")", R"(,"mandatory":false)")), Update,
            announced(QStringLiteral("0.2.0")));
        row("no sha256", v,
            ok(R"({"version":"0.2.0","notes":"Javítások","download_url":"setup/x.exe"})"), Update,
            announced(QStringLiteral("0.2.0"), QString()));
        row("notes not a string", v,
            ok(R"({"version":"0.2.0","notes":5,"download_url":"setup/x.exe","sha256":"ab12"})"),
            Update, announced(QStringLiteral("0.2.0"), QStringLiteral("ab12"), QString()));
        row("empty application version", QString(), ok(manifest(R"("0.2.0")")), Failure,
            badVersion);
        row("letter-led application version", QStringLiteral("v0.1.6"), ok(manifest(R"("v1")")),
            Failure, badVersion);
        row("application version with blanks", QStringLiteral(" 0.1.6 "),
            ok(manifest(R"("0.1.6")")), NoUpdate);
    }

    void check()
    {
        QFETCH(QString, appVersion);
        QFETCH(ScriptedResponse, response);
        QFETCH(int, outcome);
        QFETCH(QVariantList, arguments);

        QCoreApplication::setApplicationVersion(appVersion);
        server.answerAllWith(response);
        UpdateChecker checker;
        QSignalSpy none(&checker, &UpdateChecker::noUpdate);
        QSignalSpy update(&checker, &UpdateChecker::updateAvailable);
        QSignalSpy failure(&checker, &UpdateChecker::error);

        checker.checkForUpdates();
        QTRY_COMPARE(none.size() + update.size() + failure.size(), 1);

        QSignalSpy &expected = outcome == NoUpdate ? none : outcome == Failure ? failure : update;
        QCOMPARE(expected.size(), 1);
        QCOMPARE(expected.first(), arguments);

        // The network layer sends a GET once more when a connection closes unanswered.
        QVERIFY(!server.requests().isEmpty());
        for (const RecordedRequest &request : server.requests()) {
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.target, QByteArray("/releases/latest.json"));
            QVERIFY(!request.hasHeader("Authorization"));
            QVERIFY(!request.hasHeader("Content-Type"));
        }
    }

    void download_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("sha256");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QString>("savedAs");

        const QString digest = sha256Of(InstallerBody);
        const auto row = [digest](const char *name, const QString &url, const QByteArray &target,
                             const char *savedAs, const QString &fileName = QString()) {
            QTest::newRow(name) << url << fileName << digest << true << target
                                << QString::fromLatin1(savedAs);
        };
        const auto digestRow = [](const char *name, const QString &sha256, bool accepted) {
            QTest::newRow(name) << QStringLiteral("x.exe") << QString() << sha256 << accepted
                                << QByteArray("/releases/x.exe") << QStringLiteral("x.exe");
        };
        const char *fallback = "OrvantisClient-setup.exe";
        row("relative", QStringLiteral("setup/x.exe"), "/releases/setup/x.exe", "x.exe");
        row("slash-led", QStringLiteral("/files/x.exe"), "/files/x.exe", "x.exe");
        row("empty", QString(), "/releases/latest.json", fallback);
        row("trailing slash", DefaultServerOrigin + QStringLiteral("/dl/"), "/dl/", fallback);
        row("query and fragment", DefaultServerOrigin + QStringLiteral("/x.exe?v=2&lang=hu#top"),
            "/x.exe?v=2&lang=hu", "x.exe");
        row("only a query after the slash", QStringLiteral("dl/?v=2"), "/releases/dl/?v=2",
            fallback);
        row("question mark in the fragment", QStringLiteral("x.exe#a?b"), "/releases/x.exe",
            "x.exe");
        row("percent-encoded name stays encoded", QStringLiteral("x%20y.exe"),
            "/releases/x%20y.exe", "x%20y.exe");
        row("name given by the caller", QStringLiteral("setup/x.exe"), "/releases/setup/x.exe",
            "given.exe", QStringLiteral(" given.exe "));
        digestRow("digest in upper case", digest.toUpper(), true);
        digestRow("digest with blanks around", QStringLiteral("  ") + digest + QStringLiteral("\n"),
            true);
        digestRow("no digest expected", QString(), true);
        digestRow("digest with an algorithm prefix", QStringLiteral("sha256:") + digest, false);
        digestRow("digest with a blank inside", digest.left(32) + QLatin1Char(' ') + digest.mid(32),
            false);
        digestRow("another file's digest", sha256Of("other"), false);
    }

    void download()
    {
        QFETCH(QString, url);
        QFETCH(QString, fileName);
        QFETCH(QString, sha256);
        QFETCH(bool, accepted);
        QFETCH(QByteArray, target);
        QFETCH(QString, savedAs);

        ScopedTempLocation temp;
        QVERIFY(temp.isValid());
        server.answerAllWith(installer(InstallerBody));
        UpdateChecker checker;
        QSignalSpy progress(&checker, &UpdateChecker::downloadProgress);
        QSignalSpy finished(&checker, &UpdateChecker::downloadFinished);
        QSignalSpy failure(&checker, &UpdateChecker::error);

        checker.startDownload(url, sha256, fileName);
        QTRY_COMPARE(finished.size() + failure.size(), 1);

        const QString path = temp.filePath(savedAs);
        // The saved file stays even when its digest is wrong.
        QCOMPARE(readFile(path), InstallerBody);
        if (accepted) {
            QCOMPARE(finished.first().first().toString(), path);
            QVERIFY(QFileInfo(path).permission(QFileDevice::ExeOwner));
            const qint64 size = InstallerBody.size();
            QCOMPARE(progress.last(), QVariantList({size, size}));
        } else {
            QCOMPARE(failure.first().first().toString(),
                QStringLiteral("SHA256 nem egyezik! (letöltés sérült?)"));
        }
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().method, QByteArray("GET"));
        QCOMPARE(server.requests().first().target, target);
        QVERIFY(!server.requests().first().hasHeader("Authorization"));
    }

    void failedDownload_data()
    {
        QTest::addColumn<ScriptedResponse>("response");
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("message");

        const QByteArray body(4000, 'i');
        const QString cutOff = QStringLiteral("Letöltés sikertelen (megszakadt az átvitel).");
        const QString notSaved = QStringLiteral("Nem tudtam fájlba menteni a letöltést: ");
        ScriptedResponse truncated = installer(body);
        truncated.framing = ScriptedResponse::Framing::Truncated;
        truncated.truncatedTo = 1500;
        // A chunk announced with 4000 bytes, of which 1500 come before the connection closes.
        ScriptedResponse chunked = installer("fa0\r\n" + body.left(1500));
        chunked.headers.append(
            qMakePair(QByteArrayLiteral("Transfer-Encoding"), QByteArrayLiteral("chunked")));
        chunked.framing = ScriptedResponse::Framing::CloseDelimited;

        QTest::newRow("404") << ScriptedResponse::text(404, "nincs") << QString()
                             << QStringLiteral("Letöltés hiba. HTTP=404");
        QTest::newRow("no answer")
            << dropped() << QString() << QStringLiteral("Letöltés sikertelen (HTTP=0).");
        QTest::newRow("fewer bytes than announced") << truncated << QString() << cutOff;
        QTest::newRow("connection lost mid-body") << chunked << QString() << cutOff;
        QTest::newRow("target is a directory")
            << installer(InstallerBody) << QStringLiteral("directory") << notSaved;
        QTest::newRow("device full")
            << installer(InstallerBody) << QStringLiteral("/dev/full") << notSaved;
    }

    void failedDownload()
    {
        QFETCH(ScriptedResponse, response);
        QFETCH(QString, obstacle);
        QFETCH(QString, message);

        ScopedTempLocation temp;
        const QString path = temp.filePath(QStringLiteral("x.exe"));
        if (obstacle == QLatin1String("directory"))
            QVERIFY(QDir().mkdir(path));
        else if (!obstacle.isEmpty() && !QFile::link(obstacle, path))
            QSKIP("no device to fill");
        server.answerAllWith(response);
        UpdateChecker checker;
        QSignalSpy finished(&checker, &UpdateChecker::downloadFinished);
        QSignalSpy failure(&checker, &UpdateChecker::error);

        // No digest: only the transfer itself can keep a partial file from being run.
        checker.startDownload(QStringLiteral("x.exe"), QString(), QString());
        QTRY_COMPARE(failure.size(), 1);

        QCOMPARE(failure.first().first().toString(), obstacle.isEmpty() ? message : message + path);
        QCOMPARE(finished.size(), 0);
        if (obstacle.isEmpty())
            QVERIFY(!QFile::exists(path));
    }

    void progressWithoutLength()
    {
        ScopedTempLocation temp;
        server.setHolding(true);
        UpdateChecker checker;
        QSignalSpy progress(&checker, &UpdateChecker::downloadProgress);
        QSignalSpy finished(&checker, &UpdateChecker::downloadFinished);
        checker.startDownload(QStringLiteral("big.bin"), QString(), QString());
        QTRY_COMPARE(server.heldCount(), 1);

        // The network layer reports progress at a limited rate: keep the body
        // coming until it has reported some.
        server.startStream(0, installer(QByteArray()));
        const QByteArray chunk(4096, 'p');
        qint64 sent = 0;
        for (int round = 0; round < 1000 && progress.isEmpty(); ++round) {
            server.streamBody(chunk);
            sent += chunk.size();
            progress.wait(10);
        }
        server.endStream();
        QTRY_COMPARE(finished.size(), 1);

        // Only the report at the very end, once the body has ended, knows its size.
        QVERIFY(progress.size() >= 2);
        for (qsizetype i = 0; i + 1 < progress.size(); ++i)
            QCOMPARE(progress.at(i).at(1).toLongLong(), qint64(-1));
        QCOMPARE(progress.last().at(0).toLongLong(), sent);
    }

    void secondStartWhileRunning()
    {
        ScopedTempLocation temp;
        server.setHolding(true);
        UpdateChecker checker;
        QSignalSpy finished(&checker, &UpdateChecker::downloadFinished);
        QSignalSpy failure(&checker, &UpdateChecker::error);

        checker.startDownload(QStringLiteral("first.exe"), sha256Of(InstallerBody), QString());
        checker.startDownload(
            QStringLiteral("second.exe"), QStringLiteral("00"), QStringLiteral("other.exe"));
        QCOMPARE(failure.size(), 1);
        QCOMPARE(failure.first().first().toString(), QStringLiteral("Már fut letöltés."));

        QTRY_COMPARE(server.heldCount(), 1);
        server.respondToHeld(0, installer(InstallerBody));
        QTRY_COMPARE(finished.size(), 1);

        // The first download kept its file name and its digest.
        QCOMPARE(finished.first().first().toString(), temp.filePath(QStringLiteral("first.exe")));
        QCOMPARE(failure.size(), 1);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().first().target, QByteArray("/releases/first.exe"));
    }

    void installerStartsThenQuit()
    {
        InstallerStub stub;
        ScopedTempLocation temp;
        server.answerAllWith(installer(stub.script()));
        UpdateChecker checker;
        QStringList events;
        recordOutcome(&checker, &events);
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [&events] { events << QStringLiteral("quit"); });

        QVERIFY(runUntilQuit([&] {
            checker.startDownload(QStringLiteral("/files/setup.exe"), stub.sha256(), QString());
        }));
        QTRY_VERIFY(stub.hasRun());

        QCOMPARE(events, QStringList({"downloadFinished", "quit"}));
        const QStringList expected {"/VERYSILENT", "/SUPPRESSMSGBOXES", "/NORESTART", "/SP-",
            "/DIR=" + QDir::toNativeSeparators(QCoreApplication::applicationDirPath()),
            QFileInfo(temp.path()).canonicalFilePath()};
        QCOMPARE(stub.recorded(), expected);
    }

    void installerThatCannotStart()
    {
        ScopedTempLocation temp;
        const QByteArray body = "#!/nonexistent/interpreter\n";
        server.answerAllWith(installer(body));
        UpdateChecker checker;
        QStringList events;
        recordOutcome(&checker, &events);

        checker.startDownload(QStringLiteral("setup.exe"), sha256Of(body), QString());
        QTRY_COMPARE(events.size(), 2);

        QCOMPARE(events,
            QStringList({QStringLiteral("downloadFinished"),
                QStringLiteral("Nem sikerült elindítani az installert: ")
                    + temp.filePath(QStringLiteral("setup.exe"))}));
    }

private:
    LoopbackServer server;
};

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
