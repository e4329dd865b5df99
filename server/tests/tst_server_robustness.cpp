// Hostile input, the release feed and concurrent clients against the real
// server process.
#include "demoaccounts.h"
#include "httpprobe.h"
#include "serverprocess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QSet>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

struct Endpoint {
    const char *tag;
    QByteArray method;
    QString path;
};

const Endpoint WriteEndpoints[] = {
    {"login", "POST", QStringLiteral("/api/v1/auth/login")},
    {"register", "POST", QStringLiteral("/api/v1/auth/register")},
    {"reauth", "POST", QStringLiteral("/api/v1/admin/reauth")},
    {"create", "POST", QStringLiteral("/api/v1/compounds")},
    {"update", "PUT", QStringLiteral("/api/v1/compounds/VEG-001")},
    {"details", "PUT", QStringLiteral("/api/v1/compounds/VEG-001/details")},
    {"user update", "PUT", QStringLiteral("/api/v1/users/user")},
    {"password", "PUT", QStringLiteral("/api/v1/users/user/password")},
    {"role", "PUT", QStringLiteral("/api/v1/users/user/role")},
};

QJsonObject compound(const QString &kod, const QString &nev)
{
    return {{QStringLiteral("kod"), kod}, {QStringLiteral("nev"), nev},
        {QStringLiteral("keplet"), QStringLiteral("X")},
        {QStringLiteral("molaris_tomeg"), QStringLiteral("1")}, {QStringLiteral("szin"), QString()},
        {QStringLiteral("halmazallapot"), QString()}};
}

// One client of the concurrency test: a fixed sequence of writes and reads
// on its own codes, one request at a time, recording what the server
// acknowledged.
class LoadClient : public QObject {
public:
    LoadClient(int id, const QString &origin, const QByteArray &token, int operations)
        : id(id)
        , origin(origin)
        , token(token)
        , remaining(operations)
    {
    }

    void start()
    {
        next();
    }
    bool finished() const
    {
        return remaining == 0 && !busy;
    }

    QMap<QString, QString> expected; // code -> name, as acknowledged
    int unexpectedStatuses = 0;

private:
    void next()
    {
        if (remaining == 0)
            return;
        const int step = remaining--;
        const QString kod = QStringLiteral("P%1-%2").arg(id).arg(step);
        const QString previous = lastCreated;
        QByteArray method = "GET";
        QString path = QStringLiteral("/api/v1/compounds");
        QByteArray body;
        std::function<void(int)> onStatus;
        switch (step % 5) {
        case 0:
        case 1:
            method = "POST";
            body = QJsonDocument(compound(kod, QStringLiteral("új"))).toJson();
            onStatus = [this, kod](int status) {
                if (status == 201) {
                    expected.insert(kod, QStringLiteral("új"));
                    lastCreated = kod;
                }
            };
            break;
        case 2:
            if (!previous.isEmpty()) {
                method = "PUT";
                path += QStringLiteral("/") + previous;
                body = QJsonDocument(compound(previous, QStringLiteral("módosított"))).toJson();
                onStatus = [this, previous](int status) {
                    if (status == 200)
                        expected[previous] = QStringLiteral("módosított");
                };
            }
            break;
        case 3:
            if (!previous.isEmpty()) {
                method = "DELETE";
                path += QStringLiteral("/") + previous;
                onStatus = [this, previous](int status) {
                    if (status == 200) {
                        expected.remove(previous);
                        lastCreated.clear();
                    }
                };
            }
            break;
        default:
            path += QStringLiteral("/search?q=p%1-&limit=200").arg(id);
            break;
        }
        QNetworkRequest request(QUrl(origin + path));
        request.setHeader(
            QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        request.setRawHeader("Authorization", "Bearer " + token);
        busy = true;
        QNetworkReply *reply = network.sendCustomRequest(request, method, body);
        connect(reply, &QNetworkReply::finished, this, [this, reply, onStatus] {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            reply->deleteLater();
            if (status != 200 && status != 201)
                ++unexpectedStatuses;
            if (onStatus)
                onStatus(status);
            busy = false;
            next();
        });
    }

    QNetworkAccessManager network;
    int id;
    QString origin;
    QByteArray token;
    int remaining;
    bool busy = false;
    QString lastCreated;
};

} // namespace

class TestServerRobustness : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void oversizedBodiesAreRefused_data();
    void oversizedBodiesAreRefused();
    void hugeBodiesAreRefusedWhileArriving();
    void silentConnectionsAreClosed_data();
    void silentConnectionsAreClosed();
    void unusableBodiesAre422_data();
    void unusableBodiesAre422();
    void unknownPathsAndMethods_data();
    void unknownPathsAndMethods();
    void publishedFeedIsServed();
    void publishRefusesBadInput_data();
    void publishRefusesBadInput();
    void concurrentClientsLoseNoAcknowledgedWrite();

