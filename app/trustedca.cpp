#include "app/trustedca.h"

#include <QFile>

#ifndef ORVANTIS_EXTRA_CA_RESOURCE
#define ORVANTIS_EXTRA_CA_RESOURCE ":/orvantis/trustedca/extra-ca.pem"
#endif

QString bundledCertificateAuthorityFile()
{
#ifdef ORVANTIS_HAS_EXTRA_CA
    return QStringLiteral(ORVANTIS_EXTRA_CA_RESOURCE);
#else
    return QString();
#endif
}

QByteArray bundledCertificateAuthorityPem()
{
    const QString path = bundledCertificateAuthorityFile();
    QFile file(path);
    return !path.isEmpty() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
