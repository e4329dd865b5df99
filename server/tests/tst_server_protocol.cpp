// The HTTP framing, slow-client, connection and password-work defences of the
// real server process, spoken to over raw sockets.
#include "serverprocess.h"

#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

const int HashThreads = 1; // of the server's password hashing

// A request with a Host header, closing the connection after its reply.
QByteArray request(const QByteArray &head, const QByteArray &body = {})
{
    return head + "\r\nHost: x\r\nConnection: close\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray list = request("GET /api/v1/compounds HTTP/1.1");

QByteArray signIn(const QByteArray &name, const QByteArray &password)
{
    return request("POST /api/v1/auth/login HTTP/1.1",
        R"({"felhasznalonev":")" + name + R"(","jelszo":")" + password + R"("})");
}

qsizetype connected(const QList<QTcpSocket *> &sockets)
{
    return std::count_if(sockets.begin(), sockets.end(),
        [](QTcpSocket *s) { return s->state() == QAbstractSocket::ConnectedState; });
}

} // namespace

class TestServerProtocol : public QObject {
    Q_OBJECT

    ServerProcess server;

    // Connections from one address, owned by `owner`, the i-th sending say(i).
    QList<QTcpSocket *> open(
        QObject *owner, int count, const QString &from, const std::function<QByteArray(int)> &say)
    {
        QList<QTcpSocket *> sockets;
        for (int i = 0; i < count; ++i) {
            sockets.append(new QTcpSocket(owner));
            sockets.last()->bind(QHostAddress(from));
            sockets.last()->connectToHost(QHostAddress::LocalHost, QUrl(server.origin).port());
            sockets.last()->write(say(i));
        }
        return sockets;
    }

    // What the server sent until it closed the connection, which it must.
    QByteArray exchange(const QByteArray &sent, const QString &from = QStringLiteral("127.0.0.1"))
    {
        QObject owner;
        QTcpSocket &socket = *open(&owner, 1, from, [&](int) { return sent; }).first();
        // An unfinished head keeps growing, slowly, as a slow client's would.
        QTimer trickler;
        connect(&trickler, &QTimer::timeout, &socket, [&socket] { socket.write("X-Slow: 1\r\n"); });
        if (sent.endsWith("\r\n") && !sent.contains("\r\n\r\n"))
            trickler.start(200);
        const bool closed
            = QTest::qWaitFor([&] { return socket.state() == socket.UnconnectedState; }, 20000);
        QTest::qVerify(closed, "closed", "left open", __FILE__, __LINE__);
        return socket.readAll();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.start(
            {"--request-seconds", "1", "--hash-threads", QString::number(HashThreads)}));
    }
    void cleanupTestCase()
    {
        QVERIFY(server.stop());
    }

    // A body holding a second request must never get a second reply.
    void refusedRequestsEndTheConnection_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("status"); // 0: no reply at all
        const QByteArray post = "POST /api/v1/auth/login HTTP/1.1\r\nHost: x\r\n";
        const QByteArray smuggled = "Content-Length: 28\r\n\r\nGET /x HTTP/1.1\r\nHost: x\r\n\r\n";
        QTest::newRow("101 lines") << post + QByteArray("X: 1\r\n").repeated(99) + smuggled << 431;
        QTest::newRow("100 KiB") << post + "X: " + QByteArray(102400, 'a') + "\r\n" + smuggled
                                 << 431;
        QTest::newRow("CL, TE") << post + "Transfer-Encoding: chunked\r\n" + smuggled << 400;
        QTest::newRow("two CLs") << post + "Content-Length: 1\r\n" + smuggled << 400;
        QTest::newRow("CL 4 4") << post + "Content-Length: 4 4\r\n\r\n{}{}" << 400;
        QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\nHost: x\r\n\r\n") << 505;
        QTest::newRow("no Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 400;
        QTest::newRow("body over 1 MiB") << post + "Content-Length: 1048577\r\n\r\n" << 413;
        QTest::newRow("head trickles") << post << 408;
        QTest::newRow("body stops") << post + "Content-Length: 9\r\n\r\n{" << 408;
        QTest::newRow("TLS ClientHello") << QByteArray("\x16\x03\x01\x00\xa5\x01\x00", 7) << 0;
    }

    void refusedRequestsEndTheConnection()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        const QByteArray received = exchange(sent);
        QCOMPARE(received.count("\r\n\r\n"), int(status != 0));
        QCOMPARE(received.mid(9, 3).toInt(), status);
        QCOMPARE(received.contains("{\"detail\":\""), status != 0);
    }

    void connectionsPerAddressAreCapped()
    {
        const QString crowd = QStringLiteral("127.0.0.2");
        QObject owner;
        const QList<QTcpSocket *> idle = open(&owner, 64, crowd, [](int) { return ""; });
        QTRY_COMPARE(connected(idle), 64);
        QCOMPARE(exchange(list, crowd), QByteArray());
        // Pipelined requests are each answered, from any other address.
        QCOMPARE(exchange("GET /x HTTP/1.1\r\nHost: x\r\n\r\n" + list).count("HTTP/1.1 "), 2);
        idle.first()->abort();
        QTRY_VERIFY(exchange(list, crowd).startsWith("HTTP/1.1 401"));
    }

    void signInFloodIsRefusedWithoutStallingOthers()
    {
        // Four times what the hashing pool takes: each thread's job and two waiting.
        const int flood = 4 * 3 * HashThreads;
        QObject owner;
        const QList<QTcpSocket *> signIns = open(&owner, flood, "127.0.0.1",
            [](int i) { return signIn("nobody-" + QByteArray::number(i), "x"); });
        QVERIFY(exchange(list).startsWith("HTTP/1.1 401"));
        QVERIFY(connected(signIns) > 0);
        QTRY_COMPARE_WITH_TIMEOUT(connected(signIns), 0, 60000);
        QByteArray replies;
        for (QTcpSocket *socket : signIns)
            replies += socket->readAll();
        QVERIFY(replies.count("HTTP/1.1 503") > 0);
        // Each reply is a refused password or a 503 with Retry-After.
        QCOMPARE(replies.count("\r\nRetry-After: ") + replies.count("HTTP/1.1 401"), flood);
    }

    // Last: it leaves the admin account throttled.
    void reauthFailuresShareTheSignInThrottle()
    {
        const QByteArray reply = exchange(signIn("admin", "Admin#2026"));
        const QByteArray token = reply.mid(reply.indexOf("access_token") + 15, 64);
        const QByteArray reauth
            = request("POST /api/v1/admin/reauth HTTP/1.1\r\nAuthorization: Bearer " + token,
                R"({"password":"nem ez"})");
        for (int i = 0; i < 5; ++i)
            QVERIFY(exchange(signIn("admin", "nem ez")).startsWith("HTTP/1.1 401")
                && exchange(reauth).startsWith("HTTP/1.1 403"));
        const QByteArray refusals = exchange(reauth) + exchange(signIn("admin", "Admin#2026"));
        QCOMPARE(refusals.count("HTTP/1.1 429"), 2);
        QCOMPARE(refusals.count("\r\nRetry-After: "), 2);
    }
};

QTEST_GUILESS_MAIN(TestServerProtocol)
#include "tst_server_protocol.moc"
