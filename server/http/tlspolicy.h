#pragma once

#include <QByteArray>
#include <QSslConfiguration>
#include <QString>

#include <optional>

// How the server speaks TLS: version 1.3, or 1.2 with forward-secret AEAD
// suites only (ECDHE with AES-GCM or ChaCha20-Poly1305); no client
// certificates; and every reply tells browsers to keep to HTTPS.
class TlsPolicy {
public:
    static const QByteArray StrictTransportSecurity; // the header's name
    static const QByteArray OneYear; // its value

    // A server configuration with the PEM certificate chain and key of these
    // files; nullopt with a reason when they cannot be used.
    static std::optional<QSslConfiguration> load(
        const QString &certificatePath, const QString &keyPath, QString *reason);
};
