#pragma once

#include "tests/loopbackserver.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QStringList>

// Generates hostile HTTP reply bodies and statuses from a seed, so that a
// failing case can be replayed exactly.
class ReplyFuzzer {
public:
    // The scripted answer for a generated status and body: status 0 drops the
    // connection; statuses that carry no body end the exchange by closing it.
    static ScriptedResponse response(int status, const QByteArray &body);

    ReplyFuzzer(quint32 seed, QStringList knownKeys);

    int nextStatus();
    QByteArray nextBody();
    // A body of about 10 MB, valid JSON or not.
    QByteArray hugeBody();
    // A body that always parses as JSON, so that it reaches the record
    // decoders: the known keys with values of every JSON type, strings of
    // any length and content.
    QByteArray nextWellFormedBody();

private:
    QByteArray randomBytes(int maxLength);
    QByteArray invalidUtf8();
    QByteArray deeplyNested();
    QByteArray typedValue(int depth);
    QByteArray objectWithKnownKeys(int depth);
    QByteArray arrayOfObjects();
    QByteArray truncated(const QByteArray &json);
    QByteArray longString();
    QByteArray stringValue();

    QRandomGenerator random;
    QStringList keys;
    bool wellFormed = false;
};
