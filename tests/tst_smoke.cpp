#include "api/apiclient.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"

#include <QApplication>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>

class TestSmoke : public QObject
{
    Q_OBJECT
private slots:
    void overlapping()
    {
        LoopbackServer server;
        server.setHolding(true);
        ApiClient api;
        api.setBaseUrl(server.origin());
        api.setToken("t");
        QSignalSpy ok(&api, &ApiClient::compoundsOk);
        api.fetchCompounds();
        api.fetchCompounds();
        QTRY_COMPARE(server.heldCount(), 2);
        server.respondToHeld(1, ScriptedResponse::json(200, R"([{"kod":"B"}])"));
        QTRY_COMPARE(ok.size(), 1);
        server.respondToHeld(0, ScriptedResponse::json(200, R"([{"kod":"A"},{"kod":"C"}])"));
        QTRY_COMPARE(ok.size(), 2);
        QCOMPARE(ok.at(0).at(0).value<QList<Compound>>().size(), 1);
        QCOMPARE(ok.at(1).at(0).value<QList<Compound>>().size(), 2);
        QCOMPARE(server.requests().at(0).header("authorization"), QByteArray("Bearer t"));
        QCOMPARE(server.requests().at(0).header("content-type"), QByteArray("application/json"));
    }
    void search()
    {
        LoopbackServer server;
        server.answerAllWith(ScriptedResponse::json(200, "[]"));
        ApiClient api;
        api.setBaseUrl(server.origin());
        QSignalSpy ok(&api, &ApiClient::compoundsSearchOk);
        api.searchCompounds(QStringLiteral("a&b=c d+%41/é"));
        QTRY_COMPARE(ok.size(), 1);
        qDebug() << server.requests().at(0).target;
        QSignalSpy err(&api, &ApiClient::compoundWriteError);
        api.deleteCompound("..");
        QCOMPARE(err.size(), 0);
        QTRY_COMPARE(err.size(), 1);
        qDebug() << err.at(0).at(0).toString();
        api.setBaseUrl("http://127.0.0.1:1");
        api.deleteCompound("x/y");
        QTRY_COMPARE(err.size(), 2);
        qDebug() << err.at(1).at(0).toString();
    }
    void modal()
    {
        ModalAnswerer answerer;
        QMessageBox::warning(nullptr, "Hiba", "hello <b>x</b>");
        QCOMPARE(answerer.seen().size(), 1);
        QCOMPARE(answerer.seen().at(0).text, QString("hello <b>x</b>"));
    }
};

QTEST_MAIN(TestSmoke)
#include "tst_smoke.moc"
