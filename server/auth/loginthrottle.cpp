#include "server/auth/loginthrottle.h"

#include "server/storage/searchtext.h"

LoginThrottle::LoginThrottle(qint64 windowMs)
    : windowMs(windowMs)
{
    clock.start();
}

QList<qint64> &LoginThrottle::failuresOf(const QString &key)
{
    QList<qint64> &list = failures[key];
    const qint64 horizon = clock.elapsed() - windowMs;
    while (!list.isEmpty() && list.first() <= horizon)
        list.removeFirst();
    return list;
}

bool LoginThrottle::isBlocked(const QString &userName)
{
    const QString key = SearchText::fold(userName);
    const bool blocked = failuresOf(key).size() + pending.value(key) >= MaxFailures;
    if (!blocked && failures.value(key).isEmpty())
        failures.remove(key);
    return blocked;
}

int LoginThrottle::retryAfterSeconds(const QString &userName)
{
    const QList<qint64> &list = failuresOf(SearchText::fold(userName));
    if (list.size() < MaxFailures)
        return 1; // blocked by attempts still being checked
    return int((list.first() + windowMs - clock.elapsed()) / 1000 + 1);
}

void LoginThrottle::begin(const QString &userName)
{
    ++pending[SearchText::fold(userName)];
}

void LoginThrottle::end(const QString &key)
{
    if (--pending[key] <= 0)
        pending.remove(key);
}

void LoginThrottle::recordFailure(const QString &userName)
{
    const QString key = SearchText::fold(userName);
    end(key);
    failuresOf(key).append(clock.elapsed());
    // Keep the table bounded when many names are tried.
    if (failures.size() > 100000) {
        const qint64 horizon = clock.elapsed() - windowMs;
        for (auto it = failures.begin(); it != failures.end();)
            it = it->isEmpty() || it->last() <= horizon ? failures.erase(it) : std::next(it);
    }
}

void LoginThrottle::recordSuccess(const QString &userName)
{
    const QString key = SearchText::fold(userName);
    end(key);
    failures.remove(key);
}
