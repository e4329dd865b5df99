#include "server/auth/sessionstore.h"

#include "server/storage/passwordhasher.h"

#include <QCryptographicHash>

SessionStore::SessionStore(qint64 tokenLifetimeSeconds, qint64 reauthWindowSeconds)
    : tokenLifetimeMs(tokenLifetimeSeconds * 1000)
    , reauthWindowMs(reauthWindowSeconds * 1000)
{
    clock.start();
}

QByteArray SessionStore::open(qint64 userId)
{
    if (++opensSinceSweep >= 256)
        dropExpired();
    const QByteArray token = PasswordHasher::randomToken();
    Session session;
    session.userId = userId;
    session.issuedMs = clock.elapsed();
    sessions.insert(key(token), session);
    return token;
}

std::optional<SessionStore::Session> SessionStore::find(const QByteArray &token)
{
    if (token.isEmpty())
        return std::nullopt;
    const auto it = sessions.constFind(key(token));
    if (it == sessions.constEnd())
        return std::nullopt;
    if (expired(*it)) {
        sessions.erase(it);
        return std::nullopt;
    }
    return *it;
}

void SessionStore::markReauthenticated(const QByteArray &token)
{
    const auto it = sessions.find(key(token));
    if (it != sessions.end())
        it->reauthMs = clock.elapsed();
}

bool SessionStore::reauthIsFresh(const Session &session) const
{
    return session.reauthMs >= 0 && clock.elapsed() - session.reauthMs < reauthWindowMs;
}

void SessionStore::closeAllOf(qint64 userId, const QByteArray &keepToken)
{
    const QByteArray keep = keepToken.isEmpty() ? QByteArray() : key(keepToken);
    for (auto it = sessions.begin(); it != sessions.end();) {
        if (it->userId == userId && it.key() != keep)
            it = sessions.erase(it);
        else
            ++it;
    }
}

QByteArray SessionStore::key(const QByteArray &token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

bool SessionStore::expired(const Session &session) const
{
    return clock.elapsed() - session.issuedMs >= tokenLifetimeMs;
}

void SessionStore::dropExpired()
{
    opensSinceSweep = 0;
    for (auto it = sessions.begin(); it != sessions.end();) {
        if (expired(*it))
            it = sessions.erase(it);
        else
            ++it;
    }
}
