#include "api/apiclient.h"
#include "tests/loopbackserver.h"
#include "tests/replyfuzzer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

// Feeds every reply handler of the API client with generated replies and
// checks that each request ends in exactly one signal of its own pair, with
// a message for every error. Set ORVANTIS_FUZZ_SEED to replay a failing run.
class TestReplyFuzz : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void handlersSurviveHostileReplies_data();
    void handlersSurviveHostileReplies();

private:
    quint32 seed = 20261206;
};

namespace {

struct Operation {
    std::function<void(ApiClient &)> call;
    QByteArray okSignal;
    QByteArray errorSignal;
};

Operation operation(const QByteArray &name)
{
    Compound c;
    c.kod = QStringLiteral("K1");
    const QString who = QStringLiteral("anna");
    static const QHash<QByteArray, Operation> operations {
        {"login",
            {[](ApiClient &a) { a.login(QStringLiteral("u"), QStringLiteral("p")); }, "loginOk",
                "loginError"}},
        {"registerUser",
            {[](ApiClient &a) {
                 a.registerUser(QStringLiteral("u"), {}, {}, QStringLiteral("p"), {});
             },
                "registerOk", "registerError"}},
        {"adminReauth",
            {[](ApiClient &a) { a.adminReauth(QStringLiteral("p")); }, "adminReauthOk",
                "adminReauthError"}},
        {"fetchCompounds",
            {[](ApiClient &a) { a.fetchCompounds(); }, "compoundsOk", "compoundsError"}},
        {"searchCompounds",
            {[](ApiClient &a) { a.searchCompounds(QStringLiteral("x")); }, "compoundsSearchOk",
                "compoundsSearchError"}},
        {"createCompound",
            {[c](ApiClient &a) { a.createCompound(c); }, "compoundWriteOk", "compoundWriteError"}},
        {"updateCompound",
            {[c](ApiClient &a) { a.updateCompound(c.kod, c); }, "compoundWriteOk",
                "compoundWriteError"}},
        {"deleteCompound",
            {[c](ApiClient &a) { a.deleteCompound(c.kod); }, "compoundWriteOk",
                "compoundWriteError"}},
        {"fetchCompoundDetails",
            {[c](ApiClient &a) { a.fetchCompoundDetails(c.kod); }, "compoundDetailsOk",
                "compoundDetailsError"}},
        {"saveCompoundDetails",
            {[c](ApiClient &a) { a.saveCompoundDetails(c.kod, {}); }, "compoundDetailsWriteOk",
                "compoundDetailsWriteError"}},
        {"fetchUsers", {[](ApiClient &a) { a.fetchUsers(); }, "usersOk", "usersError"}},
        {"updateUser",
            {[who](ApiClient &a) { a.updateUser(who, who, {}, {}, {}, {}); }, "userUpdateOk",
                "userUpdateError"}},
        {"resetUserPassword",
            {[who](ApiClient &a) { a.resetUserPassword(who, QStringLiteral("p")); },
                "passwordResetOk", "passwordResetError"}},
        {"setUserRole",
            {[who](ApiClient &a) { a.setUserRole(who, QStringLiteral("user")); }, "adminWriteOk",
                "adminWriteError"}},
    };
    return operations.value(name);
}

const QStringList replyKeys {QStringLiteral("access_token"), QStringLiteral("szerepkor"),
    QStringLiteral("keresztnev"), QStringLiteral("detail"), QStringLiteral("kod"),
    QStringLiteral("nev"), QStringLiteral("keplet"), QStringLiteral("molaris_tomeg"),
    QStringLiteral("szin"), QStringLiteral("halmazallapot"), QStringLiteral("details_hit"),
    QStringLiteral("base_hit"), QStringLiteral("description"), QStringLiteral("cas"),
    QStringLiteral("images"), QStringLiteral("url"), QStringLiteral("caption"),
    QStringLiteral("order"), QStringLiteral("felhasznalonev"), QStringLiteral("vezeteknev"),
    QStringLiteral("email")};

// One spy per signal of the client, so that any stray emission is counted.
class AllSignals {
public:
    explicit AllSignals(ApiClient *api)
    {
        const QMetaObject &meta = ApiClient::staticMetaObject;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            if (method.methodType() == QMetaMethod::Signal)
                spies.emplace_back(std::make_unique<QSignalSpy>(api, method));
        }
    }
    int total() const
    {
        int sum = 0;
        for (const auto &spy : spies)
            sum += spy->size();
        return sum;
    }
    QSignalSpy *spyFor(const QByteArray &name) const
    {
        for (const auto &spy : spies) {
            if (spy->signal().startsWith(name + '('))
                return spy.get();
        }
        return nullptr;
    }
    void clear()
    {
        for (const auto &spy : spies)
            spy->clear();
    }

private:
    std::vector<std::unique_ptr<QSignalSpy>> spies;
};

