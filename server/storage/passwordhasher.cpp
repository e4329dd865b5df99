#include "server/storage/passwordhasher.h"

#include <sodium.h>

namespace {

const unsigned long long OpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
const size_t MemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

} // namespace

bool PasswordHasher::initialise()
{
    return sodium_init() >= 0;
}

QByteArray PasswordHasher::hash(const QString &password)
{
    const QByteArray utf8 = password.toUtf8();
    char encoded[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(encoded, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
            OpsLimit, MemLimit)
        != 0)
        return {};
    return QByteArray(encoded);
}

bool PasswordHasher::verify(const QByteArray &encodedHash, const QString &password)
{
    if (encodedHash.isEmpty() || encodedHash.size() >= crypto_pwhash_STRBYTES)
        return false;
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash_str_verify(encodedHash.constData(), utf8.constData(),
               static_cast<unsigned long long>(utf8.size()))
        == 0;
}

void PasswordHasher::verifyDummy(const QString &password)
{
    static const QByteArray dummy = hash(QStringLiteral("dummy password for unknown names"));
    verify(dummy, password);
}

QByteArray PasswordHasher::randomToken()
{
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    const QByteArray token
        = QByteArray(reinterpret_cast<const char *>(bytes), sizeof bytes).toHex();
    sodium_memzero(bytes, sizeof bytes);
    return token;
}
