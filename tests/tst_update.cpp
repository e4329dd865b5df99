#include "api/transfertimeout.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "tests/visibletoplevels.h"
#include "update/startupgate.h"
#include "update/updatechecker.h"
#include "update/updateprompts.h"

#include <QApplication>
#include <QDir>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sodium.h>

Q_DECLARE_METATYPE(ScriptedResponse)

namespace {

enum Outcome { NoUpdate, Update, Failure };
// What goes wrong with a download besides the server's answer.
enum Obstacle { None, NoFolder, NoAnswer, StallAfterHead };

// Stands in for the installer: writes its arguments and working directory next to itself.
const QByteArray Stub = "#!/bin/sh\n{ printf '%s\\n' \"$@\"; pwd; } > \"$0.ran\"\n";
const QString CutOff = "Letöltés sikertelen (megszakadt az átvitel).";
const QString Prompt = "Új verzió elérhető: 0.2.0\n\nA program használatához frissítened kell.";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The version is JSON text, the others go into JSON strings.
QByteArray manifest(const QByteArray &version, const QString &url = "x", const QString &sha = "ab")
{
    return R"({"version":)" + version + R"(,"notes":"","download_url":")" + url.toUtf8()
        + R"(","sha256":")" + sha.toUtf8() + R"("})";
}

