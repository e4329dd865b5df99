#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <optional>

// Bearer tokens of signed-in users, held in memory only: a restart signs
// everybody out and a copied database holds no token. Tokens are kept as
// SHA-256 digests; the time base is monotonic, so a clock change neither
// extends nor cuts a session.
class SessionStore {
public:
    struct Session {
        qint64 userId = 0;
        qint64 issuedMs = 0;
        // -1 when the session's admin has not re-authenticated.
        qint64 reauthMs = -1;
    };

    SessionStore(qint64 tokenLifetimeSeconds, qint64 reauthWindowSeconds);

    QByteArray open(qint64 userId);
    // The live session of a token; an expired one is dropped.
    std::optional<Session> find(const QByteArray &token);
    void markReauthenticated(const QByteArray &token);
    bool reauthIsFresh(const Session &session) const;
    // Ends every session of the user except the one of keepToken.
    void closeAllOf(qint64 userId, const QByteArray &keepToken = {});

private:
    static QByteArray key(const QByteArray &token);
    bool expired(const Session &session) const;
    void dropExpired();

    QElapsedTimer clock;
    qint64 tokenLifetimeMs;
    qint64 reauthWindowMs;
    QHash<QByteArray, Session> sessions;
    int opensSinceSweep = 0;
};