// Waits, without polling, until the operation's success or error signal comes.
bool waitForEither(ApiClient *api, const Operation &op, int timeoutMs)
{
    const QMetaObject &meta = ApiClient::staticMetaObject;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.exit(1); });
    const QMetaMethod quit = loop.metaObject()->method(loop.metaObject()->indexOfSlot("quit()"));
    for (const QByteArray &name : {op.okSignal, op.errorSignal}) {
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).name() == name)
                QObject::connect(api, meta.method(i), &loop, quit);
        }
    }
    return loop.exec() == 0;
}

} // namespace

void TestReplyFuzz::initTestCase()
{
    bool ok = false;
    const quint32 fromEnvironment = qEnvironmentVariable("ORVANTIS_FUZZ_SEED").toUInt(&ok);
    if (ok)
        seed = fromEnvironment;
    qInfo("fuzz seed %u (replay with ORVANTIS_FUZZ_SEED=%u)", seed, seed);
}

void TestReplyFuzz::handlersSurviveHostileReplies_data()
{
    QTest::addColumn<QByteArray>("name");
    for (const char *name : {"login", "registerUser", "adminReauth", "fetchCompounds",
             "searchCompounds", "createCompound", "updateCompound", "deleteCompound",
             "fetchCompoundDetails", "saveCompoundDetails", "fetchUsers", "updateUser",
             "resetUserPassword", "setUserRole"}) {
        QTest::newRow(name) << QByteArray(name);
    }
}

void TestReplyFuzz::handlersSurviveHostileReplies()
{
    QFETCH(QByteArray, name);
    const int cases = 600;
    QElapsedTimer budget;
    budget.start();
    const Operation op = operation(name);
    ReplyFuzzer fuzzer(seed ^ qHash(name), replyKeys);
    LoopbackServer server;
    ApiClient api;
    api.setBaseUrl(server.origin());
    api.setToken(QStringLiteral("token"));
    AllSignals signalSpies(&api);
    QSignalSpy *ok = signalSpies.spyFor(op.okSignal);
    QSignalSpy *error = signalSpies.spyFor(op.errorSignal);
    QVERIFY(ok && error);

    int i = 0;
    int succeeded = 0;
    for (; i < cases && budget.elapsed() < 60000; ++i) {
        const int status = fuzzer.nextStatus();
        // Every other body parses, so that the record decoders are reached.
        const QByteArray body = i == 0 ? fuzzer.hugeBody()
            : i % 2                    ? fuzzer.nextWellFormedBody()
                                       : fuzzer.nextBody();
        const QByteArray where = QByteArray(name) + " case " + QByteArray::number(i) + " status "
            + QByteArray::number(status) + " seed " + QByteArray::number(seed);
        server.answerAllWith(ReplyFuzzer::response(status, body));
        signalSpies.clear();
        op.call(api);
        QVERIFY2(waitForEither(&api, op, 20000), where.constData());
        QVERIFY2(signalSpies.total() == 1, where.constData());
        QVERIFY2(ok->size() + error->size() == 1, where.constData());
        if (!error->isEmpty()) {
            const QList<QVariant> arguments = error->first();
            QVERIFY2(!arguments.constLast().toString().isEmpty(), where.constData());
        }
        succeeded += int(ok->size());
    }
    qInfo("%s: %d replies in %lld ms, %d decoded as success", name.constData(), i,
        static_cast<long long>(budget.elapsed()), succeeded);
    // A generator that never got past the parser would prove nothing.
    QVERIFY(succeeded > 0);
}

QTEST_GUILESS_MAIN(TestReplyFuzz)
#include "tst_replyfuzz.moc"