QString errorText(const QString &msg)
{
    return "Nem sikerült ellenőrizni a kötelező frissítést.\n\n" + msg
        + "\n\nA program most kilép.";
}

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid() && temp.isValid() && sodium_init() >= 0);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        QCoreApplication::setApplicationVersion("0.1.6");
        QVERIFY(QDir(temp.path()).removeRecursively() && QDir().mkpath(temp.path()));
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        server.setHolding(false);
        server.clearRequests();
    }

    void check_data()
    {
        QTest::addColumn<QString>("appVersion");
        QTest::addColumn<ScriptedResponse>("response"); // status 0: never answered
        QTest::addColumn<int>("outcome"); // -1: any one
        QTest::addColumn<QVariant>("first"); // argument of the outcome
        const auto row = [](const char *name, const ScriptedResponse &response, Outcome outcome,
                             const QVariant &first = {}, const char *app = "0.1.6") {
            QTest::newRow(name) << QString(app) << response << int(outcome) << first;
        };
        const auto ok = [](const QByteArray &version) {
            return ScriptedResponse::json(200, manifest(version));
        };
        row("equal", ok(R"("0.1.6")"), NoUpdate);
        row("older", ok(R"("0.1.5")"), NoUpdate);
        row("one more zero segment", ok(R"("0.1.6.0")"), Update, "0.1.6.0");
        row("numeric, not textual", ok(R"("0.1.10")"), Update, "0.1.10", "0.1.9");
        row("letter-led version", ok(R"("v99.0")"), NoUpdate);
        row("version as a JSON number", ok("99"), NoUpdate);
        row("blanks around", ok(R"(" 0.2.0 \n")"), Update, " 0.2.0 \n");
        row("empty application version", ok(R"("0.2.0")"), Failure,
            "Hibás vagy üres alkalmazás verzió (applicationVersion).", "");
        row("404", ScriptedResponse::text(404, "{}"), Failure, "Update check hiba. HTTP=404");
        row("array", ScriptedResponse::json(200, "[]"), Failure, "Update check: hibás JSON.");
        row("HTML", ScriptedResponse::text(200, "<p/>"), Failure, "Update check: hibás JSON.");
        row("never answered", ScriptedResponse::text(0, {}), Failure,
            "Nem érhető el a szerver (HTTP=0).");
        // Generated manifests; ORVANTIS_FUZZ_SEED replays another series.
        const quint32 seed = qEnvironmentVariable("ORVANTIS_FUZZ_SEED", "20261207").toUInt();
        QRandomGenerator random(seed);
        const QByteArrayList values {R"("0.2.0")", R"("0.1.6")", R"(" 9.x ")", R"("v1")", "1e999",
            "null", "[]", R"("\u0000")", R"("0.1.6.0.1")", R"("99999999999999999999")"};
        for (int i = 0; i < 60; ++i) {
            QByteArray body = "{";
            for (const char *key : {"version", "notes", "download_url", "sha256"})
                body += '"' + QByteArray(key) + "\":" + values[random.bounded(int(values.size()))]
                    + ',';
            body[body.size() - 1] = '}';
            body.truncate(random.bounded(6) ? body.size() : random.bounded(30));
            QTest::addRow("seed %u, manifest %d", seed, i)
                << "0.1.6" << ScriptedResponse::json(random.bounded(8) ? 200 : 500, body) << -1
                << QVariant();
        }
    }

    void check()
    {
        QFETCH(QString, appVersion);
        QFETCH(ScriptedResponse, response);
        QFETCH(int, outcome);
        QFETCH(QVariant, first);
        QCoreApplication::setApplicationVersion(appVersion);
        server.answerAllWith(response);
        server.setHolding(response.status == 0);
        UpdateChecker checker(server.origin());
        checker.setTransferTimeout(response.status == 0 ? 500 : TransferTimeoutMs);
        QSignalSpy none(&checker, &UpdateChecker::noUpdate);
        QSignalSpy update(&checker, &UpdateChecker::updateAvailable);
        QSignalSpy failure(&checker, &UpdateChecker::error);

        checker.checkForUpdates();
        QTRY_COMPARE(none.size() + update.size() + failure.size(), 1);
        const QSignalSpy *spies[] = {&none, &update, &failure};
        QVERIFY(outcome < 0 || spies[outcome]->size() == 1);
        QCOMPARE(spies[qMax(outcome, 0)]->value(0).value(0), first);
        QCOMPARE(server.requests().value(0).target, "/releases/latest.json");
    }

    void signedRelease_data()
    {
        QTest::addColumn<QByteArray>("clientKey"); // empty: a client built without a key
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("offered");
        QByteArray keys[2][2]; // public, secret
        for (auto &pair : keys) {
            pair[0].resize(crypto_sign_PUBLICKEYBYTES);
            pair[1].resize(crypto_sign_SECRETKEYBYTES);
            crypto_sign_keypair(reinterpret_cast<uchar *>(pair[0].data()),
                reinterpret_cast<uchar *>(pair[1].data()));
        }
        const auto sign = [&](int key, const QByteArray &version, const QByteArray &sha,
                              const QByteArray &url = "x") {
            const QByteArray message
                = "orvantis-release\n" + version + "\n" + sha + "\n" + url + "\n";
            QByteArray signature(crypto_sign_BYTES, 0);
            crypto_sign_detached(reinterpret_cast<uchar *>(signature.data()), nullptr,
                reinterpret_cast<const uchar *>(message.constData()), message.size(),
                reinterpret_cast<const uchar *>(keys[key][1].constData()));
            return signature.toBase64();
        };
        const auto row = [&](const char *name, const QByteArray &signature, bool offered,
                             const QByteArray &sha = "ab", const QByteArray &clientKey = {}) {
            QByteArray body = manifest(R"("0.2.0")", "x", sha);
            body.insert(1, R"("signature":")" + signature + R"(",)");
            QTest::newRow(name) << (clientKey.isNull() ? keys[0][0] : clientKey) << body << offered;
        };
        row("signed", sign(0, "0.2.0", "ab"), true);
        row("another version signed", sign(0, "0.2.1", "ab"), false);
        row("another digest signed", sign(0, "0.2.0", "AB"), false, "ab");
        row("another address signed", sign(0, "0.2.0", "ab", "y"), false);
        row("signed by another key", sign(1, "0.2.0", "ab"), false);
        row("no digest", sign(0, "0.2.0", " "), false, " ");
        row("no signature", "", false);
        row("not base64", "@@@", false);
        row("client without a key", "@@@", true, "ab", "");
    }

    void signedRelease()
    {
        QFETCH(QByteArray, clientKey);
        QFETCH(QByteArray, body);
        QFETCH(bool, offered);
        server.answerAllWith(ScriptedResponse::json(200, body));
        UpdateChecker checker(server.origin());
        checker.setReleaseKey(clientKey);
        QSignalSpy update(&checker, &UpdateChecker::updateAvailable);
        QSignalSpy failure(&checker, &UpdateChecker::error);
        checker.checkForUpdates();
        QTRY_COMPARE(update.size() + failure.size(), 1);
        QCOMPARE(failure.value(0).value(0).toString(),
            offered ? QString() : "A kiadás aláírása érvénytelen.");
        QCOMPARE(server.requests().size(), 1);
    }

    void address_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("verified");
        QTest::addColumn<QString>("fetched"); // empty: refused
        QTest::newRow("relative") << "a/x" << false << "https://example.org/releases/a/x";
        QTest::newRow("slash-led") << "/files/x" << false << "https://example.org/files/x";
        QTest::newRow("empty") << "" << false << "https://example.org/releases/latest.json";
        QTest::newRow("ftp, even verified") << "ftp://example.org/x" << true << "";
        QTest::newRow("http elsewhere") << "http://example.org/x" << false << "";
        QTest::newRow("http elsewhere, verified")
            << "http://ex.test/x" << true << "http://ex.test/x";
        QTest::newRow("http to localhost") << "http://LocalHost/x" << false << "http://localhost/x";
        QTest::newRow("http to 127.0.0.0/8") << "http://127.1.2.3/" << false << "http://127.1.2.3/";
        QTest::newRow("http to ::1") << "http://[::1]/x" << false << "http://[::1]/x";
    }

    void address()
    {
        QFETCH(QString, url);
        QFETCH(bool, verified);
        QFETCH(QString, fetched);
        const QUrl manifestUrl("https://example.org/releases/latest.json");
        QCOMPARE(installerUrl(manifestUrl, url, verified).toString(), fetched);
    }

    void oneDownloadAtATimeWithUnknownSize()
    {
        server.setHolding(true);
        UpdateChecker checker(server.origin());
        QSignalSpy progress(&checker, &UpdateChecker::downloadProgress);
        QSignalSpy finished(&checker, &UpdateChecker::downloadFinished);
        QSignalSpy failure(&checker, &UpdateChecker::error);
        checker.startDownload("first", QString(), QString());
        checker.startDownload("second", "00", "other");
        QCOMPARE(failure.value(0), QVariantList {"Már fut letöltés."});

        QTRY_COMPARE(server.heldCount(), 1);
        server.startStream(0, ScriptedResponse::text(200, {}));
        // Progress is reported at a limited rate: the body goes on until it is.
        for (int round = 0; round < 500 && progress.isEmpty(); ++round) {
            server.streamBody("#!/bin/true\n");
            progress.wait(10);
        }
        server.endStream();
        QTRY_COMPARE(finished.size(), 1);
        // Only the report at the end, once the body has ended, knows its size.
        QVERIFY(progress.size() >= 2);
        for (qsizetype i = 0; i + 1 < progress.size(); ++i)
            QCOMPARE(progress[i][1].toLongLong(), qint64(-1));
        QCOMPARE(QFileInfo(finished[0][0].toString()).fileName(), "first");
        QCOMPARE(downloadPercent(5000, -1), 0);
        QCOMPARE(downloadPercent(50, 200), 25);
        QCOMPARE(downloadPercent(1, 3), 33);
    }

    void gate_data()
    {
        QTest::addColumn<QByteArray>("manifest"); // empty: the server stays silent
        QTest::addColumn<ScriptedResponse>("installer");
        QTest::addColumn<int>("obstacle");
        QTest::addColumn<QString>("recorded"); // an update whose installer was started before
        // Boxes shown, the last one closed, the others accepted; and the saved file's name.
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("kept"); // the record afterwards
        const ScriptedResponse stub = ScriptedResponse::text(200, Stub);
        QTest::newRow("server silent")
            << QByteArray() << stub << int(NoAnswer) << ""
            << QStringList {errorText("Nem érhető el a szerver (HTTP=0).")} << "";
        QTest::newRow("box closed, earlier update unfinished")
            << manifest(R"("0.2.0")") << stub << int(None) << "0.2.0"
            << QStringList {"Az előző frissítés (0.2.0) nem fejeződött be.\n\n" + Prompt}
            << "0.2.0";
        QTest::newRow("no newer release, earlier update installed")
            << manifest(R"("0.1.6")") << stub << int(None) << "0.1.6" << QStringList() << "";
        // "Frissítés": a saved file's name, or an error over the progress dialog.
        const auto row
            = [](const char *name, const QString &url, const QString &sha256, const QString &then,
                  Obstacle obstacle = None,
                  const ScriptedResponse &installer = ScriptedResponse::text(200, Stub)) {
                  const bool failed = then.contains(' ');
                  QTest::newRow(name)
                      << manifest(R"("0.2.0")", url, sha256) << installer << int(obstacle) << ""
                      << QStringList {Prompt, failed ? "[progress] " + errorText(then) : then}
                      << (failed ? "" : "0.2.0");
              };
        const QString digest = QCryptographicHash::hash(Stub, QCryptographicHash::Sha256).toHex();
        ScriptedResponse cutOff = ScriptedResponse::text(200, Stub + QByteArray(4000, '#'));
        cutOff.framing = ScriptedResponse::Framing::Truncated;
        row("relative, no digest", "a/x.exe", "", "x.exe");
        row("query and fragment", server.origin() + "/x.exe?v=2#top", digest, "x.exe");
        row("trailing slash", "dl/", digest, "OrvantisClient-setup.exe");
        row("digest in upper case", "x", digest.toUpper(), "x");
        row("digest with blanks around", "x", " " + digest + "\\n", "x");
        row("digest with a prefix", "x", "sha256:" + digest,
            "SHA256 nem egyezik! (letöltés sérült?)");
        row("file address", "file:///tmp/x", digest, "Letöltés sikertelen (nem támogatott cím).");
        row("404", "x", "", "Letöltés hiba. HTTP=404", None, ScriptedResponse::text(404, "nincs"));
        row("cut off after status 200", "x", "", CutOff, None, cutOff);
        row("never answered", "x", "", "Letöltés sikertelen (HTTP=0).", NoAnswer);
        row("stalled after status 200", "x", "", CutOff, StallAfterHead);
        row("no folder for it", "x", "",
            "Nem tudtam fájlba menteni a letöltést: " + temp.filePath("x.exe"), NoFolder);
    }

    void gate()
    {
        QFETCH(QByteArray, manifest);
        QFETCH(ScriptedResponse, installer);
        QFETCH(int, obstacle);
        QFETCH(QString, recorded);
        QFETCH(QStringList, events);
        QFETCH(QString, kept);
        // Planted where the installer used to be saved: a file, and a link to it.
        QFile planted(temp.filePath("x.exe"));
        QVERIFY(planted.open(QIODevice::WriteOnly) && planted.write("planted") && planted.flush());
        QVERIFY(planted.link(temp.filePath("x")));
        if (obstacle == NoFolder)
            qputenv("TMPDIR", QFile::encodeName(planted.fileName()));
        QSettings("Orvantis", "OrvantisClient").setValue("update/installing", recorded);
        server.setHolding(manifest.isEmpty()); // the installer is held from the handler
        server.setHandler([&](const RecordedRequest &request) {
            server.setHolding(obstacle >= NoAnswer);
            return request.path() == "/releases/latest.json" ? ScriptedResponse::json(200, manifest)
                                                             : installer;
        });
        connect(&server, &LoopbackServer::requestReceived, &planted, [&](int index) {
            if (index == 1 && obstacle == StallAfterHead)
                server.startStream(0, installer);
        });
        UpdateChecker checker(server.origin());
        checker.setTransferTimeout(obstacle >= NoAnswer ? 500 : TransferTimeoutMs);
        QStringList shown;
        QString saved;
        connect(&checker, &UpdateChecker::downloadFinished, this,
            [&](const QString &path) { shown << QFileInfo(saved = path).fileName(); });
        ModalAnswerer answerer;
        answerer.setDefault([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (box)
                shown << (visibleTopLevels<QProgressDialog>().isEmpty() ? "" : "[progress] ")
                        + box->text();
            const bool last = shown.size() == events.size();
            return box && (last ? ModalAnswerer::reject() : ModalAnswerer::accept())(w);
        });
        int begun = 0;
        // Another answer while the program begins (its first dialog is modal) begins nothing.
        connectStartupGate(&checker, [&] {
            ++begun;
            emit checker.noUpdate();
            QCoreApplication::quit();
        });
        QTimer::singleShot(0, &checker, [&checker] { checker.checkForUpdates(); });
        QTimer::singleShot(20000, &checker, [] { QCoreApplication::exit(1); }); // never quit

        QCOMPARE(QCoreApplication::exec(), 0);
        QTRY_VERIFY(visibleTopLevels<QProgressDialog>().isEmpty());
        QCOMPARE(shown, events);
        QCOMPARE(begun, events.isEmpty() ? 1 : 0);
        QCOMPARE(
            QSettings("Orvantis", "OrvantisClient").value("update/installing").toString(), kept);
        QCOMPARE(readFile(temp.filePath("x.exe")), "planted");
        for (const SeenModal &box : answerer.seen()) // the update prompt offers only the update
            QVERIFY(box.title != "Kötelező frissítés"
                || (box.buttons == QStringList {"Frissítés"} && !box.hasEscapeButton
                    && !(box.flags & Qt::WindowCloseButtonHint)));
        if (saved.isEmpty()) { // nothing left behind
            QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                QStringList({"x", "x.exe"}));
            return;
        }
        const QFileInfo folder(QFileInfo(saved).absolutePath());
        QCOMPARE(folder.absolutePath(), temp.path());
        QVERIFY(!(folder.permissions() & (QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther)));
        QTRY_COMPARE(QString(readFile(saved + ".ran")).split('\n', Qt::SkipEmptyParts),
            QStringList({"/VERYSILENT", "/SUPPRESSMSGBOXES", "/NORESTART", "/SP-",
                "/DIR=" + QDir::toNativeSeparators(QCoreApplication::applicationDirPath()),
                folder.canonicalFilePath()}));
    }

private:
    QTemporaryDir settingsDir;
    QTemporaryDir temp;
    LoopbackServer server;
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
