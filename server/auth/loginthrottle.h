#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

// Slows down password guessing for one account, whether by signing in or by
// re-authenticating: after too many failures for one user name within a
// window, further attempts for that name are refused until the oldest
// failure has aged out. Attempts still being checked count as failures
// until they end, so parallel guesses cannot pass the limit. A success
// clears the record.
class LoginThrottle {
public:
    static const int MaxFailures = 10;
    static const qint64 WindowMs = 5 * 60 * 1000;

    // A shorter window suits a test.
    explicit LoginThrottle(qint64 windowMs = WindowMs);

    bool isBlocked(const QString &userName);
    // Seconds until a blocked name may try again.
    int retryAfterSeconds(const QString &userName);
    void begin(const QString &userName);
    void recordFailure(const QString &userName);
    void recordSuccess(const QString &userName);

private:
    QList<qint64> &failuresOf(const QString &key);
    void end(const QString &key);

    qint64 windowMs;
    QElapsedTimer clock;
    QHash<QString, QList<qint64>> failures;
    QHash<QString, int> pending;
};
