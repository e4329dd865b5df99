#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>

#include <functional>

class QTcpServer;
class QTcpSocket;

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// One HTTP request as it arrived on the wire.
struct RecordedRequest {
    QByteArray method;
    QByteArray target; // path with the raw query, exactly as sent
    HeaderList headers;
    QByteArray body;

    QByteArray path() const; // target up to '?'
    QByteArray header(const QByteArray &name) const; // case-insensitive name
};

struct ScriptedResponse {
    enum class Framing {
        ContentLength, // announce the body length, keep the connection
        CloseDelimited, // no length: the body ends when the connection closes
        Truncated, // announce the full length, send part, then close
        Drop // close the connection without any answer
    };

    int status = 200;
    HeaderList headers;
    QByteArray body;
    Framing framing = Framing::ContentLength;
    int truncatedTo = 0; // bytes of the body sent when Truncated

    static ScriptedResponse json(int status, const QByteArray &body);
    static ScriptedResponse text(int status, const QByteArray &body);
};

// A small HTTP/1.1 server on 127.0.0.1, by default on an ephemeral port. It records
// every request and answers with what the test scripts; requests can also be
// held back and answered later in any order.
class LoopbackServer : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<ScriptedResponse(const RecordedRequest &)>;

    explicit LoopbackServer(QObject *parent = nullptr, quint16 port = 0);

    QString origin() const; // "http://127.0.0.1:<port>"

    // Answers every request through the handler (default: 404, empty body).
    void setHandler(Handler handler);
    void answerAllWith(const ScriptedResponse &response);

    // While holding, requests wait until respondToHeld answers them.
    void setHolding(bool holding);
    int heldCount() const;
    void respondToHeld(int index, const ScriptedResponse &response);

    const QList<RecordedRequest> &requests() const;
    void clearRequests();

signals:
    void requestReceived(int index);

private:
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const ScriptedResponse &response);

    QTcpServer *server;
    Handler handler;
    bool holding = false;
    QList<QTcpSocket *> held;
    QList<RecordedRequest> recorded;
};
