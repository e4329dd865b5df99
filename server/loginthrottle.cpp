#include "server/loginthrottle.h"

#include "server/searchtext.h"

LoginThrottle::LoginThrottle()
{
    clock.start();
}

QList<qint64> &LoginThrottle::failuresOf(const QString &userName)
{
    QList<qint64> &list = failures[SearchText::fold(userName)];
    const qint64 horizon = clock.elapsed() - WindowMs;
    while (!list.isEmpty() && list.first() <= horizon)
        list.removeFirst();
    return list;
}

bool LoginThrottle::isBlocked(const QString &userName)
{
    const bool blocked = failuresOf(userName).size() >= MaxFailures;
    if (!blocked && failures.value(SearchText::fold(userName)).isEmpty())
        failures.remove(SearchText::fold(userName));
    return blocked;
}

void LoginThrottle::recordFailure(const QString &userName)
{
    failuresOf(userName).append(clock.elapsed());
    // Keep the table bounded when many names are tried.
    if (failures.size() > 100000) {
        for (auto it = failures.begin(); it != failures.end();)
            it = it->isEmpty() ? failures.erase(it) : std::next(it);
    }
}

void LoginThrottle::recordSuccess(const QString &userName)
{
    failures.remove(SearchText::fold(userName));
}
