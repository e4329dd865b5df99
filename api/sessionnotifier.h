#pragma once

#include <QObject>

// What an ApiClient reports about the signed-in session as a whole, apart
// from the outcome signals of its operations.
class SessionNotifier : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    // A request authorised with the token now in use was answered 401: the
    // server no longer accepts the session. Emitted before the operation's
    // own outcome signal for that reply.
    void sessionExpired();
};
