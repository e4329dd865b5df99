#include "update/releasesignature.h"

#ifdef ORVANTIS_HAS_SODIUM
#include <sodium.h>
#endif

bool releaseSignatureValid(const QByteArray &publicKey, const QString &version,
    const QString &sha256, const QString &downloadUrl, const QString &signature)
{
#ifdef ORVANTIS_HAS_SODIUM
    const QByteArray message = QStringLiteral("orvantis-release\n%1\n%2\n%3\n")
                                   .arg(version, sha256, downloadUrl)
                                   .toUtf8();
    const auto decoded = QByteArray::fromBase64Encoding(
        signature.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return sodium_init() >= 0 && publicKey.size() == crypto_sign_PUBLICKEYBYTES && decoded
        && decoded.decoded.size() == crypto_sign_BYTES
        && crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char *>(decoded.decoded.constData()),
               reinterpret_cast<const unsigned char *>(message.constData()),
               static_cast<unsigned long long>(message.size()),
               reinterpret_cast<const unsigned char *>(publicKey.constData()))
        == 0;
#else
    Q_UNUSED(publicKey)
    Q_UNUSED(version)
    Q_UNUSED(sha256)
    Q_UNUSED(downloadUrl)
    Q_UNUSED(signature)
    return false;
#endif
}
