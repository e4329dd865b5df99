#include "server/http/tlspolicy.h"

#include <QFile>
#include <QSslCipher>
#include <QSslKey>
#include <QSslSocket>

const QByteArray TlsPolicy::StrictTransportSecurity
    = QByteArrayLiteral("Strict-Transport-Security");
const QByteArray TlsPolicy::OneYear = QByteArrayLiteral("max-age=31536000");

namespace {

// TLS 1.3 has AEAD suites only; on TLS 1.2 the CBC, static-key and
// pre-shared-key suites go.
bool isStrong(const QSslCipher &cipher)
{
    const QString name = cipher.name();
    const bool certified = name.startsWith(QLatin1String("ECDHE-ECDSA-"))
        || name.startsWith(QLatin1String("ECDHE-RSA-"));
    const bool aead = name.contains(QLatin1String("-GCM-"))
        || name.endsWith(QLatin1String("-CHACHA20-POLY1305"));
    return cipher.protocol() == QSsl::TlsV1_3 || (certified && aead);
}

} // namespace

std::optional<QSslConfiguration> TlsPolicy::load(
    const QString &certificatePath, const QString &keyPath, QString *reason)
{
    QFile certFile(certificatePath);
    QFile keyFile(keyPath);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("cannot read the certificate %1 or the key %2")
                      .arg(certificatePath, keyPath);
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyData = keyFile.readAll();
    QSslKey key(keyData, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyData, QSsl::Rsa, QSsl::Pem);
    if (chain.isEmpty() || key.isNull()) {
        *reason = QStringLiteral("the certificate or the key is not a usable PEM file");
        return std::nullopt;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    QList<QSslCipher> ciphers = QSslConfiguration::supportedCiphers();
    ciphers.removeIf([](const QSslCipher &cipher) { return !isStrong(cipher); });
    tls.setCiphers(ciphers);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone); // no client certificates
    return tls;
}
