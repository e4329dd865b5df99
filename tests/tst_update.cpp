#include "api/transfertimeout.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "tests/visibletoplevels.h"
#include "update/startupgate.h"
#include "update/updatechecker.h"
#include "update/updateprompts.h"

#include <QApplication>
#include <QDir>
#include <QNetworkReply>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sodium.h>
#include <sys/resource.h>

namespace {

// What goes wrong with a download besides the server's answer.
enum Obstacle { None, NoFolder, NoAnswer, NotFound, CutOff, Announced, TooBig, DiskFull };

// Stands in for the installer: writes its arguments and working directory next to itself.
const QByteArray Stub = "#!/bin/sh\n{ printf '%s\\n' \"$@\"; pwd; } > \"$0.ran\"\n";
const QString Prompt = "Új verzió elérhető: 0.2.0\n\nA program használatához frissítened kell.";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The version is JSON text, the others go into JSON strings.
QByteArray manifest(const QByteArray &version, const QString &url = "x", const QString &sha = "ab",
    const QByteArray &signature = {})
{
    return R"({"version":)" + version + R"(,"notes":"<b>Új</b>","download_url":")" + url.toUtf8()
        + R"(","sha256":")" + sha.toUtf8() + R"(","signature":")" + signature + R"("})";
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
        std::signal(SIGXFSZ, SIG_IGN); // a full disk fails the write instead
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
        QTest::addColumn<QByteArray>("key"); // the client's release key; empty: none
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("outcome");
        const auto row = [](const QString &name, const QByteArray &body, const QString &outcome,
                             const char *app = "0.1.6", const QByteArray &key = {},
                             int status = 200) {
            QTest::newRow(qPrintable(name)) << QString(app) << key << body << status << outcome;
        };
        row("equal", manifest(R"("0.1.6")"), "none");
        row("older", manifest(R"("0.1.5")"), "none");
        row("one more zero segment", manifest(R"("0.1.6.0")"), "update 0.1.6.0");
        row("numeric, not textual", manifest(R"("0.1.10")"), "update 0.1.10", "0.1.9");
        row("letter-led version", manifest(R"("v99.0")"), "none");
        row("version as a JSON number", manifest("99"), "none");
        row("blanks around", manifest(R"(" 0.2.0 \n")"), "update  0.2.0 \n");
        row("empty application version", manifest(R"("0.2.0")"),
            "Hibás vagy üres alkalmazás verzió (applicationVersion).", "");
        row("array", "[]", "Update check: hibás JSON.");
        row("HTML", "<p/>", "Update check: hibás JSON.");
        row("404", "{}", "Update check hiba. HTTP=404", "0.1.6", {}, 404);
        row("64 KiB", manifest(QByteArray(1 << 16, ' ') + "9"), "Update check: túl nagy válasz.");
        // A signed release: the client's key must verify version, digest and address.
        QByteArray pk(crypto_sign_PUBLICKEYBYTES, 0), sk(crypto_sign_SECRETKEYBYTES, 0);
        crypto_sign_keypair(
            reinterpret_cast<uchar *>(pk.data()), reinterpret_cast<uchar *>(sk.data()));
        const auto sign = [&sk](const QByteArray &fields) { // version, digest, address
            const QByteArray message = "orvantis-release\n" + fields + "\n";
            QByteArray signature(crypto_sign_BYTES, 0);
            crypto_sign_detached(reinterpret_cast<uchar *>(signature.data()), nullptr,
                reinterpret_cast<const uchar *>(message.constData()), message.size(),
                reinterpret_cast<const uchar *>(sk.constData()));
            return signature.toBase64();
        };
        const auto signedRow = [&](const char *name, const QByteArray &signature, bool offered,
                                   const QByteArray &sha = "ab", const QByteArray &key = {}) {
            row(name, manifest(R"("0.2.0")", "x", sha, signature),
                offered ? "update 0.2.0" : "A kiadás aláírása érvénytelen.", "0.1.6",
                key.isNull() ? pk : key);
        };
        signedRow("signed", sign("0.2.0\nab\nx"), true);
        signedRow("another version signed", sign("0.2.1\nab\nx"), false);
        signedRow("another digest signed", sign("0.2.0\nAB\nx"), false);
        signedRow("another address signed", sign("0.2.0\nab\ny"), false);
        signedRow(
            "client holds another key", sign("0.2.0\nab\nx"), false, "ab", QByteArray(32, 'k'));
        signedRow("no digest", sign("0.2.0\n \nx"), false, " ");
        signedRow("no signature", "", false);
        signedRow("not base64", "@@@", false);
        signedRow("client without a key", "@@@", true, "ab", "");
        // Generated manifests of values of every type; ORVANTIS_FUZZ_SEED replays another series.
        // The version alone decides, unless a number out of range spoils the whole text.
        QRandomGenerator random(qEnvironmentVariable("ORVANTIS_FUZZ_SEED", "20261207").toUInt());
        const QList<QPair<QByteArray, QString>> values {{R"("0.2.0")", "update 0.2.0"},
            {R"("0.1.6")", "none"}, {R"(" 9.x ")", "update  9.x "}, {R"("v1")", "none"},
            {"1e999", "Update check: hibás JSON."}, {"null", "none"}, {"[]", "none"},
            {R"("\u0000")", "none"}, {R"("0.1.6.0.1")", "update 0.1.6.0.1"},
            {R"("99999999999999999999")", "none"}};
        for (int i = 0; i < 60; ++i) {
            QByteArray body = R"({"version":@,"notes":@,"download_url":@,"sha256":@})";
            QString outcome;
            while (body.contains('@')) {
                const auto &[value, result] = values[random.bounded(int(values.size()))];
                outcome = outcome.isNull() || value == "1e999" ? result : outcome;
                body.replace(body.indexOf('@'), 1, value);
            }
            row(QString("manifest %1").arg(i), body, outcome);
        }
    }

    void check()
    {
        QFETCH(QString, appVersion);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, outcome);
        QCoreApplication::setApplicationVersion(appVersion);
        server.answerAllWith(ScriptedResponse::json(status, body));
        UpdateChecker checker(server.origin());
        checker.setReleaseKey(key);
        QStringList seen;
        connect(&checker, &UpdateChecker::noUpdate, this, [&] { seen << "none"; });
        connect(&checker, &UpdateChecker::updateAvailable, this,
            [&](const QString &version) { seen << "update " + version; });
        connect(&checker, &UpdateChecker::error, this, [&](const QString &msg) { seen << msg; });

        checker.checkForUpdates();
        QTRY_COMPARE(seen.size(), 1);
        // Once the reply is gone, nothing more can come of it.
        QTRY_VERIFY(checker.findChildren<QNetworkReply *>().isEmpty());
        QCOMPARE(seen, QStringList {outcome});
        QCOMPARE(server.requests().value(0).target, "/releases/latest.json");
    }

    void address_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("verified");
        QTest::addColumn<QString>("fetched"); // empty: refused
        QTest::newRow("relative") << "a/x" << false << "https://example.org/releases/a/x";
        QTest::newRow("empty") << "" << false << "https://example.org/releases/latest.json";
        QTest::newRow("ftp, even verified") << "ftp://example.org/x" << true << "";
        QTest::newRow("http elsewhere") << "http://example.org/x" << false << "";
        QTest::newRow("http, verified") << "http://ex.test/x" << true << "http://ex.test/x";
        QTest::newRow("http to localhost") << "http://LocalHost/x" << false << "http://localhost/x";
        QTest::newRow("http to 127.0.0.0/8") << "http://127.1.2.3/" << false << "http://127.1.2.3/";
    }

    void address()
    {
        QFETCH(QString, url);
        QFETCH(bool, verified);
        QFETCH(QString, fetched);
        const QUrl manifestUrl("https://example.org/releases/latest.json");
        QCOMPARE(installerUrl(manifestUrl, url, verified).toString(), fetched);
    }

    void oneDownloadAtATime()
    {
        server.setHolding(true);
        UpdateChecker checker(server.origin());
        QSignalSpy finished(&checker, &UpdateChecker::downloadFinished);
        QSignalSpy failure(&checker, &UpdateChecker::error);
        checker.startDownload("first", QString(), QString());
        checker.startDownload("second", "00", "other");
        QCOMPARE(failure.value(0), QVariantList {"Már fut letöltés."});
        QTRY_COMPARE(server.heldCount(), 1);
        server.respondToHeld(0, ScriptedResponse::text(200, "#!/bin/true\n"));
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(QFileInfo(finished[0][0].toString()).fileName(), "first");
        // Until a body has ended its size may be unknown.
        QCOMPARE(downloadPercent(5000, -1), 0);
        QCOMPARE(downloadPercent(1, 3), 33);
    }

    void gate_data()
    {
        QTest::addColumn<QByteArray>("manifest"); // empty: the server stays silent
        QTest::addColumn<int>("obstacle");
        QTest::addColumn<QString>("recorded"); // an update whose installer was started before
        // Boxes shown, the last one closed, the others accepted; and the saved file's name.
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("kept"); // the record afterwards
        QTest::newRow("server silent")
            << QByteArray() << int(NoAnswer) << ""
            << QStringList {errorText("Nem érhető el a szerver (HTTP=0).")} << "";
        QTest::newRow("box closed, earlier update unfinished")
            << manifest(R"("0.2.0")") << int(None) << "0.2.0"
            << QStringList {"Az előző frissítés (0.2.0) nem fejeződött be.\n\n" + Prompt}
            << "0.2.0";
        QTest::newRow("no newer release, earlier update installed")
            << manifest(R"("0.1.6")") << int(None) << "0.1.6" << QStringList() << "";
        // "Frissítés": a saved file's name, or an error over the progress dialog.
        const auto row = [](const char *name, const QString &url, const QString &sha256,
                             const QString &then, Obstacle obstacle = None) {
            const bool failed = then.contains(' ');
            const QString last = "[progress] " + (failed ? errorText(then) : then);
            QTest::newRow(name) << manifest(R"("0.2.0")", url, sha256) << int(obstacle) << ""
                                << QStringList {Prompt, last} << (failed ? "" : "0.2.0");
        };
        const QString digest = QCryptographicHash::hash(Stub, QCryptographicHash::Sha256).toHex();
        row("relative, query and fragment, no digest", "a/x.exe?v=2#top", "", "x.exe");
        row("fragment", "x.exe#top", digest, "x.exe");
        row("trailing slash", "dl/", digest, "OrvantisClient-setup.exe");
        row("digest in upper case, blanks around", "x", " " + digest.toUpper() + "\\n", "x");
        row("digest with a prefix", "x", "sha256:" + digest,
            "SHA256 nem egyezik! (letöltés sérült?)");
        row("file address", "file:///tmp/x", digest, "Letöltés sikertelen (nem támogatott cím).");
        row("404", "x", "", "Letöltés hiba. HTTP=404", NotFound);
        row("cut off after status 200", "x", "", "Letöltés sikertelen (megszakadt az átvitel).",
            CutOff);
        row("never answered", "x", "", "Letöltés sikertelen (HTTP=0).", NoAnswer);
        row("announced as too large", "x", "", "Letöltés sikertelen (túl nagy fájl).", Announced);
        row("too large as it arrives", "x", "", "Letöltés sikertelen (túl nagy fájl).", TooBig);
        const QString unsaved = "Nem tudtam fájlba menteni a letöltést: ";
        row("disk full, no digest", "x", "", unsaved + temp.filePath("OrvantisClient-XXXXXX/x"),
            DiskFull);
        row("no folder for it", "x", "", unsaved + temp.filePath("x.exe"), NoFolder);
    }

    void gate()
    {
        QFETCH(QByteArray, manifest);
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
        // The installer's first line alone is a whole script: a cut-off one must not run.
        auto installer = ScriptedResponse::text(obstacle == NotFound ? 404 : 200, Stub);
        installer.truncatedTo = 10;
        if (obstacle == CutOff)
            installer.framing = ScriptedResponse::Framing::Truncated;
        if (obstacle == Announced || obstacle == TooBig) // no length, or a false one
            installer.framing = ScriptedResponse::Framing::CloseDelimited;
        if (obstacle == Announced)
            installer.headers = {{"Content-Length", QByteArray::number(InstallerLimitBytes + 1)}};
        QSettings("Orvantis", "OrvantisClient").setValue("update/installing", recorded);
        server.setHolding(manifest.isEmpty()); // the installer is held from the handler
        server.setHandler([&](const RecordedRequest &request) {
            server.setHolding(obstacle == NoAnswer);
            return request.path() == "/releases/latest.json" ? ScriptedResponse::json(200, manifest)
                                                             : installer;
        });
        UpdateChecker checker(server.origin());
        checker.setTransferTimeout(obstacle == NoAnswer ? 500 : TransferTimeoutMs);
        checker.setDownloadLimit(obstacle == TooBig ? 20 : InstallerLimitBytes);
        QStringList shown;
        QString saved;
        const auto overProgress = [] {
            return visibleTopLevels<QProgressDialog>().isEmpty() ? "" : "[progress] ";
        };
        connect(&checker, &UpdateChecker::downloadFinished, this, [&](const QString &path) {
            shown << overProgress() + QFileInfo(saved = path).fileName();
        });
        ModalAnswerer answerer;
        answerer.setDefault([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (box)
                shown << overProgress()
                        + box->text().replace(
                            QRegularExpression("OrvantisClient-\\w{6}"), "OrvantisClient-XXXXXX");
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

        rlimit files {}, full {16, RLIM_INFINITY}; // a disk full after 16 bytes of the installer
        prlimit(0, RLIMIT_FSIZE, obstacle == DiskFull ? &full : nullptr, &files);
        const int result = QCoreApplication::exec();
        setrlimit(RLIMIT_FSIZE, &files);
        QCOMPARE(result, 0);
        QTRY_VERIFY(visibleTopLevels<QProgressDialog>().isEmpty());
        QCOMPARE(shown, events);
        QCOMPARE(begun, events.isEmpty() ? 1 : 0);
        QCOMPARE(
            QSettings("Orvantis", "OrvantisClient").value("update/installing").toString(), kept);
        QCOMPARE(readFile(temp.filePath("x.exe")), "planted");
        // The update prompt offers only the update, and shows the notes as they are.
        for (const SeenModal &box : answerer.seen())
            QVERIFY(box.title != "Kötelező frissítés"
                || (box.buttons == QStringList {"Frissítés"} && !box.hasEscapeButton
                    && box.informativeFormat == Qt::PlainText
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
