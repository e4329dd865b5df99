#include "server/auth/passwordwork.h"

#include "server/storage/passwordhasher.h"

#include <QPromise>

#include <memory>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// Jobs that may wait for a free worker, per worker.
const int QueuedPerWorker = 2;

// A worker yields the processor to the thread serving the connections:
// under a sign-in flood every other request still gets its turn at once.
void lowerPriority()
{
#ifdef Q_OS_LINUX
    thread_local bool lowered = false;
    if (!lowered)
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 5);
    lowered = true;
#endif
}

} // namespace

PasswordWork::PasswordWork(int threads, QObject *parent)
    : QObject(parent)
{
    pool.setMaxThreadCount(qMax(1, threads));
    capacity = pool.maxThreadCount() * (1 + QueuedPerWorker);
}

PasswordWork::~PasswordWork()
{
    pool.clear();
    pool.waitForDone();
}

template<typename T, typename Job> std::optional<QFuture<T>> PasswordWork::run(Job job)
{
    if (outstanding.load() >= capacity)
        return std::nullopt;
    ++outstanding;
    // QThreadPool takes copyable jobs only, and a promise is not copyable.
    auto promise = std::make_shared<QPromise<T>>();
    QFuture<T> future = promise->future();
    promise->start();
    pool.start([this, promise, job] {
        lowerPriority();
        T result = job();
        --outstanding;
        promise->addResult(std::move(result));
        promise->finish();
    });
    return future;
}

std::optional<QFuture<bool>> PasswordWork::verify(
    const QByteArray &encodedHash, const QString &password)
{
    return run<bool>([encodedHash, password] {
        if (!encodedHash.isEmpty())
            return PasswordHasher::verify(encodedHash, password);
        PasswordHasher::verifyDummy(password);
        return false;
    });
}

std::optional<QFuture<QByteArray>> PasswordWork::hash(const QString &password)
{
    return run<QByteArray>([password] { return PasswordHasher::hash(password); });
}
