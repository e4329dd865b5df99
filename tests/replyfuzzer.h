#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QStringList>

// Generates hostile HTTP reply bodies and statuses from a seed, so that a
// failing case can be replayed exactly.
class ReplyFuzzer {
public:
    ReplyFuzzer(quint32 seed, QStringList knownKeys);

    int nextStatus();
    QByteArray nextBody();
    // A body of about 10 MB, valid JSON or not.
    QByteArray hugeBody();

private:
    QByteArray randomBytes(int maxLength);
    QByteArray invalidUtf8();
    QByteArray deeplyNested();
    QByteArray typedValue(int depth);
    QByteArray objectWithKnownKeys(int depth);
    QByteArray arrayOfObjects();
    QByteArray truncated(const QByteArray &json);
    QByteArray longString();

    QRandomGenerator random;
    QStringList keys;
};
