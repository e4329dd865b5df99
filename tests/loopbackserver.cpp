#include "tests/loopbackserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

// Takes one complete request off the front of the buffer.
bool parseRequest(QByteArray *buffer, RecordedRequest *request)
{
    const int headerEnd = buffer->indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    RecordedRequest parsed {requestLine.value(0), requestLine.value(1), {}, {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            parsed.headers.append(
                {lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
    }
    const qsizetype length = parsed.header("Content-Length").toLongLong();
    if (buffer->size() < headerEnd + 4 + length)
        return false;
    parsed.body = buffer->mid(headerEnd + 4, length);
    buffer->remove(0, headerEnd + 4 + length);
    *request = parsed;
    return true;
}

QByteArray head(const ScriptedResponse &response)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    for (const auto &h : response.headers)
        text += h.first + ": " + h.second + "\r\n";
    return text;
}

} // namespace

QByteArray RecordedRequest::path() const
{
    const int mark = target.indexOf('?');
    return mark < 0 ? target : target.left(mark);
}

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

ScriptedResponse ScriptedResponse::json(int status, const QByteArray &body)
{
    return {status, {{"Content-Type", "application/json"}}, body};
}

ScriptedResponse ScriptedResponse::text(int status, const QByteArray &body)
{
    return {status, {{"Content-Type", "text/plain; charset=utf-8"}}, body};
}

LoopbackServer::LoopbackServer(QObject *parent, quint16 port)
    : QObject(parent)
    , server(new QTcpServer(this))
    , handler([](const RecordedRequest &) { return ScriptedResponse::text(404, QByteArray()); })
{
    server->listen(QHostAddress::LocalHost, port);
    connect(server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QObject::destroyed, this, [this, socket] { held.removeAll(socket); });
        }
    });
}

QString LoopbackServer::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(server->serverPort());
}

void LoopbackServer::setHandler(Handler newHandler)
{
    handler = std::move(newHandler);
}

void LoopbackServer::answerAllWith(const ScriptedResponse &response)
{
    handler = [response](const RecordedRequest &) {
        return response;
    };
}

void LoopbackServer::setHolding(bool on)
{
    holding = on;
}

int LoopbackServer::heldCount() const
{
    return int(held.size());
}

void LoopbackServer::respondToHeld(int index, const ScriptedResponse &response)
{
    answer(held.takeAt(index), response);
}

const QList<RecordedRequest> &LoopbackServer::requests() const
{
    return recorded;
}

void LoopbackServer::clearRequests()
{
    recorded.clear();
}

void LoopbackServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    RecordedRequest request;
    while (parseRequest(&buffer, &request)) {
        recorded.append(request);
        if (holding)
            held.append(socket);
        else
            answer(socket, handler(request));
        emit requestReceived(int(recorded.size()) - 1);
    }
    socket->setProperty("buffer", buffer);
}

void LoopbackServer::answer(QTcpSocket *socket, const ScriptedResponse &response)
{
    using Framing = ScriptedResponse::Framing;
    if (response.framing == Framing::Drop) {
        socket->abort();
        return;
    }
    const bool closeDelimited = response.framing == Framing::CloseDelimited;
    const QByteArray length = "Content-Length: " + QByteArray::number(response.body.size());
    const QByteArray body = response.framing == Framing::Truncated
        ? response.body.left(response.truncatedTo)
        : response.body;
    socket->write(
        head(response) + (closeDelimited ? "Connection: close" : length) + "\r\n\r\n" + body);
    if (response.framing != Framing::ContentLength)
        socket->disconnectFromHost();
}
