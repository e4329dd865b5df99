#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>

// Slows down password guessing: after too many failed sign-ins for one user
// name within a window, further attempts for that name are refused until the
// oldest failure has aged out. A successful sign-in clears the record.
class LoginThrottle {
public:
    static const int MaxFailures = 10;
    static const qint64 WindowMs = 5 * 60 * 1000;

    LoginThrottle();

    bool isBlocked(const QString &userName);
    void recordFailure(const QString &userName);
    void recordSuccess(const QString &userName);

private:
    QList<qint64> &failuresOf(const QString &userName);

    QElapsedTimer clock;
    QHash<QString, QList<qint64>> failures;
};
