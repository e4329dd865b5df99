// The server as an administrator runs it: on the address it is told, and
// backed up while it writes. (Its other modes are checked on the package.)
#include "httpprobe.h"
#include "serverprocess.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThreadPool>

class TestServerAdmin : public QObject {
    Q_OBJECT

private slots:
    // Served on a second loopback address alone, an editor writes compounds
    // there one after the other; a backup taken during these writes is whole
    // and holds each write acknowledged before it began.
    void listensAndBacksUp()
    {
        ServerProcess server;
        QVERIFY(server.start({"--listen", "127.0.0.2"}));
        QCOMPARE(
            HttpProbe {QString(server.origin).replace(".2:", ".1:")}.send("GET", "/").first, 0);
        HttpProbe editor {server.origin, signInCallers(server.origin)["editor"]};
        std::atomic<int> acknowledged = 0;
        std::atomic<bool> stop = false;
        QThreadPool writer;
        writer.start([&] {
            const QString compound
                = R"({"kod":"B%1","nev":"N","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})";
            while (!stop
                && editor.send("POST", "/api/v1/compounds", compound.arg(acknowledged).toUtf8())
                        .first
                    == 201)
                ++acknowledged;
        });
        QTRY_VERIFY(acknowledged >= 20);
        const int before = acknowledged;
        const QString file = server.dir.filePath("backup.db");
        QCOMPARE(QProcess::execute(ORVANTIS_SERVER_BINARY,
                     {"backup", "--data-dir", server.dir.path(), "--out", file}),
            0);
        stop = true;
        writer.waitForDone();
        QSqlDatabase backup = QSqlDatabase::addDatabase("QSQLITE");
        backup.setDatabaseName(file);
        QVERIFY(backup.open());
        QSqlQuery query(backup);
        QVERIFY(query.exec("PRAGMA integrity_check") && query.next() && query.value(0) == "ok");
        QVERIFY(query.exec("SELECT count(*) FROM compounds WHERE kod LIKE 'B%'") && query.next()
            && query.value(0).toInt() >= before);
        QCOMPARE(QFile::permissions(file),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(server.stop());
    }
};

QTEST_GUILESS_MAIN(TestServerAdmin)
#include "tst_server_admin.moc"
