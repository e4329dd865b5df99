#pragma once

#include <QByteArray>
#include <QString>

// Ed25519 release signatures. The secret key stays with the maintainer (it is
// never served); the client is built with the public key and installs only a
// release whose version, digest and download URL it signed.
class ReleaseSigner {
public:
    static const QString SecretKeyName; // "release-signing.key"
    static const QString PublicKeyName; // "release-signing.pub"

    // Writes a new key pair into dir: the secret key with mode 0600, both in
    // base64. Never overwrites a key. Returns an error text, or empty.
    static QString generateKeyPair(const QString &dir);

    // The bytes a signature covers, the values exactly as in latest.json.
    static QByteArray signedMessage(
        const QString &version, const QString &sha256, const QString &downloadUrl);

    // The base64 detached signature of message with the secret key in
    // keyPath; empty with *problem set when the key cannot be used.
    static QString sign(const QString &keyPath, const QByteArray &message, QString *problem);

    // The base64 public half of the secret key in keyPath, as a client built
    // with it carries it; empty with *problem set when the key cannot be used.
    static QString publicKeyOf(const QString &keyPath, QString *problem);
};
