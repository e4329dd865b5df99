#include "server/releases/releasesigner.h"

#include <QDir>
#include <QFile>

#include <sodium.h>

const QString ReleaseSigner::SecretKeyName = QStringLiteral("release-signing.key");
const QString ReleaseSigner::PublicKeyName = QStringLiteral("release-signing.pub");

namespace {

bool writeNew(const QString &path, const QByteArray &content, QFile::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions)
        && file.write(content) == content.size() && file.flush();
}

// The secret key in keyPath; empty with *problem set when there is none.
QByteArray readSecretKey(const QString &keyPath, QString *problem)
{
    QFile file(keyPath);
    QByteArray secretKey;
    if (sodium_init() >= 0 && file.open(QIODevice::ReadOnly))
        secretKey = QByteArray::fromBase64(file.readAll().trimmed());
    if (secretKey.size() == crypto_sign_SECRETKEYBYTES)
        return secretKey;
    *problem = QStringLiteral("%1 holds no release signing key").arg(keyPath);
    sodium_memzero(secretKey.data(), size_t(secretKey.size()));
    return {};
}

} // namespace

QString ReleaseSigner::generateKeyPair(const QString &dir)
{
    if (sodium_init() < 0)
        return QStringLiteral("libsodium cannot be initialised");
    if (!QDir().mkpath(dir))
        return QStringLiteral("cannot create %1").arg(dir);
    const QString secretPath = QDir(dir).filePath(SecretKeyName);
    const QString publicPath = QDir(dir).filePath(PublicKeyName);
    if (QFile::exists(secretPath) || QFile::exists(publicPath))
        return QStringLiteral("a key already exists in %1").arg(dir);

    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    QByteArray secretKey(crypto_sign_SECRETKEYBYTES, Qt::Uninitialized);
    crypto_sign_keypair(publicKey, reinterpret_cast<unsigned char *>(secretKey.data()));
    const QByteArray secretText = secretKey.toBase64() + '\n';
    sodium_memzero(secretKey.data(), size_t(secretKey.size()));
    if (!writeNew(secretPath, secretText, QFile::ReadOwner | QFile::WriteOwner))
        return QStringLiteral("cannot write %1").arg(secretPath);
    const QByteArray publicText
        = QByteArray(reinterpret_cast<const char *>(publicKey), sizeof publicKey).toBase64() + '\n';
    if (!writeNew(publicPath, publicText,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther))
        return QStringLiteral("cannot write %1").arg(publicPath);
    return {};
}

QByteArray ReleaseSigner::signedMessage(
    const QString &version, const QString &sha256, const QString &downloadUrl)
{
    return QStringLiteral("orvantis-release\n%1\n%2\n%3\n")
        .arg(version, sha256, downloadUrl)
        .toUtf8();
}

QString ReleaseSigner::sign(const QString &keyPath, const QByteArray &message, QString *problem)
{
    QByteArray secretKey = readSecretKey(keyPath, problem);
    if (secretKey.isEmpty())
        return {};
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr,
        reinterpret_cast<const unsigned char *>(message.constData()),
        static_cast<unsigned long long>(message.size()),
        reinterpret_cast<const unsigned char *>(secretKey.constData()));
    sodium_memzero(secretKey.data(), size_t(secretKey.size()));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(signature), sizeof signature).toBase64());
}

QString ReleaseSigner::publicKeyOf(const QString &keyPath, QString *problem)
{
    QByteArray secretKey = readSecretKey(keyPath, problem);
    if (secretKey.isEmpty())
        return {};
    unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
    crypto_sign_ed25519_sk_to_pk(
        publicKey, reinterpret_cast<const unsigned char *>(secretKey.constData()));
    sodium_memzero(secretKey.data(), size_t(secretKey.size()));
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(publicKey), sizeof publicKey).toBase64());
}
