#include "server/http/connectionguard.h"

#include "server/http/guardedsocket.h"
#include "server/http/requestlimits.h"
#include "server/http/tlspolicy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <algorithm>

namespace {

using namespace RequestLimits;

// After a refusal the connection is closed only once the client has been
// quiet this long, so that its unread bytes do not reset the connection
// before it has read the reply.
const int LingerMs = 500;
const qint64 MaxDiscardedBytes = 64 * 1024 * 1024;
// Requests a client may queue up on one connection behind the one in work.
const qint64 MaxHeldBytes = MaxHeadBytes + MaxBodyBytes;
const QByteArray BadRequest = QByteArrayLiteral("400 Bad Request");

bool isDigits(const QByteArray &text)
{
    return !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isToken(const QByteArray &text)
{
    static const QByteArray marks = QByteArrayLiteral("!#$%&'*+-.^_`|~");
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || marks.contains(c);
    });
}

// Control characters other than tab have no place in a request line or a
// header.
bool hasControl(const QByteArray &text)
{
    return std::any_of(text.begin(), text.end(),
        [](char c) { return (uchar(c) < 0x20 && c != '\t') || uchar(c) == 0x7f; });
}

// Whether the start of a request line (up to 17 bytes) can be HTTP: a
// method in capitals, then a space.
bool mayBeRequestLine(const QByteArray &line)
{
    const qsizetype space = line.indexOf(' ');
    const QByteArray method = space < 0 ? line : line.left(space);
    return space != 0 && method.size() <= 16
        && std::all_of(method.begin(), method.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

} // namespace

void ConnectionGuard::attach(
    QTcpSocket *socket, GuardedInput *input, int idleSeconds, int requestSeconds)
{
    new ConnectionGuard(socket, input, idleSeconds, requestSeconds);
}

void ConnectionGuard::replied(QTcpSocket *socket)
{
    auto *guard = socket->findChild<ConnectionGuard *>(QString(), Qt::FindDirectChildrenOnly);
    if (!guard || !guard->inFlight)
        return;
    guard->inFlight = false;
    guard->idleTimer.start();
    if (guard->closeAfterCurrent) {
        guard->lingering = true;
        socket->disconnectFromHost();
    } else {
        QMetaObject::invokeMethod(guard, &ConnectionGuard::releaseNext, Qt::QueuedConnection);
    }
}

ConnectionGuard::ConnectionGuard(
    QTcpSocket *socket, GuardedInput *input, int idleSeconds, int requestSeconds)
    : QObject(socket)
    , socket(socket)
    , input(input)
{
    idleTimer.setSingleShot(true);
    idleTimer.setInterval(idleSeconds * 1000);
    connect(&idleTimer, &QTimer::timeout, this, &ConnectionGuard::onIdle);
    idleTimer.start();
    requestTimer.setSingleShot(true);
    requestTimer.setInterval(requestSeconds * 1000);
    connect(&requestTimer, &QTimer::timeout, this, &ConnectionGuard::onRequestTimeout);
    connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, [this] { idleTimer.start(); });
}

void ConnectionGuard::onReadyRead()
{
    if (releasing || !socket->isOpen())
        return;
    // The HTTP layer looks for a request on every signal and leaves an empty
    // read transaction open; ending it lets the bytes read here leave the
    // buffer.
    if (socket->isTransactionStarted())
        socket->commitTransaction();
    input->bypass = true;
    const QByteArray data = socket->readAll();
    input->bypass = false;
    idleTimer.start();
    if (lingering || !refusal.isEmpty()) {
        discarded += data.size();
        if (discarded > MaxDiscardedBytes)
            socket->abort();
        return;
    }
    incoming += data;
    while (refusal.isEmpty() && socket->isOpen() && takeRequest()) { }
    if (!socket->isOpen())
        return;
    if (refusal.isEmpty()) {
        if (requestSize >= 0)
            requestTimer.start(); // a body is arriving: its pause limit starts again
        else if (incoming.isEmpty())
            requestTimer.stop();
        else if (!requestTimer.isActive())
            requestTimer.start();
    }
    releaseNext();
    qint64 held = incoming.size();
    for (const Request &request : std::as_const(waiting))
        held += request.bytes.size();
    if (held > MaxHeldBytes)
        socket->abort();
}

// Takes one whole request off `incoming` into `waiting`; false when more
// bytes are needed or the request was refused.
bool ConnectionGuard::takeRequest()
{
    if (requestSize < 0 && !takeHead())
        return false;
    if (incoming.size() < requestSize)
        return false;
    waiting.append({incoming.left(requestSize), closeAfterReply});
    incoming.remove(0, requestSize);
    requestSize = -1;
    lineStart = 0;
    scanned = 0;
    headLines = 0;
    requestTimer.stop();
    return true;
}

