#include "tests/loopbackserver.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

const char BufferProperty[] = "loopbackBuffer";

bool parseRequest(QByteArray *buffer, RecordedRequest *request)
{
    const int headerEnd = buffer->indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    RecordedRequest parsed;
    parsed.method = requestLine.value(0);
    parsed.target = requestLine.value(1);
    qsizetype contentLength = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        parsed.headers.append(qMakePair(name, value));
        if (name.compare("content-length", Qt::CaseInsensitive) == 0)
            contentLength = value.toLongLong();
    }
    const qsizetype bodyStart = headerEnd + 4;
    if (buffer->size() < bodyStart + contentLength)
        return false;
    parsed.body = buffer->mid(bodyStart, contentLength);
    buffer->remove(0, bodyStart + contentLength);
    *request = parsed;
    return true;
}

} // namespace

QByteArray RecordedRequest::path() const
{
    const int mark = target.indexOf('?');
    return mark < 0 ? target : target.left(mark);
}

QByteArray RecordedRequest::query() const
{
    const int mark = target.indexOf('?');
    return mark < 0 ? QByteArray() : target.mid(mark + 1);
}

bool RecordedRequest::hasHeader(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
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
    ScriptedResponse r;
    r.status = status;
    r.headers.append(
        qMakePair(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")));
    r.body = body;
    return r;
}

ScriptedResponse ScriptedResponse::text(int status, const QByteArray &body)
{
    ScriptedResponse r;
    r.status = status;
    r.headers.append(qMakePair(
        QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/plain; charset=utf-8")));
    r.body = body;
    return r;
}

LoopbackServer::LoopbackServer(QObject *parent)
    : QObject(parent)
    , server(new QTcpServer(this))
    , handler([](const RecordedRequest &) { return ScriptedResponse::text(404, QByteArray()); })
{
    server->listen(QHostAddress::LocalHost, 0);
    connect(server, &QTcpServer::newConnection, this, &LoopbackServer::onNewConnection);
}

LoopbackServer::~LoopbackServer() = default;

quint16 LoopbackServer::port() const
{
    return server->serverPort();
}

QString LoopbackServer::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
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
    return held.size();
}

void LoopbackServer::respondToHeld(int index, const ScriptedResponse &response)
{
    const Pending pending = held.takeAt(index);
    answer(pending.socket, response);
}

void LoopbackServer::startStream(int index, const ScriptedResponse &head)
{
    streaming = held.takeAt(index).socket;
    QByteArray text = "HTTP/1.1 " + QByteArray::number(head.status) + " Scripted\r\n";
    for (const auto &h : head.headers)
        text += h.first + ": " + h.second + "\r\n";
    streaming->write(text + "Connection: close\r\n\r\n");
}

void LoopbackServer::streamBody(const QByteArray &bytes)
{
    if (streaming)
        streaming->write(bytes);
}

void LoopbackServer::endStream()
{
    if (streaming)
        streaming->disconnectFromHost();
    streaming = nullptr;
}

const QList<RecordedRequest> &LoopbackServer::requests() const
{
    return recorded;
}

void LoopbackServer::clearRequests()
{
    recorded.clear();
}

void LoopbackServer::onNewConnection()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] {
            if (streaming == socket)
                streaming = nullptr;
            held.removeIf([socket](const Pending &p) { return p.socket == socket; });
        });
    }
}

void LoopbackServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property(BufferProperty).toByteArray() + socket->readAll();
    RecordedRequest request;
    while (parseRequest(&buffer, &request)) {
        recorded.append(request);
        const int index = recorded.size() - 1;
        if (holding)
            held.append({socket, index});
        else
            answer(socket, handler(request));
        emit requestReceived(index);
    }
    socket->setProperty(BufferProperty, buffer);
}

void LoopbackServer::answer(QTcpSocket *socket, const ScriptedResponse &response)
{
    using Framing = ScriptedResponse::Framing;
    if (response.framing == Framing::Drop) {
        socket->abort();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
    for (const auto &h : response.headers)
        head += h.first + ": " + h.second + "\r\n";
    QByteArray body = response.body;
    if (response.framing == Framing::CloseDelimited) {
        head += "Connection: close\r\n";
    } else {
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    if (response.framing == Framing::Truncated)
        body = body.left(response.truncatedTo);
    socket->write(head + "\r\n" + body);
    if (response.framing != Framing::ContentLength)
        socket->disconnectFromHost();
}
