#include "app/trustedca.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>

#ifndef ORVANTIS_EXTRA_CA_RESOURCE
#define ORVANTIS_EXTRA_CA_RESOURCE ":/orvantis/trustedca/extra-ca.pem"
#endif

QByteArray bundledCertificateAuthorityPem()
{
#ifdef ORVANTIS_HAS_EXTRA_CA
    QFile file(QStringLiteral(ORVANTIS_EXTRA_CA_RESOURCE));
    if (file.open(QIODevice::ReadOnly))
        return file.readAll();
#endif
    return {};
}

void trustBundledCertificateAuthority()
{
    const QByteArray pem = bundledCertificateAuthorityPem();
    if (pem.isEmpty())
        return;
    const QList<QSslCertificate> authorities = QSslCertificate::fromData(pem, QSsl::Pem);
    if (authorities.isEmpty())
        return;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    // Setting any authority list stops the on-demand loading of the system's
    // roots, so the system's list is carried over explicitly.
    tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + authorities);
    QSslConfiguration::setDefaultConfiguration(tls);
}
