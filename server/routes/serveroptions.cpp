#include "server/routes/serveroptions.h"

QString ServerOptions::urlOf(const QHostAddress &address, quint16 boundPort) const
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
        : address.toString();
    return QStringLiteral("%1://%2:%3")
        .arg(plainHttp ? QStringLiteral("http") : QStringLiteral("https"), host)
        .arg(boundPort);
}

QString ServerOptions::loopbackUrl(quint16 boundPort) const
{
    return plainHttp ? QStringLiteral("http://127.0.0.1:%1").arg(boundPort)
                     : QStringLiteral("https://localhost:%1").arg(boundPort);
}

QString ServerOptions::clientOrigin(quint16 boundPort) const
{
    if (!publicOrigin.isEmpty())
        return publicOrigin;
    return listenAddresses.isEmpty() ? loopbackUrl(boundPort)
                                     : urlOf(listenAddresses.first(), boundPort);
}