private:
    ServerProcess server;
    ServerProcess impatient; // closes silent connections after a second
    std::unique_ptr<HttpProbe> admin;
};

void TestServerRobustness::cleanupTestCase()
{
    QVERIFY(server.stop());
    QVERIFY(impatient.stop());
}

void TestServerRobustness::initTestCase()
{
    QVERIFY(server.start());
    admin = std::make_unique<HttpProbe>(server.origin());
    QVERIFY(admin->signIn(QStringLiteral("admin"), DemoAccounts::adminPassword()));
    QVERIFY(admin->reauthenticate(DemoAccounts::adminPassword()));
}

void TestServerRobustness::oversizedBodiesAreRefused_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    for (const Endpoint &endpoint : WriteEndpoints)
        QTest::newRow(endpoint.tag) << endpoint.method << endpoint.path;
}

void TestServerRobustness::oversizedBodiesAreRefused()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    // Valid JSON of 2 MiB: the size alone decides.
    QJsonObject big = compound(QStringLiteral("NAGY"), QString(2 * 1024 * 1024, QLatin1Char('a')));
    big.insert(QStringLiteral("description"), QString(16, QLatin1Char('b')));
    const ProbeReply reply = admin->sendJson(method, path, big);
    QCOMPARE(reply.status, 413);
    QVERIFY(!reply.detail().isEmpty());
    QVERIFY(!admin->get(QStringLiteral("/api/v1/compounds")).body.contains("NAGY"));
    // A body just under the limit is read normally.
    const QByteArray under = "{\"x\":\"" + QByteArray(1024 * 1024 - 16, 'c') + "\"}";
    QCOMPARE(admin->send(method, path, under).status, 422);
}

void TestServerRobustness::hugeBodiesAreRefusedWhileArriving()
{
    // Far past the limit: refused by the connection guard before the HTTP
    // layer has buffered it; the connection still delivers the reply.
    const ProbeReply reply = admin->send(
        "POST", QStringLiteral("/api/v1/compounds"), QByteArray(24 * 1024 * 1024, '{'));
    QCOMPARE(reply.status, 413);
    QVERIFY(!reply.detail().isEmpty());
    QCOMPARE(admin->get(QStringLiteral("/api/v1/compounds")).status, 200);
}

void TestServerRobustness::silentConnectionsAreClosed_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("nothing sent") << QByteArray();
    QTest::newRow("half a request line") << QByteArray("GET /api/v1/comp");
    QTest::newRow("headers without end") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n");
    QTest::newRow("body shorter than announced")
        << QByteArray("POST /api/v1/auth/login HTTP/1.1\r\nContent-Length: 100\r\n\r\n{");
}

void TestServerRobustness::silentConnectionsAreClosed()
{
    QFETCH(QByteArray, sent);
    if (impatient.port() == 0)
        QVERIFY(impatient.start({QStringLiteral("--idle-seconds"), QStringLiteral("1")}));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, impatient.port());
    QVERIFY(socket.waitForConnected(5000));
    if (!sent.isEmpty())
        socket.write(sent);
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 10000);
}

void TestServerRobustness::unusableBodiesAre422_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    const QList<QPair<const char *, QByteArray>> bodies = {
        {"malformed", QByteArray("{\"kod\": \"x\",")},
        {"array", QByteArray("[1, 2]")},
        {"string", QByteArray("\"szöveg\"")},
        {"null", QByteArray("null")},
        {"empty", QByteArray()},
        {"invalid UTF-8", QByteArray("{\"kod\": \"\xff\xfe\"}")},
        {"every member a number",
            QByteArray("{\"kod\":1,\"nev\":1,\"felhasznalonev\":1,\"jelszo\":1,"
                       "\"password\":1,\"new_password\":1,\"szerepkor\":1,"
                       "\"new_username\":1,\"description\":1}")},
    };
    for (const Endpoint &endpoint : WriteEndpoints) {
        for (const auto &body : bodies)
            QTest::addRow("%s, %s", endpoint.tag, body.first)
                << endpoint.method << endpoint.path << body.second;
    }
}

void TestServerRobustness::unusableBodiesAre422()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    const ProbeReply reply = admin->send(method, path, body);
    QCOMPARE(reply.status, 422);
    QVERIFY(reply.object().value(QStringLiteral("detail")).isString());
}

void TestServerRobustness::unknownPathsAndMethods_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::newRow("root") << QByteArray("GET") << "/" << 404;
    QTest::newRow("other API version") << QByteArray("GET") << "/api/v2/compounds" << 404;
    QTest::newRow("unknown area") << QByteArray("GET") << "/api/v1/secrets" << 404;
    QTest::newRow("login by GET") << QByteArray("GET") << "/api/v1/auth/login" << 405;
    QTest::newRow("list by DELETE") << QByteArray("DELETE") << "/api/v1/compounds" << 405;
    QTest::newRow("users by POST") << QByteArray("POST") << "/api/v1/users" << 405;
    QTest::newRow("deep path") << QByteArray("GET") << "/api/v1/compounds/a/b/c/d" << 404;
    QTest::newRow("release traversal") << QByteArray("GET") << "/releases/..%2Forvantis.db" << 404;
    QTest::newRow("release hidden file") << QByteArray("GET") << "/releases/.latest.json" << 404;
    QTest::newRow("release upload") << QByteArray("PUT") << "/releases/latest.json" << 405;
    QTest::newRow("image listing") << QByteArray("GET") << "/images/" << 404;
}

