#pragma once

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <optional>

// Runs Argon2id hashing and verification on worker threads, so the thread
// that serves every connection never waits for it. At most `threads` jobs run
// at a time and a few more per thread wait; past that a job is refused at
// once and the caller answers 503. Continuations that touch server state run
// on this object's thread: pass it as the context of QFuture::then.
class PasswordWork : public QObject {
    Q_OBJECT

public:
    explicit PasswordWork(int threads, QObject *parent = nullptr);
    ~PasswordWork() override;

    // Whether the password matches; an empty hash (unknown user) spends the
    // same work and never matches. nullopt when the queue is full.
    std::optional<QFuture<bool>> verify(const QByteArray &encodedHash, const QString &password);
    // The encoded hash, empty on failure. nullopt when the queue is full.
    std::optional<QFuture<QByteArray>> hash(const QString &password);

private:
    template<typename T, typename Job> std::optional<QFuture<T>> run(Job job);

    QThreadPool pool;
    int capacity;
    std::atomic<int> outstanding {0};
};
