#include "api/serverorigin.h"
#include "tests/loopbackserver.h"
#include "tests/replyfuzzer.h"
#include "tests/testorigin.h"
#include "update/updatechecker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// Feeds the update check with generated release manifests and statuses: every
// check must end in exactly one of its three outcomes, errors with a message.
// Set ORVANTIS_FUZZ_SEED to replay a failing run.
class TestManifestFuzz : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void checkSurvivesHostileManifests();

private:
    LoopbackServer server;
    quint32 seed = 20261206;
};

namespace {

const QStringList manifestKeys {QStringLiteral("version"), QStringLiteral("notes"),
    QStringLiteral("download_url"), QStringLiteral("sha256"), QStringLiteral("mandatory")};

bool waitForOutcome(UpdateChecker *checker, int timeoutMs)
{
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.exit(1); });
    QObject::connect(checker, &UpdateChecker::noUpdate, &loop, &QEventLoop::quit);
    QObject::connect(checker, &UpdateChecker::updateAvailable, &loop, &QEventLoop::quit);
    QObject::connect(checker, &UpdateChecker::error, &loop, &QEventLoop::quit);
    return loop.exec() == 0;
}

} // namespace

void TestManifestFuzz::initTestCase()
{
    bool ok = false;
    const quint32 fromEnvironment = qEnvironmentVariable("ORVANTIS_FUZZ_SEED").toUInt(&ok);
    if (ok)
        seed = fromEnvironment;
    qInfo("fuzz seed %u (replay with ORVANTIS_FUZZ_SEED=%u)", seed, seed);
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.6"));
    QVERIFY(server.adoptListeningSocket(TestOriginSocket));
    QCOMPARE(server.origin(), DefaultServerOrigin);
}

void TestManifestFuzz::checkSurvivesHostileManifests()
{
    const int cases = 3000;
    QElapsedTimer budget;
    budget.start();
    ReplyFuzzer fuzzer(seed, manifestKeys);
    UpdateChecker checker;
    QSignalSpy none(&checker, &UpdateChecker::noUpdate);
    QSignalSpy update(&checker, &UpdateChecker::updateAvailable);
    QSignalSpy failure(&checker, &UpdateChecker::error);
    QSignalSpy progress(&checker, &UpdateChecker::downloadProgress);
    QSignalSpy downloaded(&checker, &UpdateChecker::downloadFinished);

    int done = 0;
    int outcomes[3] = {};
    for (; done < cases && budget.elapsed() < 60000; ++done) {
        const int status = fuzzer.nextStatus();
        // Every other body parses, so that the manifest's fields are read.
        const QByteArray body = done == 0 ? fuzzer.hugeBody()
            : done % 2                    ? fuzzer.nextWellFormedBody()
                                          : fuzzer.nextBody();
        const QByteArray where = "case " + QByteArray::number(done) + " status "
            + QByteArray::number(status) + " seed " + QByteArray::number(seed);
        server.answerAllWith(ReplyFuzzer::response(status, body));
        server.clearRequests();
        none.clear();
        update.clear();
        failure.clear();

        checker.checkForUpdates();
        QVERIFY2(waitForOutcome(&checker, 20000), where.constData());
        QVERIFY2(none.size() + update.size() + failure.size() == 1, where.constData());
        ++outcomes[none.size() ? 0 : update.size() ? 1 : 2];
        if (!failure.isEmpty())
            QVERIFY2(!failure.first().first().toString().isEmpty(), where.constData());
        QVERIFY2(progress.isEmpty() && downloaded.isEmpty(), where.constData());
    }
    qInfo("%d manifests in %lld ms: %d noUpdate, %d updateAvailable, %d error", done,
        static_cast<long long>(budget.elapsed()), outcomes[0], outcomes[1], outcomes[2]);
    // A generator that never got past the parser would prove nothing.
    QVERIFY(outcomes[0] > 0 && outcomes[1] > 0 && outcomes[2] > 0);
}

QTEST_GUILESS_MAIN(TestManifestFuzz)
#include "tst_manifestfuzz.moc"