void TestServerRobustness::unknownPathsAndMethods()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(int, status);
    const ProbeReply reply = admin->send(method, path);
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.detail().isEmpty());
}

void TestServerRobustness::publishedFeedIsServed()
{
    QTemporaryDir staging;
    const QString installer = staging.filePath(QStringLiteral("OrvantisClient-9.9.9 setup.exe"));
    QFile file(installer);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray content = QByteArray("MZ stub installer ") + QByteArray(100000, '\x7f');
    file.write(content);
    file.close();

    QByteArray output;
    const int exitCode = ServerProcess::runToEnd(
        {QStringLiteral("publish"), QStringLiteral("--data-dir"), server.dataDir(),
            QStringLiteral("--version"), QStringLiteral("9.9.9"), QStringLiteral("--notes"),
            QStringLiteral("Új kiadás: javítások."), QStringLiteral("--installer"), installer},
        &output);
    QVERIFY2(exitCode == 0, output.constData());

    HttpProbe anonymous(server.origin());
    const ProbeReply feed = anonymous.get(QStringLiteral("/releases/latest.json"));
    QCOMPARE(feed.status, 200);
    const QJsonObject manifest = feed.object();
    QCOMPARE(manifest.value(QStringLiteral("version")).toString(), QStringLiteral("9.9.9"));
    QCOMPARE(manifest.value(QStringLiteral("notes")).toString(),
        QStringLiteral("Új kiadás: javítások."));
    QCOMPARE(manifest.value(QStringLiteral("sha256")).toString(),
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()));
    const QString downloadUrl = manifest.value(QStringLiteral("download_url")).toString();
    QCOMPARE(downloadUrl, QStringLiteral("OrvantisClient-9.9.9%20setup.exe"));
    const ProbeReply download = anonymous.get(QStringLiteral("/releases/") + downloadUrl);
    QCOMPARE(download.status, 200);
    QCOMPARE(download.body, content);
}

void TestServerRobustness::publishRefusesBadInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no version") << QStringList {QStringLiteral("--notes"), QStringLiteral("x")};
    QTest::newRow("version with a letter first")
        << QStringList {QStringLiteral("--version"), QStringLiteral("v1.0")};
    QTest::newRow("missing installer") << QStringList {QStringLiteral("--version"),
        QStringLiteral("1.0"), QStringLiteral("--installer"), QStringLiteral("/nincs/ilyen.exe")};
}

void TestServerRobustness::publishRefusesBadInput()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir releases;
    QVERIFY(ServerProcess::runToEnd(QStringList {QStringLiteral("publish"),
                                        QStringLiteral("--releases"), releases.path()}
                + arguments)
        != 0);
    QVERIFY(!QFile::exists(releases.filePath(QStringLiteral("latest.json"))));
}

void TestServerRobustness::concurrentClientsLoseNoAcknowledgedWrite()
{
    const int clients = 8;
    const int operations = 200;
    HttpProbe editor(server.origin());
    QVERIFY(editor.signIn(QStringLiteral("editor"), DemoAccounts::editorPassword()));
    const QByteArray token = editor.login(QStringLiteral("editor"), DemoAccounts::editorPassword());
    QList<LoadClient *> load;
    for (int id = 0; id < clients; ++id) {
        load.append(new LoadClient(id, server.origin(), token, operations));
        load.last()->setParent(this);
    }
    for (LoadClient *client : load)
        client->start();
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(load.cbegin(), load.cend(), [](const LoadClient *c) { return c->finished(); }),
        240000);

    QMap<QString, QString> expected;
    for (const LoadClient *client : load) {
        QCOMPARE(client->unexpectedStatuses, 0);
        for (auto it = client->expected.cbegin(); it != client->expected.cend(); ++it)
            expected.insert(it.key(), it.value());
    }
    QMap<QString, QString> stored;
    const QJsonArray list = editor.get(QStringLiteral("/api/v1/compounds")).array();
    for (const QJsonValue &item : list) {
        const QJsonObject object = item.toObject();
        const QString kod = object.value(QStringLiteral("kod")).toString();
        if (kod.startsWith(QLatin1Char('P')) && kod.contains(QLatin1Char('-')))
            stored.insert(kod, object.value(QStringLiteral("nev")).toString());
    }
    QVERIFY(!expected.isEmpty());
    QCOMPARE(stored, expected);
}

QTEST_GUILESS_MAIN(TestServerRobustness)
#include "tst_server_robustness.moc"
