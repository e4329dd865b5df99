#pragma once

#include <QByteArray>
#include <QString>

class PackedClient;
class ReleaseFeed;

// What publish checks before anything in the release folder changes, so
// that no release can lock the clients out. Each check returns one sentence
// that says what is wrong and what to do, or an empty text when it passes.
class ReleasePreflight {
public:
    // Dotted decimal numbers and nothing else: the client compares the
    // numbers it reads from the start and ignores the rest, and it drops a
    // number too large for an int.
    static QString version(const QString &version);
    // Newer than the current feed's, unless the release is withdrawn.
    static QString newer(const QString &version, const ReleaseFeed &current, bool withdraw);
    // An unsigned release over a signed feed: clients that check signatures
    // would refuse it and stop.
    static QString signature(bool signing, const ReleaseFeed &current);
    // The packed client: its version, its server, whether it can reach that
    // server over TLS (chainPath: the server's certificate chain, PEM) and
    // whether it will accept the next release signed with the same key
    // (signingPublicKey: base64, empty when unsigned).
    static QString client(const PackedClient &packed, const QString &version, const QString &origin,
        const QString &chainPath, const QString &signingPublicKey);

    static bool sameOrigin(const QString &a, const QString &b);
    static QString certificate(
        const QString &chainPath, const QString &origin, const QByteArray &trustedCa);
    static QString releaseKey(const QString &packedKey, const QString &signingPublicKey);
};
