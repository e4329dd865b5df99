#pragma once

#include <QByteArray>
#include <QString>

// Whether `signature` (base64) is a valid Ed25519 signature by `publicKey`
// (32 bytes) over "orvantis-release\n<version>\n<sha256>\n<downloadUrl>\n",
// the values exactly as the release manifest states them.
bool releaseSignatureValid(const QByteArray &publicKey, const QString &version,
    const QString &sha256, const QString &downloadUrl, const QString &signature);

// The release signing key the client was built with; empty when it was built
// without one, and then releases are not signature-checked.
QByteArray builtInReleaseKey();