// Reads header lines as they arrive, each byte looked at once; true once
// the head is whole and checked.
bool ConnectionGuard::takeHead()
{
    forever
    {
        const qsizetype end = incoming.indexOf('\n', scanned);
        scanned = end < 0 ? incoming.size() : end + 1;
        if (lineStart == 0) {
            if (end == 0 || (end == 1 && incoming.at(0) == '\r')) { // a line end between requests
                incoming.remove(0, end + 1);
                scanned = 0;
                continue;
            }
            if (!mayBeRequestLine(incoming.left(qMin(scanned, qsizetype(17))))) {
                socket->abort();
                return false;
            }
        }
        if (scanned > MaxHeadBytes)
            return refuse("431 Request Header Fields Too Large",
                QStringLiteral("A kérés fejléce túl nagy (legfeljebb 32 KiB)."));
        if (end < 0)
            return false;
        const bool blank
            = end == lineStart || (end == lineStart + 1 && incoming.at(lineStart) == '\r');
        lineStart = scanned;
        if (blank)
            return checkHead(incoming.left(lineStart));
        if (++headLines > MaxHeaderLines + 1) // the request line and the headers
            return refuse("431 Request Header Fields Too Large",
                QStringLiteral("A kérés túl sok fejlécsort tartalmaz (legfeljebb 100)."));
    }
}

bool ConnectionGuard::checkHead(const QByteArray &head)
{
    QList<QByteArray> lines = head.split('\n');
    lines.resize(lines.size() - 2); // the blank line and what follows it
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    const QList<QByteArray> parts = lines.first().split(' ');
    const QByteArray version = parts.value(2);
    if (parts.size() != 3 || !parts.at(1).startsWith('/') || hasControl(parts.at(1))
        || version.size() != 8 || !version.startsWith("HTTP/") || !isDigits(version.mid(5, 1))
        || version.at(6) != '.' || !isDigits(version.mid(7)))
        return refuse(BadRequest, QStringLiteral("Hibás kéréssor."));
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return refuse("505 HTTP Version Not Supported",
            QStringLiteral("A szerver csak HTTP/1.0 és HTTP/1.1 kérést fogad."));

    int hosts = 0;
    QList<QByteArray> lengths;
    bool transferEncoding = false;
    closeAfterReply = version == "HTTP/1.0";
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        const QByteArray name = lines.at(i).left(colon).toLower();
        const QByteArray value = lines.at(i).mid(colon + 1).trimmed();
        if (colon < 0 || !isToken(name) || hasControl(lines.at(i)))
            return refuse(BadRequest, QStringLiteral("Hibás fejlécsor."));
        if (name == "host")
            ++hosts;
        else if (name == "content-length")
            lengths.append(value);
        else if (name == "transfer-encoding")
            transferEncoding = true;
        else if (name == "connection" && value.toLower().contains("close"))
            closeAfterReply = true;
    }
    // Anything but one plain Content-Length could be framed differently by
    // another reader: refused, never guessed.
    if (lengths.size() > 1 || (lengths.size() == 1 && (transferEncoding || !isDigits(lengths[0]))))
        return refuse(BadRequest,
            QStringLiteral("A kérés törzsének hossza nem egyértelmű: egyetlen, számjegyekből "
                           "álló Content-Length fejléc kell, Transfer-Encoding nélkül."));
    if (transferEncoding)
        return refuse("411 Length Required",
            QStringLiteral("A kérés törzsének hosszát Content-Length fejléccel kell megadni."));
    if (hosts > 1 || (hosts == 0 && version == "HTTP/1.1"))
        return refuse(
            BadRequest, QStringLiteral("A kérésnek pontosan egy Host fejlécet kell tartalmaznia."));
    const qint64 length = lengths.isEmpty() ? 0
        : lengths[0].size() > 12            ? MaxBodyBytes + 1
                                            : lengths[0].toLongLong();
    if (length > MaxBodyBytes)
        return refuse(
            "413 Payload Too Large", QStringLiteral("A kérés törzse túl nagy (legfeljebb 1 MiB)."));
    requestSize = head.size() + length;
    return true;
}

// Prepares the reply to a refused request and stops reading requests;
// always false, for the callers' convenience.
bool ConnectionGuard::refuse(const QByteArray &status, const QString &detail)
{
    const QByteArray body = QJsonDocument(
        QJsonObject {{QStringLiteral("detail"),
            detail}}).toJson(QJsonDocument::Compact);
    const QByteArray hsts = socket->inherits("QSslSocket")
        ? TlsPolicy::StrictTransportSecurity + ": " + TlsPolicy::OneYear + "\r\n"
        : QByteArray();
    refusal = "HTTP/1.1 " + status
        + "\r\nContent-Type: application/json; charset=utf-8\r\n"
          "X-Content-Type-Options: nosniff\r\nCache-Control: no-store\r\n"
        + hsts + "Connection: close\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body;
    incoming.clear();
    requestSize = -1;
    requestTimer.stop();
    return false;
}

// Hands the next waiting request to the HTTP layer, or sends the refusal
// once every earlier reply is out.
void ConnectionGuard::releaseNext()
{
    if (inFlight || lingering || socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (!waiting.isEmpty()) {
        const Request next = waiting.takeFirst();
        inFlight = true;
        closeAfterCurrent = next.closeAfterReply;
        input->released = next.bytes;
        releasing = true;
        Q_EMIT socket->readyRead();
        releasing = false;
    } else if (!refusal.isEmpty()) {
        socket->write(refusal);
        lingering = true;
        idleTimer.start(LingerMs);
        requestTimer.start(); // the longest the closing may take
    }
}

void ConnectionGuard::onIdle()
{
    if (lingering)
        socket->disconnectFromHost();
    else if (inFlight)
        idleTimer.start();
    else
        socket->abort();
}

void ConnectionGuard::onRequestTimeout()
{
    if (lingering) {
        socket->abort();
        return;
    }
    refuse("408 Request Timeout", QStringLiteral("A kérés nem érkezett meg időben."));
    releaseNext();
}
