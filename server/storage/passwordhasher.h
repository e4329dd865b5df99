#pragma once

#include <QByteArray>
#include <QString>

// Argon2id password hashes in libsodium's encoded form ("$argon2id$v=19$...").
// The encoded text carries its own salt and cost, so older hashes keep
// verifying when the limits are raised.
class PasswordHasher {
public:
    // Initialises libsodium; false when the library cannot be used.
    static bool initialise();
    // Empty on failure (out of memory).
    static QByteArray hash(const QString &password);
    static bool verify(const QByteArray &encodedHash, const QString &password);
    // Spends the same work as a real verification, for unknown user names,
    // so the reply time does not tell which names exist.
    static void verifyDummy(const QString &password);
    // 256 bits from the system's generator, as 64 hexadecimal digits.
    static QByteArray randomToken();
};
