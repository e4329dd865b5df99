// The HTTP framing, slow-client, connection and password-work defences of the
// real server process, spoken to over raw sockets.
#include "serverprocess.h"

#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

// A request with a Host header, closing the connection after its reply.
QByteArray request(const QByteArray &head, const QByteArray &body = {})
{
    return head + "\r\nHost: x\r\nConnection: close\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray signIn(const QByteArray &name, const QByteArray &password)
{
    return request("POST /api/v1/auth/login HTTP/1.1",
        R"({"felhasznalonev":")" + name + R"(","jelszo":")" + password + R"("})");
}

} // namespace

class TestServerProtocol : public QObject {
    Q_OBJECT

    ServerProcess server;
    quint16 port = 0;

    // What the server sent until it closed the connection, and whether it did.
    std::pair<QByteArray, bool> exchange(
        const QByteArray &sent, const QString &from = QStringLiteral("127.0.0.1"))
    {
        QTcpSocket socket;
        socket.bind(QHostAddress(from));
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write(sent);
        // An unfinished head keeps growing, slowly, as a slow client's would.
        QTimer trickler;
        connect(&trickler, &QTimer::timeout, &socket, [&socket] { socket.write("X-Slow: 1\r\n"); });
        if (sent.endsWith("\r\n") && !sent.contains("\r\n\r\n"))
            trickler.start(200);
        QByteArray received;
        const bool closed = QTest::qWaitFor(
            [&] {
                received += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            20000);
        return {received + socket.readAll(), closed};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.start({QStringLiteral("--request-seconds"), QStringLiteral("1")}));
        port = quint16(QUrl(server.origin).port());
    }
    void cleanupTestCase()
    {
        QVERIFY(server.stop());
    }

    void refusedRequestsEndTheConnection_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("status"); // of the first reply; 0: none
        QTest::addColumn<int>("replies");
        const QByteArray inner = "GET /api/v1/compounds HTTP/1.1\r\nHost: x\r\n\r\n";
        const QByteArray post = "POST /api/v1/auth/login HTTP/1.1\r\nHost: x\r\n";
        const QByteArray smuggled
            = "Content-Length: " + QByteArray::number(inner.size()) + "\r\n\r\n" + inner;
        QByteArray lines;
        for (int i = 0; i < 99; ++i)
            lines += "X-Line-" + QByteArray::number(i) + ": 1\r\n";
        QTest::newRow("pipelined pair") << inner + request("GET /x HTTP/1.1") << 401 << 2;
        QTest::newRow("101 header lines, smuggling") << post + lines + smuggled << 431 << 1;
        QTest::newRow("100 KiB header, smuggling")
            << post + "X-Big: " + QByteArray(100 * 1024, 'a') + "\r\n" + smuggled << 431 << 1;
        QTest::newRow("Content-Length, Transfer-Encoding")
            << post + "Transfer-Encoding: chunked\r\n" + smuggled << 400 << 1;
        QTest::newRow("two Content-Lengths")
            << post + "Content-Length: 1\r\n" + smuggled << 400 << 1;
        QTest::newRow("Content-Length 4 4") << post + "Content-Length: 4 4\r\n\r\n{}{}" << 400 << 1;
        QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\nHost: x\r\n\r\n") << 505 << 1;
        QTest::newRow("no Host") << QByteArray("GET / HTTP/1.1\r\n\r\n") << 400 << 1;
        QTest::newRow("body over 1 MiB") << post + "Content-Length: 1048577\r\n\r\n" << 413 << 1;
        QTest::newRow("head trickles") << post << 408 << 1;
        QTest::newRow("body stops") << post + "Content-Length: 9\r\n\r\n{" << 408 << 1;
        QTest::newRow("TLS ClientHello") << QByteArray("\x16\x03\x01\x00\xa5\x01\x00", 7) << 0 << 0;
    }

    void refusedRequestsEndTheConnection()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, status);
        QFETCH(int, replies);
        const auto [received, closed] = exchange(sent);
        QVERIFY(closed);
        QCOMPARE(received.count("\r\n\r\n"), replies);
        QCOMPARE(received.mid(9, 3).toInt(), status);
        QCOMPARE(received.contains("{\"detail\":\""), status != 0);
    }

    void connectionsPerAddressAreCapped()
    {
        const QString crowd = QStringLiteral("127.0.0.2");
        const QByteArray list = request("GET /api/v1/compounds HTTP/1.1");
        QObject owner;
        QList<QTcpSocket *> open;
        for (int i = 0; i < 64; ++i) {
            open.append(new QTcpSocket(&owner));
            open.last()->bind(QHostAddress(crowd));
            open.last()->connectToHost(QHostAddress::LocalHost, port);
        }
        QTRY_VERIFY(std::all_of(open.begin(), open.end(),
            [](QTcpSocket *s) { return s->state() == QAbstractSocket::ConnectedState; }));
        QCOMPARE(exchange(list, crowd), std::make_pair(QByteArray(), true));
        QVERIFY(exchange(list).first.startsWith("HTTP/1.1 401"));
        delete open.takeFirst();
        QTRY_VERIFY(exchange(list, crowd).first.startsWith("HTTP/1.1 401"));
    }

    void signInFloodIsRefusedWithoutStallingOthers()
    {
        QObject owner;
        QList<QTcpSocket *> signIns;
        for (int i = 0; i < 50; ++i) {
            signIns.append(new QTcpSocket(&owner));
            signIns.last()->connectToHost(QHostAddress::LocalHost, port);
            signIns.last()->write(signIn("nobody-" + QByteArray::number(i), "x"));
        }
        QTcpSocket list;
        list.connectToHost(QHostAddress::LocalHost, port);
        list.write(request("GET /api/v1/compounds HTTP/1.1"));
        const auto pending = [&] {
            return std::count_if(signIns.begin(), signIns.end(),
                [](QTcpSocket *s) { return s->state() == QAbstractSocket::ConnectedState; });
        };
        QTRY_VERIFY(list.bytesAvailable() > 0);
        QVERIFY(pending() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(pending(), 0, 120000);
        int busy = 0;
        for (QTcpSocket *socket : std::as_const(signIns)) {
            const QByteArray reply = socket->readAll();
            busy += reply.startsWith("HTTP/1.1 503") && reply.contains("\r\nRetry-After: ");
            QVERIFY(reply.startsWith("HTTP/1.1 503") || reply.startsWith("HTTP/1.1 401"));
        }
        QVERIFY(busy > 0);
    }

    // Last: it leaves the admin account throttled.
    void reauthFailuresShareTheSignInThrottle()
    {
        const QByteArray reply = exchange(signIn("admin", "Admin#2026")).first;
        const QByteArray token = reply.mid(reply.indexOf("access_token") + 15, 64);
        const QByteArray reauth
            = request("POST /api/v1/admin/reauth HTTP/1.1\r\nAuthorization: Bearer " + token,
                R"({"password":"nem ez"})");
        for (int i = 0; i < 5; ++i) {
            QVERIFY(exchange(signIn("admin", "nem ez")).first.startsWith("HTTP/1.1 401"));
            QVERIFY(exchange(reauth).first.startsWith("HTTP/1.1 403"));
        }
        for (const QByteArray &sent : {reauth, signIn("admin", "Admin#2026")}) {
            const QByteArray refusal = exchange(sent).first;
            QVERIFY(refusal.startsWith("HTTP/1.1 429"));
            QVERIFY(refusal.contains("\r\nRetry-After: "));
        }
    }
};

QTEST_GUILESS_MAIN(TestServerProtocol)
#include "tst_server_protocol.moc"
